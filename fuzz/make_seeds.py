#!/usr/bin/env python3
"""Writes the seed corpora of the fuzz targets into fuzz/corpus/<target>/.

The seeds are real GSI tiles (cut down where they are large) and hand-made edge cases. Each file
is named after what it holds, so a failing replay says at once which case broke. Run it again
after changing a case; libFuzzer's own findings are kept out of the repository.
"""
import io
import os
import pathlib
import random
import struct
import zipfile

HERE = pathlib.Path(__file__).resolve().parent
GSI = HERE.parent.parent / "shared" / "data" / "gsi"
CORPUS = HERE / "corpus"

# Grid selectors of gml_tile_fuzzer: 0 is 225 x 150, the others small grids.
REAL_GRID, ONE_BY_ONE, TWO_BY_THREE, THREE_BY_TWO, FIVE_BY_FOUR = 0, 1, 2, 3, 4
SIXTEEN_BY_ONE, ONE_BY_SIXTEEN, SEVENTEEN_BY_NINE = 5, 6, 7
# Added to a selector: gml_direct_fuzzer converts with sea-surface cells 0.0.
SEA_LEVEL_ZERO = 8


def real_tile(name):
    return (GSI / name).read_bytes()


def cut_down(tile, keep_values):
    """The tile's header, its first values, the end of the list and the tail with the start
    point: a real file's shape in a few kilobytes."""
    start = tile.index(b"<gml:tupleList>")
    stop = tile.index(b"</gml:tupleList>")
    lines = tile[start:stop].split(b"\r\n")
    return tile[:start] + b"\r\n".join(lines[: keep_values + 1]) + b"\r\n" + tile[stop:]


def tile_case(selector, text):
    return bytes([selector]) + (text.encode() if isinstance(text, str) else text)


