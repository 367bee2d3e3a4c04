#!/usr/bin/env bash
# Runs the benchmarks of a build folder (default: build). Each prints its figures and exits
# non-zero when it misses its goal; every benchmark runs even after one has failed.
set -uo pipefail
build="${1:-build}"
status=0

run() {
  echo "== $*"
  "$@" || status=1
}

run "$build/bench/dem5_merge_bench"
run "$build/bench/gml_bench"
run "$build/bench/gml_cores_bench"
run "$build/bench/zip_bench"
run "$build/bench/geotiff_bench"
# Built only where Qt is; it needs a display or the offscreen platform.
if [[ -x "$build/bench/gml_progress_bench" ]]; then
  QT_QPA_PLATFORM="${QT_QPA_PLATFORM:-offscreen}" run "$build/bench/gml_progress_bench"
fi

exit $status
