#!/usr/bin/python3
"""GDAL judges the outputs: each mosaic, merged raster and no-data copy opens through the ENVI
driver in place, with its size, cell size, datum and, for every GML tile, the corners of the
block it fills equal to the tile's own envelope.

Usage: georef_test.py ELEVARA_CLI SAMPLES_FOLDER SHARED_DATA_FOLDER
"""
import math
import os
import re
import shutil
import struct
import subprocess
import sys
import tempfile
import unittest

from osgeo import gdal, osr

gdal.UseExceptions()

CLI, SAMPLES, SHARED = sys.argv[1:4]
TEST_DATA = os.path.join(os.path.dirname(os.path.abspath(__file__)), os.pardir, "data")
EPSG_OF_SRS_NAME = {"fguuid:jgd2000.bl": "4612", "fguuid:jgd2011.bl": "6668"}
# Corners in the tiles are rounded to 9 decimals; half a cell is 2.8e-5 degree or more.
CORNER_TOLERANCE = 1e-7


def run_cli(*arguments):
    done = subprocess.run([CLI, *arguments], capture_output=True, text=True)
    if done.returncode != 0:
        raise AssertionError(f"elevara-cli {arguments}: {done.returncode}\n{done.stdout}{done.stderr}")


class GmlTile:
    """What a published tile says of itself."""

    def __init__(self, path):
        with open(path, "rb") as f:
            text = f.read().decode("utf-8-sig")
        self.mesh = re.search(r"<mesh>(\d+)</mesh>", text).group(1)
        self.srs_name = re.search(r'srsName="([^"]+)"', text).group(1)
        low = re.search(r"<gml:lowerCorner>(\S+) (\S+)</gml:lowerCorner>", text)
        high = re.search(r"<gml:upperCorner>(\S+) (\S+)</gml:upperCorner>", text)
        self.south, self.west = float(low.group(1)), float(low.group(2))
        self.north, self.east = float(high.group(1)), float(high.group(2))
        start = re.search(r"<gml:startPoint>(\d+) (\d+)</gml:startPoint>", text)
        self.start_column, self.start_row = int(start.group(1)), int(start.group(2))
        values = text[text.index("<gml:tupleList>") + len("<gml:tupleList>"):]
        self.first_value = float(values.split()[0].rsplit(",", 1)[1])

    def block(self, tiles_down, tile_width, tile_height):
        """The first row and column of the tile's block in its mosaic."""
        row_digit, column_digit = int(self.mesh[-2]), int(self.mesh[-1])
        return (tiles_down - 1 - row_digit) * tile_height, column_digit * tile_width


def sample_at(dataset, row, column):
    data = dataset.GetRasterBand(1).ReadRaster(column, row, 1, 1, buf_type=gdal.GDT_Float32)
    return struct.unpack("<f", data)[0]


def as_float32(value):
    return struct.unpack("<f", struct.pack("<f", value))[0]


class GeorefChecks(unittest.TestCase):
    def check_raster(self, path, size, cells_per_degree, epsg=None, ignores_nodata=True,
                     datum=None):
        dataset = gdal.Open(path)
        self.assertEqual(dataset.GetDriver().ShortName, "ENVI")
        self.assertEqual((dataset.RasterXSize, dataset.RasterYSize), size)
        self.assertEqual(dataset.RasterCount, 1)
        self.assertEqual(dataset.GetRasterBand(1).DataType, gdal.GDT_Float32)
        origin_x, cell_x, skew_x, origin_y, skew_y, cell_y = dataset.GetGeoTransform()
        self.assertEqual((skew_x, skew_y), (0, 0))
        self.assertAlmostEqual(cell_x, 1 / cells_per_degree, delta=1e-15)
        self.assertAlmostEqual(cell_y, -1 / cells_per_degree, delta=1e-15)
        srs = dataset.GetSpatialRef()
        if datum is not None:
            self.assertTrue(srs.IsGeographic())
            self.assertEqual(srs.GetAttrValue("DATUM"), datum)
        elif epsg is None:
            self.assertTrue(srs is None or not srs.IsGeographic(), srs and srs.ExportToWkt())
        else:
            self.assertTrue(srs.IsGeographic())
            self.assertEqual(srs.GetAuthorityCode(None), epsg)
        nodata = dataset.GetRasterBand(1).GetNoDataValue()
        self.assertEqual(nodata, -9999.0 if ignores_nodata else None)
        return dataset

    def check_tiles(self, dataset, tiles, tiles_down, tile_width, tile_height):
        origin_x, cell_x, _, origin_y, _, cell_y = dataset.GetGeoTransform()
        for tile in tiles:
            top, left = tile.block(tiles_down, tile_width, tile_height)
            corners = {
                "west": origin_x + left * cell_x,
                "east": origin_x + (left + tile_width) * cell_x,
                "north": origin_y + top * cell_y,
                "south": origin_y + (top + tile_height) * cell_y,
            }
            for side, value in corners.items():
                self.assertAlmostEqual(value, getattr(tile, side), delta=CORNER_TOLERANCE,
                                       msg=f"{tile.mesh} {side}")
            value = sample_at(dataset, top + tile.start_row, left + tile.start_column)
            self.assertEqual(value, as_float32(tile.first_value), tile.mesh)


