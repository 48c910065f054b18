#!/usr/bin/env bash
# Installs the Debian 12 packages that building, running and testing Quillbook need.
# Does nothing when they are all present; runs apt-get update only when something
# must be installed.
set -euo pipefail

PACKAGES=(
  # build
  g++ cmake ninja-build ccache pkg-config
  qt6-base-dev qt6-webengine-dev zlib1g-dev libjpeg62-turbo-dev
  libgtest-dev libgmock-dev libbenchmark-dev
  # the fuzz target of the GIF reader (libFuzzer)
  clang libclang-rt-14-dev
  # the program at run time
  fp-utils unzip zip xdg-utils fonts-wqy-microhei qt6-translations-l10n
  # peers the tests check formats against
  locales p7zip-full python3 python3-pil imagemagick qpdf poppler-utils giflib-tools gifsicle libjpeg-turbo-progs
  python3-xlwt python3-openpyxl python3-xlrd unrtf
  # a virtual X display, for the tests of what shows on a desktop
  xvfb
)

missing=()
for p in "${PACKAGES[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -eq 0 ]; then
  exit 0
fi

SUDO=""
if [ "$(id -u)" -ne 0 ]; then
  SUDO="sudo"
fi
echo "Installing: ${missing[*]}"
$SUDO apt-get update -qq
DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
