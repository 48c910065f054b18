#!/usr/bin/env bash
# Installs what is missing, builds Quillbook and starts it (arguments go to the program).
set -euo pipefail
cd "$(dirname "$0")/.."
bash tools/setup.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQB_TESTS=OFF >/dev/null
cmake --build build --target quillbook quillbook-drive program_data
exec build/program/quillbook "$@"
