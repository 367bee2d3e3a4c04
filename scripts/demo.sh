#!/usr/bin/env bash
# Converts the sample tiles with elevara-cli in a scratch folder, draws a preview of the 5 m
# mosaic, writes a cloud-optimized GeoTIFF of the 10 m mosaic, shows what GDAL makes of the
# GeoTIFF and of the layer of the 5 m mosaics, and lists what was written.
# Usage: scripts/demo.sh BUILD_FOLDER. DEMO_MERGE=1 also merges the 5 m mosaic (864 MB more),
# as the GML5 conversion named it.
set -euo pipefail

build=${1:?usage: scripts/demo.sh BUILD_FOLDER}
root=$(cd "$(dirname "$0")/.." && pwd)
cli="$build/cli/elevara-cli"
[[ -x "$cli" ]] || { echo "demo: $cli is missing; run make demo" >&2; exit 1; }
cli=$(cd "$(dirname "$cli")" && pwd)/$(basename "$cli")

scratch=$(mktemp -d "${TMPDIR:-/tmp}/elevara-demo.XXXXXX")
cp "$root"/samples/*.xml "$scratch/"
echo "demo: samples copied to $scratch"
echo "出典：国土地理院 基盤地図情報（数値標高モデル）"

# Runs one command the way a script would, and stops the demo on any status but 0.
run() {
  echo
  echo "\$ elevara-cli $*"
  local status=0
  "$cli" "$@" || status=$?
  if ((status != 0)); then
    echo "demo: elevara-cli $1 ended with status $status" >&2
    exit "$status"
  fi
}

run gml5 "$scratch"
run gml10 "$scratch/FG-GML-3926-76-DEM10B-20161001.xml"
run nodata --width 2250 --height 1500 "$scratch/362430-DEM5" "$scratch/362430-DEM5-zero.raw"
# A picture of the 5 m mosaic, 362430-DEM5.png (docs/preview-362430.png is one).
run preview "$scratch/362430-DEM5"
# The 10 m mosaic as a cloud-optimized GeoTIFF, 3926-ELEVARA.tif.
run geotiff "$scratch/3926-ELEVARA"
if command -v gdalinfo >/dev/null; then
  echo
  echo "\$ gdalinfo $scratch/3926-ELEVARA   (the ENVI header places it on mesh 3926, in JGD2011)"
  gdalinfo "$scratch/3926-ELEVARA" | grep -E '^(Driver|Size is|Origin|Pixel Size)|^GEOGCRS|^(Upper|Lower) '
  echo
  echo "\$ gdalinfo $scratch/3926-ELEVARA.tif   (the same place and datum, NoData and overviews)"
  gdalinfo "$scratch/3926-ELEVARA.tif" |
    grep -E '^(Driver|Size is|Origin|Pixel Size)|^GEOGCRS|^(Upper|Lower) |COMPRESSION|PREDICTOR|NoData|Overviews'
  echo
  echo "\$ gdalinfo $scratch/ELEVARA-5m.vrt   (every 5 m mosaic of the folder as one layer)"
  gdalinfo "$scratch/ELEVARA-5m.vrt" | grep -E '^(Driver|Files|Size is|Origin|Pixel Size)|^ {7}\S|^GEOGCRS|NoData'
else
  echo
  echo "demo: no gdalinfo here, so where the ENVI header places 3926-ELEVARA is not shown" \
    "(make demo installs it: gdal-bin)"
fi

if [[ "${DEMO_MERGE:-0}" == 1 ]]; then
  run merge "$scratch"
fi

echo
echo "demo: written in $scratch (remove it with rm -rf when done):"
find "$scratch" -maxdepth 1 -type f ! -name '*.xml' -printf '%f\t%s\n' | sort |
  while IFS=$'\t' read -r name size; do printf '  %-28s %12d bytes\n' "$name" "$size"; done
