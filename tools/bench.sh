#!/usr/bin/env bash
# Builds the benchmarks (with the peers they compare against) and runs them.
set -euo pipefail
cd "$(dirname "$0")/.."
bash tools/setup.sh
missing=""
for p in libhpdf-dev libgif-dev chromium; do
  dpkg-query -W -f="\${Status}" "$p" 2>/dev/null | grep -q "install ok installed" || missing="$missing $p"
done
if [ -n "$missing" ]; then
  SUDO=""; [ "$(id -u)" -ne 0 ] && SUDO="sudo"
  $SUDO apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends $missing
fi
cmake -S . -B build-bench -G Ninja -DCMAKE_BUILD_TYPE=Release -DQB_TESTS=OFF -DQB_BENCH=ON >/dev/null
cmake --build build-bench
for b in build-bench/program/*_bench; do
  echo "== $(basename "$b")"
  "$b"
done
