#!/usr/bin/env bash
# Packs the built Linux tree into its Debian packages and checks each one's fields, files and Depends,
# lintian's verdict on all of them, and that they work unpacked together into one root.
# Usage: debian_package_test.sh BUILD_DIR WORK_DIR VERSION
set -u
build=$1 work=$2 version=$3
here=$(cd "$(dirname "$0")" && pwd)
. "$here/package_checks.sh"

packages="koravel libkoravel1 libkoravel-dev python3-koravel"
pack DEB "$build" "$work" "koravel_${version}_amd64.deb"
expect_same_lines "the packages" "$(for p in $packages; do echo "${p}_${version}_amd64.deb"; done | LC_ALL=C sort)" \
  "$(cd "$work" && ls -1 -- *.deb | LC_ALL=C sort)"
multiarch=$(dpkg-architecture -qDEB_HOST_MULTIARCH)
root=$work/root

for package in $packages; do
  deb=$work/${package}_${version}_amd64.deb
  [ -f "$deb" ] || continue
  field() { dpkg-deb -f "$deb" "$1"; }
  [ "$(field Version)" = "$version" ] || fail "$package's Version is '$(field Version)', not $version"
  [ "$(field Architecture)" = amd64 ] || fail "$package's Architecture is '$(field Architecture)'"
  [ "$(field Source)" = koravel ] || fail "$package's Source is '$(field Source)'"
  [ -n "$(field Description)" ] || fail "$package has no Description"

  # Its files, as dpkg-deb -c lists them (directories aside), are its lines of the install's list.
  expect_same_lines "$package's files" \
    "$(awk -v p="$package" '!/^#/ && $2 == p { print "usr/" $1 }' "$here/linux_files.txt" |
       sed "s|^usr/LIBDIR/|usr/lib/$multiarch/|" | LC_ALL=C sort)" \
    "$(dpkg-deb -c "$deb" | awk '$1 !~ /^d/ { sub(/^\.\//, "", $6); print $6 }' | LC_ALL=C sort)"
  dpkg -x "$deb" "$root" || fail "dpkg -x could not unpack $package"

  # Depends names no development package, and for each library that a program or library in the
  # package links directly, the package that holds it: one of these, or the installed one that holds
  # it as it is loaded (/lib and /usr/lib are one folder).
  depends=$(field Depends | tr ',' '\n' | sed -E 's/^ *//; s/ .*//' | LC_ALL=C sort -u)
  grep -- '-dev$' <<<"$depends" && fail "$package's Depends names development packages"
  for file in $(dpkg-deb -c "$deb" | awk '$1 ~ /^-/ { sub(/^\./, "", $6); print $6 }'); do
    readelf -h "$root$file" >/dev/null 2>&1 || continue
    for library in $(readelf -d "$root$file" | sed -n 's/.*(NEEDED).*\[\(.*\)\]/\1/p'); do
      holder=$(awk -v lib="$library" '!/^#/ { n = split($1, part, "/"); if (part[n] == lib) print $2 }' \
        "$here/linux_files.txt")
      if [ -z "$holder" ]; then
        path=$(ldd "$root$file" | awk -v lib="$library" '$1 == lib { print $3 }')
        holder=$([ -n "$path" ] && dpkg -S "$path" "/usr$path" "${path#/usr}" 2>/dev/null | head -n1 | cut -d: -f1)
      fi
      if [ -z "$holder" ]; then
        fail "$file links $library, which no package holds"
      elif ! grep -qx -- "$holder" <<<"$depends"; then
        fail "$file links $library from $holder, which $package's Depends does not name: $(field Depends)"
      fi
    done
  done
  logged=$(zcat "$root/usr/share/doc/$package/changelog.gz" | dpkg-parsechangelog -l - -S Version 2>&1)
  [ "$logged" = "$version" ] || fail "$package's changelog's newest entry is '$logged', not $version"
done

# How the packages go together: the development files with this very library, which dpkg is told to
# depend on by its shlibs file and whose ldconfig cache its trigger renews; the module with numpy.
relations() { dpkg-deb -f "$work/$1_${version}_amd64.deb" "$2" | tr ',' '\n' | sed 's/^ *//'; }
relations libkoravel-dev Depends | grep -qxF "libkoravel1 (= $version)" ||
  fail "libkoravel-dev does not depend on libkoravel1 (= $version)"
control=$(dpkg-deb --ctrl-tarfile "$work/libkoravel1_${version}_amd64.deb" | tar -t | sed 's|^\./||' | grep . | sort | xargs)
[ "$control" = "control md5sums shlibs triggers" ] || fail "libkoravel1's control files are: $control"
[ "$(dpkg-deb -I "$work/libkoravel1_${version}_amd64.deb" shlibs)" = "libkoravel 1 libkoravel1 (>= $version)" ] ||
  fail "libkoravel1's shlibs file: $(dpkg-deb -I "$work/libkoravel1_${version}_amd64.deb" shlibs)"
relations python3-koravel Depends | grep -qx python3-numpy || fail "python3-koravel does not depend on python3-numpy"
[ "$(relations python3-koravel Recommends | sort | xargs)" = "python3-dask python3-distributed python3-zarr" ] ||
  fail "python3-koravel recommends '$(relations python3-koravel Recommends | xargs)'"

# Debian's own checks: no error or warning from lintian on any of them.
if ! command -v lintian >/dev/null; then
  fail "lintian is not installed (tools/install-packages.sh installs it)"
elif ! report=$(lintian --fail-on error,warning "$work"/*.deb 2>&1); then
  fail "lintian reports errors or warnings:"$'\n'"$report"
fi

# Unpacked together: the programs run, Debian's python3 imports the module, koravel-world finds it,
# and the C example builds with the development package's koravel.pc and runs on the library.
expect_version "$version" "$root/usr/bin/koravel-export"
module=$(PYTHONPATH="$root/usr/lib/python3/dist-packages" /usr/bin/python3 -c 'import koravel; print(koravel.__version__)' 2>&1)
[ "$module" = "$version" ] || fail "the package's Python module does not import: $module"
expect_version "$version" "$root/usr/bin/koravel-world"
export PKG_CONFIG_SYSROOT_DIR=$root PKG_CONFIG_LIBDIR=$root/usr/lib/$multiarch/pkgconfig
if flags=$(pkg-config --cflags --libs koravel) &&
   cc -std=c99 -Wall -Werror -o "$work/example" "$here/../../doc/examples/terrain_example.c" $flags 2>"$work/cc.log"; then
  LD_LIBRARY_PATH=$root/usr/lib/$multiarch cmake -DEXAMPLE="$work/example" -DDATA="$here/../data" \
    -DWORK="$work/example-run" -P "$here/../library/example_test.cmake" ||
    fail "the C example built against the packages gives other results"
else
  cat "$work/cc.log" >&2
  fail "the C example does not build with libkoravel-dev's koravel.pc: ${flags:-}"
fi
finish