def tile_seeds():
    start = "<gml:startPoint>{}</gml:startPoint>"
    values = " ".join(f"x,{v}" for v in range(1, 40))
    garbage = random.Random(7).randbytes(600)
    return {
        "real-dem5b-one-value": tile_case(REAL_GRID, real_tile("FG-GML-3624-30-98-DEM5B-20170202.xml")),
        "real-dem5b-cut-start-57-0": tile_case(
            REAL_GRID, cut_down(real_tile("FG-GML-3624-30-76-DEM5B-20170202.xml"), 300)),
        "real-dem5a-cut-no-bom": tile_case(
            FIVE_BY_FOUR, cut_down(real_tile("FG-GML-5238-74-00-DEM5A-20161001.xml"), 40)),
        "real-dem10b-cut-start-743-639": tile_case(
            SEVENTEEN_BY_NINE, cut_down(real_tile("FG-GML-3926-76-DEM10B-20161001.xml"), 60)),
        "start-before-list": tile_case(
            THREE_BY_TWO, start.format("1 0") + " <gml:tupleList> a,1.5 b,2 c,3 </gml:tupleList>"),
        # The datum is read on the way to the list: an srsName before the start point, one in
        # the list and one behind it must change no cell.
        "srsname-around-the-list": tile_case(
            THREE_BY_TWO,
            'srsName="fguuid:jgd2000.bl"> ' + start.format("1 0") + ' srsName="x <gml:tupleList>'
            ' a,1 srsName="fguuid:jgd2011.bl" b,2 </gml:tupleList> srsName="fguuid:jgd2024.bl"'),
        "start-after-list": tile_case(
            FIVE_BY_FOUR, f"<gml:tupleList> {values} </gml:tupleList> " + start.format("2 1")),
        "no-start-point": tile_case(TWO_BY_THREE, "<gml:tupleList> a,1 a,2 </gml:tupleList>"),
        "start-among-the-values": tile_case(
            FIVE_BY_FOUR, "<gml:tupleList> a,1 a,2 <gml:startPoint>2 1</gml:startPoint> b,3 "
            "</gml:tupleList> " + start.format("0 0")),
        "start-row-is-the-list-token": tile_case(
            THREE_BY_TWO, "<gml:startPoint>1 <gml:tupleList> a,1 a,2 a,3 </gml:tupleList>"),
        "start-past-the-cells": tile_case(
            ONE_BY_ONE, "<gml:tupleList> a,1 a,2 <gml:startPoint>0 0</gml:startPoint>"),
        "no-value-list": tile_case(TWO_BY_THREE, start.format("0 0")),
        "nothing": tile_case(ONE_BY_ONE, ""),
        "list-ends-mid-token": tile_case(
            SIXTEEN_BY_ONE, start.format("0 0") + "\r\n<gml:tupleList>\r\na,1\r\na,2\r\na,3.25e"),
        "start-is-the-last-token": tile_case(
            THREE_BY_TWO, "<gml:tupleList> a,1 a,2 </gml:tupleList> <gml:startPoint>1"),
        "long-tokens": tile_case(
            ONE_BY_SIXTEEN,
            start.format("0 0") + " <gml:tupleList> a," + "9" * 300 + " " + "L" * 320 + ",4.5 a,"
            + "1" * 70 + "." + "0" * 250 + " </gml:tupleList>"),
        "signs-and-exponents": tile_case(
            SEVENTEEN_BY_NINE,
            start.format("0 0") + " <gml:tupleList> a,1e3 a,-2.5E-2 a,+7 a,++1 a,-+1 a,.5 a,5. "
            "a,inf a,-nan a,1e999 a,-1e999 a,1e-999 a,-0 a,0x1p3 a,12abc a,- a,+ a,e5 a,1e+ "
            "a,-9999 a,-9999. a,-9999.00 a,-9999.0000001 a,3.4028236e38 a,1e-45 a,0.0005e-999 "
            "a,0.000e-999 a,00.5e999 a,-0.0e99999 a,000.00007e44 a,1" + "0" * 60 + "e-20 "
            "</gml:tupleList>"),
        "commas": tile_case(
            FIVE_BY_FOUR,
            start.format("1 1") + " <gml:tupleList> 17.5 a,b,c,4.25 a, , ,, 地表面,1.00 "
            "データなし,-9999. a,,2 </gml:tupleList>"),
        "start-digits-and-signs": tile_case(
            SEVENTEEN_BY_NINE,
            start.format("1000 -3") + " " + start.format("4 4") + f" <gml:tupleList> {values}"),
        "start-row-beyond-grid": tile_case(
            TWO_BY_THREE, start.format("0 3") + f" <gml:tupleList> {values} </gml:tupleList>"),
        "start-column-beyond-row": tile_case(
            THREE_BY_TWO, start.format("7 0") + f" <gml:tupleList> {values} </gml:tupleList>"),
        "start-sign-without-digits": tile_case(
            THREE_BY_TWO, "<gml:startPoint>- +x <gml:tupleList> a,1 a,2"),
        "tags-inside-tokens": tile_case(
            FIVE_BY_FOUR,
            "xx<gml:startPoint>0 0 <gml:tupleList>a,1 abcd startPoint <gml:tupleList> a,1 ag "
            "a,2 xxg a,3 <gml:startPoint>0 1"),
        "end-token-variants": tile_case(
            SIXTEEN_BY_ONE, start.format("0 0") + " <gml:tupleList> a,1 ag a,2 gg a,3 ..g a,4"),
        "other-white-space": tile_case(
            THREE_BY_TWO,
            b"<gml:startPoint>0\x0b0</gml:startPoint>\r<gml:tupleList>\ta,1\x0ca,2\ra,3\n\n a,4"),
        "more-values-than-cells": tile_case(ONE_BY_ONE, start.format("0 0") + f" <gml:tupleList> {values}"),
        "sea-and-no-data": tile_case(
            FIVE_BY_FOUR + SEA_LEVEL_ZERO,
            start.format("0 0") + " <gml:tupleList> 海水面,-9999. データなし,-9999. 海水面,7 "
            "a,海水面,1 海水面x,2 海水面, ,海水面 海水面,-9999.</gml:tupleList>"),
        "binary-garbage": tile_case(FIVE_BY_FOUR, garbage),
        "binary-with-tags": tile_case(
            THREE_BY_TWO,
            garbage[:100] + b" <gml:startPoint>0\x00 0 <gml:tupleList> \xff,\x00 a,\x80\x81 a,2\x00"),
    }


def token_seeds(tiles):
    """Buffer size, a script of eight steps, then a file: the tile seeds under several scripts."""
    scripts = {
        "read-all": (1, 0x0000),
        "seek-start": (3, 0x0002),
        "seek-list-then-read": (7, 0x0003),
        "both-seeks": (16, 0xAAAB),
        "seek-start-twice": (11, 0x0A0A),
    }
    picked = ["real-dem5b-one-value", "start-after-list", "tags-inside-tokens", "long-tokens",
              "list-ends-mid-token", "binary-with-tags", "other-white-space"]
    seeds = {}
    for name in picked:
        for script_name, (size, script) in scripts.items():
            seeds[f"{name}-{script_name}"] = (
                bytes([size - 1, script & 0xFF, script >> 8]) + tiles[name][1:])
    return seeds


