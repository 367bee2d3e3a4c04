#!/usr/bin/python3
"""GDAL judges the GeoTIFFs and the layers: a GeoTIFF lies where its raster's ENVI header places
it, on the same datum, with its NoData and its overviews, passes GDAL's cloud-optimized
validator and translates back to the raster's bytes; a layer reads, at every cell, what the
mosaic covering it holds.

Usage: geotiff_test.py ELEVARA_CLI SAMPLES_FOLDER
"""
import filecmp
import os
import shutil
import struct
import subprocess
import sys
import tempfile
import unittest

from osgeo import gdal
from osgeo_utils.samples import validate_cloud_optimized_geotiff as cog

gdal.UseExceptions()

CLI, SAMPLES = sys.argv[1:3]
CORNER_TOLERANCE = 1e-9
NODATA_BITS = struct.pack("<f", -9999.0)


def run_cli(*arguments, status=0):
    done = subprocess.run([CLI, *arguments], capture_output=True, text=True)
    if done.returncode != status:
        raise AssertionError(f"elevara-cli {arguments}: {done.returncode}\n{done.stdout}{done.stderr}")
    return done.stdout


def copy_tiles(folder, renames, srs_name="fguuid:jgd2011.bl"):
    """Copies sample 5 m tiles under other names: {"76": "3624-31-76"} takes tile 76 of mesh
    362430 to cell 76 of mesh 362431."""
    for tile, name in renames.items():
        with open(os.path.join(SAMPLES, f"FG-GML-3624-30-{tile}-DEM5B-20170202.xml"), "rb") as f:
            text = f.read().replace(b"fguuid:jgd2011.bl", srs_name.encode())
        with open(os.path.join(folder, f"FG-GML-{name}-DEM5B-20170202.xml"), "wb") as f:
            f.write(text)


def as_float32(value):
    return struct.unpack("<f", struct.pack("<f", value))[0]


def corners(dataset):
    x, cell_x, _, y, _, cell_y = dataset.GetGeoTransform()
    return [x, y, x + dataset.RasterXSize * cell_x, y + dataset.RasterYSize * cell_y]


class GeoTiffChecks(unittest.TestCase):
    def make_folder(self):
        folder = tempfile.mkdtemp(prefix="elevara-gdal-")
        self.addCleanup(shutil.rmtree, folder)
        return folder

    def check_geotiff(self, raster):
        """The GeoTIFF beside `raster` against the raster as its ENVI header presents it."""
        envi, tif = gdal.Open(raster), gdal.Open(raster + ".tif")
        self.assertEqual(tif.GetDriver().ShortName, "GTiff")
        self.assertEqual((tif.RasterXSize, tif.RasterYSize), (envi.RasterXSize, envi.RasterYSize))
        for got, want in zip(corners(tif), corners(envi)):
            self.assertAlmostEqual(got, want, delta=CORNER_TOLERANCE)
        if envi.GetSpatialRef() is None:
            self.assertIsNone(tif.GetSpatialRef())
        else:
            self.assertTrue(tif.GetSpatialRef().IsSame(envi.GetSpatialRef()))
        self.assertEqual(tif.GetMetadataItem("AREA_OR_POINT"), "Area")
        band = tif.GetRasterBand(1)
        self.assertEqual(band.GetNoDataValue(), envi.GetRasterBand(1).GetNoDataValue())
        self.assertEqual(band.DataType, gdal.GDT_Float32)
        structure = tif.GetMetadata("IMAGE_STRUCTURE")
        self.assertEqual((structure["COMPRESSION"], structure["PREDICTOR"]), ("DEFLATE", "3"))
        levels = [band] + [band.GetOverview(i) for i in range(band.GetOverviewCount())]
        width, height = tif.RasterXSize, tif.RasterYSize
        for level in levels:
            self.assertEqual((level.XSize, level.YSize), (width, height))
            self.assertEqual(level.GetBlockSize(), [512, 512])
            width, height = (width + 1) // 2, (height + 1) // 2
        self.assertLessEqual(max(levels[-1].XSize, levels[-1].YSize), 256)
        self.assertGreater(max(levels[-2].XSize, levels[-2].YSize), 256)
        _, errors, _ = cog.validate(raster + ".tif", full_check=True)
        self.assertEqual(errors, [])
        back = os.path.join(self.make_folder(), "back")
        gdal.Translate(back, tif, format="ENVI")
        self.assertTrue(filecmp.cmp(back, raster, shallow=False))
        return tif


