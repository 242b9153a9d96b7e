#!/usr/bin/env bash
# Builds the Linux packages (.deb) and the Windows zip into build/packages (on a fresh Debian
# machine; installs the Debian packages it needs first, with sudo when not run as root).
set -euo pipefail
cd "$(dirname "$0")/.."

tools/install-packages.sh

jobs=$(nproc 2>/dev/null || echo 2)
rm -rf build/packages
mkdir -p build/packages
# pack dir cmake-arguments...: configures and builds one tree (the one tools/run-tests.sh
# uses, so either reuses the other's build), packs it and copies the package out.
pack() {
  local dir=$1
  shift
  cmake -S . -B "build/$dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo "$@" >"build/$dir.configure.log" 2>&1 ||
    { cat "build/$dir.configure.log"; return 1; }
  cmake --build "build/$dir" -j "$jobs"
  rm -rf "build/$dir/packages"
  cpack --config "build/$dir/CPackConfig.cmake" -B "build/$dir/packages"
  find "build/$dir/packages" -maxdepth 1 \( -name '*.deb' -o -name '*.zip' \) -exec cp {} build/packages/ \;
}

# The Linux tree for the packages' prefix /usr, which puts the library in the multiarch folder.
pack linux -DCMAKE_INSTALL_PREFIX=/usr
pack windows -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake
echo "Packages:"
ls -1 "$PWD"/build/packages/*
