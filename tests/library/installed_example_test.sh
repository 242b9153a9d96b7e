#!/usr/bin/env bash
# Installs the Linux build into a scratch prefix, builds the C example there with find_package(Koravel)
# and with pkg-config, and runs both against the golden sizes.
# Usage: installed_example_test.sh BUILD_DIR SOURCE_DIR WORK_DIR VERSION
set -u
build=$1 source=$2 work=$3 version=$4
here=$(cd "$(dirname "$0")" && pwd)
failures=0
fail() { echo "FAIL: $*" >&2; failures=$((failures + 1)); }

rm -rf "$work" && mkdir -p "$work"
prefix=$work/prefix
cmake --install "$build" --prefix "$prefix" >"$work/install.log" 2>&1 ||
  { cat "$work/install.log" >&2; echo "FAIL: cmake --install failed" >&2; exit 1; }

# With CMake: the installed package, found through CMAKE_PREFIX_PATH.
if cmake -S "$source/doc/examples" -B "$work/cmake-build" -DCMAKE_PREFIX_PATH="$prefix" >"$work/cmake.log" 2>&1 &&
   cmake --build "$work/cmake-build" >>"$work/cmake.log" 2>&1; then
  cmake -DEXAMPLE="$work/cmake-build/terrain_example" -DDATA="$source/tests/data" -DWORK="$work/cmake-run" \
    -P "$here/example_test.cmake" || fail "the example built with find_package(Koravel) gives other results"
else
  cat "$work/cmake.log" >&2
  fail "the example does not build with find_package(Koravel)"
fi

# With pkg-config: the compiler and linker flags of koravel.pc; the library found at run time by path.
export PKG_CONFIG_PATH=$(dirname "$(find "$prefix" -name koravel.pc)")
if flags=$(pkg-config --cflags --libs koravel) &&
   cc -std=c99 -Wall -Werror -o "$work/pc_example" "$source/doc/examples/terrain_example.c" $flags 2>"$work/cc.log"; then
  LD_LIBRARY_PATH=$(pkg-config --variable=libdir koravel) \
    cmake -DEXAMPLE="$work/pc_example" -DDATA="$source/tests/data" -DWORK="$work/pc-run" \
    -P "$here/example_test.cmake" || fail "the example built with pkg-config gives other results"
else
  cat "$work/cc.log" >&2
  fail "the example does not build with pkg-config's flags: ${flags:-}"
fi
[ "$(pkg-config --modversion koravel)" = "$version" ] || fail "koravel.pc's version is not $version"

# The shared library: named by its SONAME, exporting the C interface and nothing else.
library=$(find "$prefix" -name libkoravel.so.1)
soname=$(readelf -d "$library" | sed -n 's/.*(SONAME).*\[\(.*\)\]/\1/p')
[ "$soname" = libkoravel.so.1 ] || fail "the library's SONAME is '$soname'"
others=$(nm -D --defined-only "$library" | awk '$3 !~ /^koravel_/ && $3 !~ /^KORAVEL_1(\.[0-9]+)?$/')
[ -z "$others" ] || fail "the library exports more than the C interface:"$'\n'"$others"
# The first version's functions keep their symbol version; later ones come with versions of their own.
first=$(nm -D --defined-only "$library" | awk '$3 ~ /@@KORAVEL_1$/ { sub(/@@.*/, "", $3); print $3 }' | sort | xargs)
[ "$first" = "koravel_check_rect koravel_check_settings koravel_generate koravel_height_range koravel_settings_init koravel_status_text koravel_version" ] ||
  fail "the first version's symbols changed: $first"

[ "$failures" -eq 0 ] || { echo "$failures check(s) failed" >&2; exit 1; }
echo "all checks passed"
