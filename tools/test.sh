#!/usr/bin/env bash
# Installs what is missing, builds Quillbook and its tests with the address and
# undefined-behaviour sanitizers, and runs every test.
# Set QB_TEST_ARGS to pass arguments to ctest (for example "-LE slow").
set -euo pipefail
cd "$(dirname "$0")/.."
bash tools/setup.sh
jobs=$(nproc)
cmake -S . -B build-test -G Ninja -DCMAKE_BUILD_TYPE=Debug -DQB_SANITIZE=ON -DQB_TESTS=ON >/dev/null
cmake --build build-test -j "$jobs"

# Short, reproducible runs of the fuzz targets (clang and libFuzzer): a fixed seed and a
# bounded run count, on the seed files of the source tree.
fuzz_flags="-fsanitize=fuzzer-no-link,address,undefined"
CC=clang CXX=clang++ cmake -S . -B build-fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DQB_GIF_FUZZER=ON -DQB_ZIP_FUZZER=ON -DQB_ZIP_ARCHIVE_FUZZER=ON -DQB_HTML_FUZZER=ON -DQB_RTF_FUZZER=ON -DQB_CELLSTREAM_FUZZER=ON \
  -DQB_XLS_FUZZER=ON -DQB_PAGE_FUZZER=ON \
  -DCMAKE_C_FLAGS="$fuzz_flags" -DCMAKE_CXX_FLAGS="$fuzz_flags" >/dev/null
cmake --build build-fuzz -j "$jobs" --target gif_fuzzer zip_legacy_fuzzer zip_archive_fuzzer html_fuzzer rtf_fuzzer \
  cellstream_fuzzer xls_fuzzer page_fuzzer

# run_fuzzer TITLE TARGET SEEDS RUNS [libFuzzer options...]
# Any undefined behaviour report fails the run, as it does in the tests.
export UBSAN_OPTIONS="${UBSAN_OPTIONS:-halt_on_error=1:print_stacktrace=1}"
run_fuzzer() {
  local title=$1 target=$2 seeds=$3 runs=$4
  shift 4
  local dir
  dir=$(mktemp -d)
  mkdir "$dir/corpus"
  if ! "build-fuzz/tests/$target" -seed=1 -runs="$runs" -rss_limit_mb=4096 -artifact_prefix="$dir/" "$@" \
      "$dir/corpus" "$seeds" >"$dir/log" 2>&1; then
    cat "$dir/log"
    echo "The fuzz target of the $title failed; the input is in $dir"
    exit 1
  fi
  echo "Fuzz target of the $title: $(grep '^Done' "$dir/log" || tail -n 1 "$dir/log")"
  rm -rf "$dir"
}

run_fuzzer "GIF reader and writer" gif_fuzzer tests/fixtures/gif 4000
run_fuzzer "zip legacy decoders" zip_legacy_fuzzer tests/fixtures/ziplegacy 20000
run_fuzzer "zip archive reader" zip_archive_fuzzer tests/fixtures/ziparchive 1500 -max_total_time=5 -timeout=10 -dict=tests/zip/ZipArchiveFuzzer.dict
QT_QPA_PLATFORM=offscreen LSAN_OPTIONS="suppressions=$PWD/tests/grid/fuzz/lsan.supp" \
  run_fuzzer "grid's mini-HTML renderer" html_fuzzer tests/fixtures/html 20000 -max_total_time=8 -timeout=10
run_fuzzer "RTF reader" rtf_fuzzer tests/fixtures/rtf 50000 -max_total_time=8 -timeout=10
QT_QPA_PLATFORM=offscreen LSAN_OPTIONS="suppressions=$PWD/tests/grid/fuzz/lsan.supp" \
  run_fuzzer "grid's cell stream reader" cellstream_fuzzer tests/fixtures/cellstream 10000 -max_total_time=5 -timeout=10
run_fuzzer "grid's .xls reader" xls_fuzzer tests/fixtures/xls 30000 -max_total_time=8 -timeout=10
run_fuzzer "page and book documents" page_fuzzer tests/fixtures/page 1000 -max_total_time=5 -timeout=10

cd build-test
# shellcheck disable=SC2086
ctest -j "$jobs" --output-on-failure --timeout 600 ${QB_TEST_ARGS:-}
