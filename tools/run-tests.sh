#!/usr/bin/env bash
# Installs what the tests need, then builds the Linux, Windows and sanitizer trees and runs all their tests.
set -euo pipefail
cd "$(dirname "$0")/.."

tools/install-packages.sh

jobs=$(nproc 2>/dev/null || echo 2)
configure_and_build() {
  local dir=$1
  shift
  cmake -S . -B "build/$dir" "$@" >"build/$dir.configure.log" 2>&1 ||
    { cat "build/$dir.configure.log"; return 1; }
  cmake --build "build/$dir" -j "$jobs"
}

mkdir -p build
status=0
run_tree() {
  local dir=$1
  echo "=== $dir ==="
  (cd "build/$dir" && ctest --output-on-failure -j "$jobs") || status=1
}

# The README's first command, tools/run-koravel.sh, in a fresh clone with nothing built there.
echo "=== first command ==="
tests/first_command_test.sh build/first-command || status=1

# Linux (GCC, optimised; for the packages' prefix, as tools/package.sh builds it) and Windows (mingw-w64,
# run under Wine).
configure_and_build linux -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_INSTALL_PREFIX=/usr
configure_and_build windows -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake -DCMAKE_BUILD_TYPE=RelWithDebInfo
# Terrain code under AddressSanitizer and UndefinedBehaviorSanitizer, built with Clang at -O0.
CC=clang CXX=clang++ configure_and_build sanitize -DKORAVEL_SANITIZE=ON -DKORAVEL_TERRAIN_ONLY=ON -DCMAKE_BUILD_TYPE=Debug

run_tree linux
run_tree windows
run_tree sanitize
exit $status