def name_entry(mode, text):
    return bytes([mode]) + text.encode()


def name_seeds():
    tile, empty_tile, folder, raw, own = 5, 1, 3, 0, 6  # own: "FG-GML-" + the rest, a tile

    def entries(*items):
        return b"\x00".join(name_entry(m, t) for m, t in items)

    return {
        "one-tile": entries((tile, "1234-56-78")),
        "one-mosaic-corners": entries((tile, "5339-46-90"), (tile, "5339-46-09"),
                                      (tile, "5339-46-55"), (empty_tile, "5339-46-44")),
        "two-codes-and-a-repeat": entries((tile, "5339-46-11"), (tile, "5339-47-11"),
                                          (own, "5339-46-11-dem5b.xml"), (tile, "5339-46-12")),
        "folder-named-like-a-tile": entries((folder, "5339-46-77"), (tile, "5339-46-78")),
        "short-and-odd-names": entries((own, "dem5.xml"), (own, "x-dem5.xml"), (tile, "1"),
                                       (tile, "5339-46-ab"), (tile, "5339-46-7")),
        "line-breaks-and-blanks": entries((tile, "5339-46-7\n6"), (tile, "5339-46-7\r5"),
                                          (tile, "5339 46 55"), (tile, " 5339-46-44 ")),
        "case-and-multibyte": entries((raw + 4, "fg-gml-5339-46-11-dem5b.XML"),
                                      (tile, "５３３９-46-12"), (tile, "ａ-46-12-00")),
        "files-of-the-run-and-strays": entries((raw, "dtm.txt"), (raw, "gml_name.txt"),
                                               (raw, "53394612-DEM5"), (raw, "readme.txt"),
                                               (tile, "5339-46-12")),
        "nothing-matches": entries((raw, "FG-GML-5339-46-78-DEM10A.xml"), (raw, "a.xml")),
    }


def text_seeds():
    return {
        "gml-pattern": b"FG-GML*dem5*.xml\x00FG-GML-5339-46-78-DEM5A.xml\x00a\r\nb\n\nc",
        "dem5-pattern-multibyte": "??????-DEM5.raw\x00あいう446-DEM5.raw\x00x\r\n".encode(),
        "stars-and-questions": "*?*?\x00あx\x00\r\n\r\n".encode(),
        "empty": b"*\x00\x00",
        "straddling-lines": b"A*\x00name\x00first line\r\nsecond\n",
        "straddling-no-final-lf": b"C?\x00na\x00one\rtwo\r\n\r\rthree",
        "stray-bytes": b"*\xe3*\x00\xe3\x81\xe3\x81\x82\x00\xff\xfe\n",
        "case": b"fg-gml*DEM5*.XML\x00FG-GML-x-dem5.xml\x00",
    }


def zip_of(members, method=zipfile.ZIP_DEFLATED):
    """An archive of (name, bytes) pairs, dated alike so the seeds stay the same from run to
    run; a name given as bytes is written without the UTF-8 flag, as older tools wrote the
    maker's code page."""
    class RawName(zipfile.ZipInfo):
        def _encodeFilenameFlags(self):
            if self.raw is None:
                return super()._encodeFilenameFlags()
            return self.raw, self.flag_bits

    out = io.BytesIO()
    with zipfile.ZipFile(out, "w", method) as archive:
        for name, data in members:
            raw = name if isinstance(name, bytes) else None
            info = RawName(name.decode("latin-1") if raw else name, (2020, 1, 1, 0, 0, 0))
            info.raw = raw
            info.compress_type = method
            archive.writestr(info, data)
    return out.getvalue()


def patched(archive, local_offset, value, width=4):
    """The archive with one field of its first member's local header and central directory
    record (2 bytes further on) set to `value`."""
    data = bytearray(archive)
    central = data.index(b"PK\x01\x02")
    for at in (local_offset, central + local_offset + 2):
        data[at:at + width] = value.to_bytes(width, "little")
    return bytes(data)