class SampleGeoTiffs(GeoTiffChecks):
    def test_sample_mosaics_and_a_no_data_copy(self):
        folder = self.make_folder()
        for name in os.listdir(SAMPLES):
            if name.endswith(".xml"):
                shutil.copy(os.path.join(SAMPLES, name), folder)
        run_cli("gml5", folder)
        run_cli("gml10", folder)
        run_cli("nodata", "--width", "2250", "--height", "1500",
                os.path.join(folder, "362430-DEM5"), os.path.join(folder, "zero.raw"))
        run_cli("geotiff", folder)
        for name in ("362430-DEM5", "3926-ELEVARA", "zero.raw"):
            self.check_geotiff(os.path.join(folder, name))
        self.check_first_overview(os.path.join(folder, "362430-DEM5"))

    def check_first_overview(self, raster):
        """Each cell of the first overview is the mean of the cells of its 2 x 2 block that hold
        data, over the mosaic's top rows, where its tiles lie."""
        tif = gdal.Open(raster + ".tif")
        width, rows = tif.RasterXSize, 300
        cells = struct.unpack(f"<{width * rows}f", tif.ReadRaster(0, 0, width, rows))
        overview = tif.GetRasterBand(1).GetOverview(0)
        means = struct.unpack(f"<{overview.XSize * rows // 2}f",
                              overview.ReadRaster(0, 0, overview.XSize, rows // 2))
        for y in range(rows // 2):
            for x in range(overview.XSize):
                block = [cells[(2 * y + dy) * width + 2 * x + dx]
                         for dy in (0, 1) for dx in (0, 1) if 2 * x + dx < width]
                data = [cell for cell in block if cell != -9999.0]
                want = as_float32(sum(data) / len(data)) if data else -9999.0
                self.assertEqual(means[y * overview.XSize + x], want, (x, y))

    def test_jgd2024_is_keyed_as_the_header_spells_it(self):
        folder = self.make_folder()
        copy_tiles(folder, {"76": "3624-30-76"}, "fguuid:jgd2024.bl")
        run_cli("gml5", folder)
        run_cli("geotiff", os.path.join(folder, "362430-DEM5"))
        srs = self.check_geotiff(os.path.join(folder, "362430-DEM5")).GetSpatialRef()
        self.assertEqual(srs.GetAttrValue("DATUM"), "Japanese_Geodetic_Datum_2024")
        # GRS 1980 by its EPSG code, whose parameters PROJ derives from the semi-minor axis.
        self.assertAlmostEqual(srs.GetInvFlattening(), 298.257222101, delta=1e-9)

    def test_merged_raster(self):
        folder = self.make_folder()
        copy_tiles(folder, {tile: f"3624-30-{tile}" for tile in ("76", "77", "86", "97")})
        run_cli("gml5", folder)
        run_cli("merge", folder)
        run_cli("geotiff", os.path.join(folder, "3624-DEM5"))
        self.check_geotiff(os.path.join(folder, "3624-DEM5"))


class AreaLayer(unittest.TestCase):
    def test_gml5_layer_reads_each_cell_from_the_mosaic_covering_it(self):
        folder = tempfile.mkdtemp(prefix="elevara-gdal-")
        self.addCleanup(shutil.rmtree, folder)
        # Mesh 362430, its eastern neighbour 362431 and its northern one 362440, each with tiles
        # of its own; 362441 is missing, and 362450, on another datum, is left out.
        copy_tiles(folder, {"76": "3624-30-76", "77": "3624-30-77", "86": "3624-30-86"})
        copy_tiles(folder, {"96": "3624-31-70", "97": "3624-31-00", "98": "3624-31-99"})
        copy_tiles(folder, {"87": "3624-40-05", "88": "3624-40-06"})
        copy_tiles(folder, {"76": "3624-50-76"}, "fguuid:jgd2000.bl")
        report = run_cli("gml5", folder, status=1)
        self.assertEqual(report.splitlines()[1:],
                         ["仮想ラスタ（.vrt）に含めなかったラスタ：1件",
                          "362450-DEM5（ほかのラスタと測地系が異なります）"])
        layer = gdal.Open(os.path.join(folder, "ELEVARA-5m.vrt"))
        self.assertEqual((layer.RasterXSize, layer.RasterYSize), (4500, 3000))
        # The north edge of mesh 362440 is 24 + 5/12 degrees: 293 twelfths.
        self.assertEqual(layer.GetGeoTransform(), (124.0, 1 / 18000, 0.0, 293 / 12, 0.0, -1 / 18000))
        self.assertEqual(layer.GetSpatialRef().GetAuthorityCode(None), "6668")
        self.assertEqual(layer.GetRasterBand(1).GetNoDataValue(), -9999.0)
        cells = layer.ReadRaster(0, 0, 4500, 3000, buf_type=gdal.GDT_Float32)
        row_bytes = 2250 * 4
        quarters = {(0, 0): "362440-DEM5", (0, 1): None, (1, 0): "362430-DEM5",
                    (1, 1): "362431-DEM5"}
        for (north, east), name in quarters.items():
            mosaic = NODATA_BITS * 2250 * 1500
            if name:
                with open(os.path.join(folder, name), "rb") as f:
                    mosaic = f.read()
            for row in range(1500):
                start = ((north * 1500 + row) * 4500 + east * 2250) * 4
                self.assertEqual(cells[start:start + row_bytes],
                                 mosaic[row * row_bytes:(row + 1) * row_bytes], f"{name} row {row}")


if __name__ == "__main__":
    unittest.main(argv=sys.argv[:1], verbosity=2)