class SampleMosaics(GeorefChecks):
    @classmethod
    def setUpClass(cls):
        cls.folder = tempfile.mkdtemp(prefix="elevara-gdal-")
        cls.tiles5, cls.tiles10 = [], []
        for name in sorted(os.listdir(SAMPLES)):
            if name.endswith(".xml"):
                shutil.copy(os.path.join(SAMPLES, name), cls.folder)
                tiles = cls.tiles5 if "DEM5" in name else cls.tiles10
                tiles.append(GmlTile(os.path.join(SAMPLES, name)))
        run_cli("gml5", cls.folder)
        run_cli("gml10", cls.folder)

    @classmethod
    def tearDownClass(cls):
        shutil.rmtree(cls.folder)

    def path(self, name):
        return os.path.join(self.folder, name)

    def test_gml10_mosaic_lies_on_mesh_3926_in_jgd2011(self):
        dataset = self.check_raster(self.path("3926-ELEVARA"), (9000, 6000), 9000, "6668")
        self.check_tiles(dataset, self.tiles10, 8, 1125, 750)
        self.assertEqual(dataset.GetGeoTransform()[0], 126.0)
        self.assertEqual(dataset.GetGeoTransform()[3], 80 / 3)

    def test_gml5_mosaic_lies_on_mesh_362430_in_jgd2011(self):
        self.assertEqual(len(self.tiles5), 8)
        dataset = self.check_raster(self.path("362430-DEM5"), (2250, 1500), 18000, "6668")
        self.check_tiles(dataset, self.tiles5, 10, 225, 150)

    def test_nodata_copy_keeps_placement_and_datum_without_ignore_value(self):
        copy = self.path("zero.raw")
        run_cli("nodata", "--width", "2250", "--height", "1500", self.path("362430-DEM5"), copy)
        dataset = self.check_raster(copy, (2250, 1500), 18000, "6668", ignores_nodata=False)
        source = gdal.Open(self.path("362430-DEM5"))
        self.assertEqual(dataset.GetGeoTransform(), source.GetGeoTransform())
        self.assertEqual(sample_at(dataset, 0, 0), 0.0)
        # Read as another shape, the copy would be placed wrongly: it gets no header. (With its
        # ".hd1" beside it, the command refuses another shape outright.)
        other = self.path("other")
        shutil.copy(self.path("362430-DEM5"), other)
        shutil.copy(self.path("362430-DEM5.hdr"), other + ".hdr")
        run_cli("nodata", "--width", "1500", "--height", "2250", other, copy)
        self.assertFalse(os.path.exists(copy + ".hdr"))

    def test_preview_of_a_mosaic(self):
        run_cli("preview", self.path("362430-DEM5"))
        picture = gdal.Open(self.path("362430-DEM5.png"))
        self.assertEqual((picture.RasterXSize, picture.RasterYSize, picture.RasterCount),
                         (1125, 750, 4))


class DatumsOfOneMosaic(GeorefChecks):
    """Tiles declaring JGD2024, or different datums, in one 5 m mosaic."""

    def convert(self, srs_names):
        folder = tempfile.mkdtemp(prefix="elevara-gdal-")
        self.addCleanup(shutil.rmtree, folder)
        for name, srs_name in zip(["76", "77"], srs_names):
            gml = f"FG-GML-3624-30-{name}-DEM5B-20170202.xml"
            with open(os.path.join(SAMPLES, gml), "rb") as f:
                text = f.read().replace(b"fguuid:jgd2011.bl", srs_name.encode())
            with open(os.path.join(folder, gml), "wb") as f:
                f.write(text)
        run_cli("gml5", folder)
        return os.path.join(folder, "362430-DEM5")

    def test_jgd2024_is_written_in_full_and_read_by_gdal(self):
        dataset = gdal.Open(self.convert(["fguuid:jgd2024.bl"] * 2))
        self.assertEqual(dataset.GetDriver().ShortName, "ENVI")
        srs = dataset.GetSpatialRef()
        self.assertTrue(srs.IsGeographic())
        self.assertEqual(srs.GetAttrValue("DATUM"), "Japanese_Geodetic_Datum_2024")
        self.assertEqual(srs.GetSemiMajor(), 6378137.0)
        self.assertEqual(srs.GetInvFlattening(), 298.257222101)

    def test_tiles_that_disagree_place_the_raster_but_name_no_datum(self):
        for names in (["fguuid:jgd2000.bl", "fguuid:jgd2011.bl"], ["fguuid:jgd2011.bl", "x"]):
            dataset = self.check_raster(self.convert(names), (2250, 1500), 18000, epsg=None)
            self.assertEqual(dataset.GetGeoTransform()[0], 124.0)


