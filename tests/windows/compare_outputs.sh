#!/usr/bin/env bash
# compare_outputs.sh LINUX_CLI WINDOWS_CLI RUNNER PREFIX SAMPLES: converts the sample tiles with
# both builds of elevara-cli, the Windows one under Wine, each in a folder with a Japanese name
# given on the command line, exports the rasters as GeoTIFFs, and compares every file they write
# (the layers and GeoTIFFs too) and everything they print, byte for byte.
set -euo pipefail
linux_cli=$1 windows_cli=$2 runner=$3 prefix=$4 samples=$5
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
folder=標高データ

run_linux() { (cd "$scratch/linux" && "$linux_cli" "$@"); }
run_windows() { (cd "$scratch/windows" && "$runner" "$prefix" "$windows_cli" "$@"); }

for side in linux windows; do
  mkdir -p "$scratch/$side/$folder"
  cp "$samples"/FG-GML-*.xml "$scratch/$side/$folder/"
  {
    "run_$side" gml10 "$folder"
    "run_$side" gml5 "$folder/FG-GML-3624-30-76-DEM5B-20170202.xml"
    "run_$side" nodata --width 2250 --height 1500 "$folder/362430-DEM5" "$folder/置換後.raw"
    "run_$side" geotiff "$folder"
  } >"$scratch/$side/printed.txt" 2>&1
done

files() { (cd "$1" && find . -type f | LC_ALL=C sort); }
if ! diff <(files "$scratch/linux") <(files "$scratch/windows"); then
  echo "compare_outputs: the two builds wrote different files" >&2
  exit 1
fi
status=0
while read -r file; do
  if ! cmp "$scratch/linux/$file" "$scratch/windows/$file"; then status=1; fi
done < <(files "$scratch/linux")
echo "compare_outputs: $(files "$scratch/linux" | wc -l) files compared"
exit $status
