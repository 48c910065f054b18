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
cd build-test
# shellcheck disable=SC2086
ctest -j "$jobs" --output-on-failure --timeout 600 ${QB_TEST_ARGS:-}