class OneMetreMosaic(GeorefChecks):
    def test_gml1_mosaic_lies_on_mesh_453077_on_the_declared_jgd2024(self):
        folder = tempfile.mkdtemp(prefix="elevara-gdal-")
        self.addCleanup(shutil.rmtree, folder)
        gml = os.path.join(TEST_DATA, "FG-GML-4530-77-05-DEM1A-20260522.xml")
        shutil.copy(gml, folder)
        run_cli("gml1", folder)
        dataset = self.check_raster(os.path.join(folder, "453077-DEM1"), (11250, 7500), 90000,
                                    datum="Japanese_Geodetic_Datum_2024")
        self.check_tiles(dataset, [GmlTile(gml)], 10, 1125, 750)
        # Mesh 453077: latitudes 30 + 7/12 to 30 + 8/12, longitudes 130 + 7/8 to 131.
        west, cell_x, _, north, _, cell_y = dataset.GetGeoTransform()
        corners = (west, north, west + 11250 * cell_x, north + 7500 * cell_y)
        for got, want in zip(corners, (130.875, 30 + 8 / 12, 131.0, 30 + 7 / 12)):
            self.assertAlmostEqual(got, want, delta=1e-9)


@unittest.skipUnless(os.path.isdir(SHARED), "the shared data folder is absent")
class SharedData(GeorefChecks):
    def test_large_tile_6341_51_is_jgd2000_on_mesh_6341(self):
        folder = tempfile.mkdtemp(prefix="elevara-gdal-")
        self.addCleanup(shutil.rmtree, folder)
        gml = os.path.join(SHARED, "FG-GML-6341-51-dem10b-20161001.xml")
        os.symlink(gml, os.path.join(folder, os.path.basename(gml)))
        run_cli("gml10", folder)
        dataset = self.check_raster(os.path.join(folder, "6341-ELEVARA"), (9000, 6000), 9000,
                                    "4612")
        self.check_tiles(dataset, [GmlTile(gml)], 8, 1125, 750)

    def test_merge_takes_the_datum_of_its_mosaics(self):
        folder = tempfile.mkdtemp(prefix="elevara-gdal-")
        self.addCleanup(shutil.rmtree, folder)
        tiles = []
        for name in os.listdir(SAMPLES):
            if "DEM5" in name and name.endswith(".xml"):
                shutil.copy(os.path.join(SAMPLES, name), folder)
                tiles.append(GmlTile(os.path.join(SAMPLES, name)))
        run_cli("gml5", folder)
        # Renamed as ??????-DEM5.raw, a mosaic keeps its header 362430-DEM5.hdr: GDAL, and the
        # merge, find it where the extension is replaced.
        os.rename(os.path.join(folder, "362430-DEM5"), os.path.join(folder, "362430-DEM5.raw"))
        run_cli("merge", folder)
        merged = os.path.join(folder, "3624-DEM5")
        dataset = self.check_raster(merged, (18000, 12000), 18000, "6668")
        self.assertEqual(dataset.GetGeoTransform()[0], 124.0)
        self.assertEqual(dataset.GetGeoTransform()[3], 24 + 2 / 3)
        # Mosaic 362430 is the merged raster's band of row digit 3, column digit 0, and in it
        # each tile lies in its own block.
        origin = (8 - 1 - 3) * 1500, 0
        for tile in tiles:
            top, left = tile.block(10, 225, 150)
            value = sample_at(dataset, origin[0] + top + tile.start_row,
                              origin[1] + left + tile.start_column)
            self.assertEqual(value, as_float32(tile.first_value), tile.mesh)
            west = dataset.GetGeoTransform()[0] + (origin[1] + left) * (1 / 18000)
            north = dataset.GetGeoTransform()[3] - (origin[0] + top) * (1 / 18000)
            self.assertAlmostEqual(west, tile.west, delta=CORNER_TOLERANCE)
            self.assertAlmostEqual(north, tile.north, delta=CORNER_TOLERANCE)
        dataset = None
        os.remove(merged)


if __name__ == "__main__":
    unittest.main(argv=sys.argv[:1], verbosity=2)
