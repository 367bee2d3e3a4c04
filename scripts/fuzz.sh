#!/usr/bin/env bash
# Builds the libFuzzer targets with clang (ASan + UBSan) in build-fuzz and runs each one for its
# share of the given seconds. Any crash, broken check, leak, sanitizer report or timeout fails the
# run and leaves the input that caused it in build-fuzz/artifacts/.
#   scripts/fuzz.sh [SECONDS]     (default 60, split evenly across the targets)
set -euo pipefail
cd "$(dirname "$0")/.."

seconds=${1:-60}
build=build-fuzz
targets=(gml_tile_fuzzer gml_direct_fuzzer gml_token_fuzzer gml_name_fuzzer name_text_fuzzer
  zip_archive_fuzzer raster_header_fuzzer)

cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DELEVARA_WERROR=ON \
  -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ -DELEVARA_BUILD_FUZZERS=ON \
  -DELEVARA_BUILD_APP=OFF -DELEVARA_BUILD_TESTS=OFF >/dev/null
cmake --build "$build" -j "${JOBS:-2}" --target "${targets[@]}"

share=$((seconds / ${#targets[@]}))
((share >= 1)) || share=1
mkdir -p "$build/artifacts" "$build/logs"
failed=()
for target in "${targets[@]}"; do
  # New inputs go to the build's own corpus; the seeds in the repository are only read.
  corpus="$build/corpus/$target"
  log="$build/logs/$target.log"
  mkdir -p "$corpus"
  case "$target" in
    gml_tile_fuzzer | gml_direct_fuzzer | gml_token_fuzzer) dict=fuzz/gml.dict ;;
    zip_archive_fuzzer) dict=fuzz/zip.dict ;;
    raster_header_fuzzer) dict=fuzz/headers.dict ;;
    *) dict=fuzz/names.dict ;;
  esac
  # The larger real downloads beside the project seed the archive reading too; they are too big
  # to keep in the repository.
  # The direct conversion is held to the value file on the tile fuzzer's inputs, of its layout.
  seeds_dir="fuzz/corpus/$target"
  [[ "$target" == gml_direct_fuzzer ]] && seeds_dir=fuzz/corpus/gml_tile_fuzzer
  seeds=()
  if [[ "$target" == zip_archive_fuzzer && -d ../shared/data/gsi ]]; then
    seeds=(-seed_inputs="$(ls ../shared/data/gsi/*.zip | paste -sd, -)")
  fi
  if ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
    "$build/fuzz/$target" -max_total_time="$share" -timeout=30 -rss_limit_mb=4096 \
    -print_final_stats=1 -dict="$dict" -artifact_prefix="$build/artifacts/$target-" "${seeds[@]}" \
    "$corpus" "$seeds_dir" >"$log" 2>&1; then
    runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log")
    cover=$(grep -o 'cov: [0-9]*' "$log" | tail -1)
    echo "fuzz: $target ok, ${runs:-?} runs in ${share} s, ${cover:-cov: ?} edges"
  else
    echo "fuzz: $target FAILED (log $log)"
    grep -E 'ERROR|SUMMARY|what\(\)|runtime error|Test unit written' "$log" | head -20 || true
    failed+=("$target")
  fi
done

if ((${#failed[@]} > 0)); then
  echo "fuzz: failed: ${failed[*]}"
  exit 1
fi
