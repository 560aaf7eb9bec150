#!/usr/bin/env bash
# Installs the Debian 12 packages that the build, the tests, the fuzzers, the
# benchmarks and the package check (make package-check) need. Quick when
# everything is there: apt-get update only runs when something is missing.
set -euo pipefail

packages=(
  build-essential cmake ninja-build ccache pkg-config git
  clang libclang-rt-14-dev llvm clang-format
  qt6-base-dev qt6-base-dev-tools libqt6opengl6-dev libgl-dev
  libhidapi-dev libudev-dev libusb-1.0-0-dev
  libcurl4-openssl-dev
  libfreetype-dev libfontconfig-dev
  libgtest-dev libgmock-dev libbenchmark-dev
  libpugixml-dev
  xvfb xauth x11-apps imagemagick
  xfonts-wqy fonts-wqy-zenhei fonts-dejavu-core
  locales
  dpkg-dev file desktop-file-utils appstream shared-mime-info man-db bsdutils
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -eq 0 ]; then
  echo "install-deps: all ${#packages[@]} packages present"
  exit 0
fi

echo "install-deps: installing ${missing[*]}"
sudo_cmd=()
if [ "$(id -u)" -ne 0 ]; then sudo_cmd=(sudo); fi
export DEBIAN_FRONTEND=noninteractive
"${sudo_cmd[@]}" apt-get update -qq
"${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