def zip_seeds():
    dem10 = (GSI / "FG-GML-3926-76-DEM10B.zip").read_bytes()
    dem5 = (GSI / "FG-GML-3624-30-DEM5B.zip").read_bytes()
    text = b"<gml:tupleList>\r\n" + b"x,1.25\r\n" * 200 + b"</gml:tupleList>\r\n"
    deep = zip_of([("FG-GML-5339-45-dem10b-deepest.xml", text)])
    for level in range(5):
        deep = zip_of([(f"level{level}.zip", deep), (f"level{level}.xml", b"x")])
    zipfile.ZIP64_LIMIT = 0
    zipfile.ZIP_FILECOUNT_LIMIT = 0
    zip64 = zip_of([("FG-GML-5339-45-dem10b-zip64.xml", text)])
    zipfile.ZIP64_LIMIT = 1 << 31
    zipfile.ZIP_FILECOUNT_LIMIT = 1 << 16
    return {
        "real-dem10b-3926-76": dem10,
        "real-dem5b-3624-30": dem5,
        "real-cut-short": dem5[: len(dem5) // 3],
        "nested-stored-and-deflated": zip_of([("FG-GML-3926-76-DEM10B.zip", dem10),
                                              ("sub/", b""),
                                              ("sub/inner.zip", zip_of([("a.xml", text)]))],
                                             zipfile.ZIP_STORED),
        "nested-six-deep": deep,
        "zip64": zip64,
        "names-utf8-shift-jis-cp437": zip_of([("標高/utf8.xml", b"u"),
                                               ("標高/sjis.xml".encode("cp932"), b"s"),
                                               (b"\x80\xff.xml", b"c"),
                                               ("a.zip/x.xml", b"plain"),
                                               ("a.zip", zip_of([("x.xml", b"inside")]))]),
        "size-smaller-than-inflated": patched(zip_of([("m.xml", text)]), 22, 100),
        "size-larger-than-inflated": patched(zip_of([("m.xml", text)]), 22, 100000),
        "checksum-wrong": patched(zip_of([("m.xml", text)]), 14, 12345),
        "encrypted-flag": patched(zip_of([("m.xml", text)]), 6, 1, 2),
        "unknown-method": patched(zip_of([("m.xml", text)]), 8, 97, 2),
        "bzip2": zip_of([("m.xml", text)], zipfile.ZIP_BZIP2),
        "empty": b"",
        "end-record-only": b"PK\x05\x06" + bytes(18),
    }


def header_case(raster_length, sidecar, header=""):
    return struct.pack("<H", raster_length) + sidecar.encode() + b"\0" + header.encode()


def header_seeds():
    mosaic = (
        "ENVI\r\nsamples = 3\r\nlines = 2\r\nbands = 1\r\nheader offset = 0\r\n"
        "file type = ENVI Standard\r\ndata type = 4\r\ninterleave = bsq\r\nbyte order = 0\r\n"
        "map info = {Geographic Lat/Lon, 1, 1, 136, 36.5, 0.000277777777777778, "
        "0.000185185185185185}\r\ncoordinate system string = {GEOGCS[\"JGD2011\",DATUM["
        "\"Japanese_Geodetic_Datum_2011\",SPHEROID[\"GRS 1980\",6378137,298.257222101]],"
        "PRIMEM[\"Greenwich\",0],UNIT[\"degree\",0.0174532925199433]]}\r\n"
        "data ignore value = -9999\r\n"
    )
    return {
        "mosaic-and-header": header_case(24, "3 width\r\n2 height\r\n4 data_type\r\n", mosaic),
        "sidecar-height-int64-max": header_case(8, "2 width\r\n9223372036854775807 height\r\n"),
        "sidecar-product-overflows": header_case(16, "4611686018427387904 width\r\n4 height\r\n"),
        "sidecar-beyond-raster": header_case(16, "2 width\r\n3 height\r\n"),
        "sidecar-negative": header_case(16, "-2 width\r\n2 height\r\n"),
        "header-huge-size": header_case(
            4, "1 width\r\n1 height\r\n", "ENVI\nsamples = 9223372036854775807\nlines = 2\n"
            "map info = {Geographic Lat/Lon, 1e308, -1e308, 1e308, 1e308, 1e308, 1e308}\n"),
        "header-open-brace": header_case(4, "1 width\r\n1 height\r\n", "ENVI\nmap info = {a,\n"),
        "nothing": header_case(0, ""),
    }


def write(target, seeds):
    folder = CORPUS / target
    folder.mkdir(parents=True, exist_ok=True)
    for old in folder.iterdir():
        old.unlink()
    for name, data in seeds.items():
        (folder / name).write_bytes(data)


def main():
    tiles = tile_seeds()
    write("gml_tile_fuzzer", tiles)
    write("gml_token_fuzzer", token_seeds(tiles))
    write("gml_name_fuzzer", name_seeds())
    write("name_text_fuzzer", text_seeds())
    write("zip_archive_fuzzer", zip_seeds())
    write("raster_header_fuzzer", header_seeds())


if __name__ == "__main__":
    main()
