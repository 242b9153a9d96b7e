#!/usr/bin/env bash
# Installs the Debian packages that building and testing Koravel need, when any is missing.
set -euo pipefail

packages=(
  cmake make pkg-config g++ clang libclang-rt-14-dev
  libgtest-dev googletest libbenchmark-dev
  g++-mingw-w64-x86-64-posix wine wine64
  libfltk1.3-dev libx11-dev libgl-dev libosmesa6-dev libstb-dev
  xvfb xauth xdotool x11-utils imagemagick libgtk2.0-0
  dpkg-dev file desktop-file-utils librsvg2-bin icoutils man-db
  libspng-dev libcli11-dev libz-mingw-w64-dev
  assimp-utils libtinygltf-dev libdeflate-dev pngcheck
  libxcomposite-dev openbox lintian
  python3-dev pybind11-dev python3-numpy python3-pytest
  python3-dask python3-distributed python3-zarr python3-xarray
)

missing=()
for package in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed" ||
    missing+=("$package")
done
[ ${#missing[@]} -eq 0 ] && exit 0

sudo=""
[ "$(id -u)" -eq 0 ] || sudo=sudo
echo "Installing: ${missing[*]}"
$sudo apt-get update -qq
$sudo env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "${missing[@]}" >/dev/null
