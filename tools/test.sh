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

# A short, reproducible run of the GIF reader's fuzz target (clang and libFuzzer):
# a fixed seed and run count, on the seed files of the source tree.
fuzz_flags="-fsanitize=fuzzer-no-link,address,undefined"
CC=clang CXX=clang++ cmake -S . -B build-fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQB_GIF_FUZZER=ON -DQB_ZIP_FUZZER=ON \
  -DCMAKE_C_FLAGS="$fuzz_flags" -DCMAKE_CXX_FLAGS="$fuzz_flags" >/dev/null
cmake --build build-fuzz -j "$jobs" --target gif_fuzzer zip_legacy_fuzzer
fuzz_dir=$(mktemp -d)
mkdir "$fuzz_dir/corpus"
if ! build-fuzz/tests/gif_fuzzer -seed=1 -runs=4000 -rss_limit_mb=4096 -artifact_prefix="$fuzz_dir/" \
    "$fuzz_dir/corpus" tests/fixtures/gif >"$fuzz_dir/log" 2>&1; then
  cat "$fuzz_dir/log"
  echo "The GIF reader's fuzz target failed; the input is in $fuzz_dir"
  exit 1
fi
echo "GIF reader fuzz target: $(tail -n 1 "$fuzz_dir/log")"
rm -rf "$fuzz_dir"

# The same for the zip library's shrink, reduce and implode decoders.
fuzz_dir=$(mktemp -d)
mkdir "$fuzz_dir/corpus"
if ! build-fuzz/tests/zip_legacy_fuzzer -seed=1 -runs=20000 -rss_limit_mb=4096 -artifact_prefix="$fuzz_dir/" \
    "$fuzz_dir/corpus" tests/fixtures/ziplegacy >"$fuzz_dir/log" 2>&1; then
  cat "$fuzz_dir/log"
  echo "The zip legacy decoders' fuzz target failed; the input is in $fuzz_dir"
  exit 1
fi
echo "Zip legacy decoders fuzz target: $(tail -n 1 "$fuzz_dir/log")"
rm -rf "$fuzz_dir"

cd build-test
# shellcheck disable=SC2086
ctest -j "$jobs" --output-on-failure --timeout 600 ${QB_TEST_ARGS:-}
