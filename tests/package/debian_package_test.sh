#!/usr/bin/env bash
# Packs the built Linux tree into a .deb and checks its fields, its files and that it runs unpacked.
# Usage: debian_package_test.sh BUILD_DIR WORK_DIR VERSION
set -u
build=$1 work=$2 version=$3
here=$(cd "$(dirname "$0")" && pwd)
. "$here/package_checks.sh"

rm -rf "$work"
mkdir -p "$work"
if ! cpack --config "$build/CPackConfig.cmake" -G DEB -B "$work" >"$work/cpack.log" 2>&1; then
  cat "$work/cpack.log" >&2
  fail "cpack -G DEB failed"
  finish
fi
deb=$work/koravel_${version}_amd64.deb
if [ ! -f "$deb" ]; then
  fail "no $(basename "$deb"); cpack made: $(cd "$work" && ls)"
  finish
fi

info=$(dpkg-deb -I "$deb")
field() { dpkg-deb -f "$deb" "$1"; }
[ "$(field Package)" = koravel ] || fail "Package is '$(field Package)'"
[ "$(field Version)" = "$version" ] || fail "Version is '$(field Version)', not $version"
[ "$(field Architecture)" = amd64 ] || fail "Architecture is '$(field Architecture)'"
[ -n "$(field Description)" ] || fail "no Description in:"$'\n'"$info"

# The files, as dpkg-deb -c lists them (directories aside).
expect_same_lines "the package's files" "$(grep -v '^#' "$here/linux_files.txt" | sed 's|^|usr/|')" \
  "$(dpkg-deb -c "$deb" | awk '$1 !~ /^d/ { sub(/^\.\//, "", $6); print $6 }' | LC_ALL=C sort)"

# Depends names, for each library the programs link directly, the package that holds it.
depends=$(field Depends | tr ',' '\n' | sed -E 's/^ *//; s/ .*//' | LC_ALL=C sort -u)
[ -n "$depends" ] || fail "the package has no Depends"
grep -- '-dev$' <<<"$depends" && fail "Depends names development packages"
root=$work/root
dpkg -x "$deb" "$root" || fail "dpkg -x could not unpack the package"
# The package that holds library $1 as program $2 loads it (/lib and /usr/lib are one folder).
owner_of() {
  local path candidate owner
  path=$(ldd "$2" | awk -v lib="$1" '$1 == lib { print $3 }')
  [ -n "$path" ] || return
  for candidate in "$path" "/usr$path" "${path#/usr}"; do
    owner=$(dpkg -S "$candidate" 2>/dev/null | head -n1 | cut -d: -f1)
    [ -n "$owner" ] && echo "$owner" && return
  done
}
for program in "$root"/usr/bin/*; do
  for library in $(readelf -d "$program" | sed -n 's/.*(NEEDED).*\[\(.*\)\]/\1/p'); do
    package=$(owner_of "$library" "$program")
    if [ -z "$package" ]; then
      fail "$(basename "$program") links $library, which no installed package holds"
    elif ! grep -qx -- "$package" <<<"$depends"; then
      fail "$(basename "$program") links $library from $package, which Depends does not name: $(field Depends)"
    fi
  done
done

[ -x "$root/usr/bin/koravel-export" ] && expect_version "$version" "$root/usr/bin/koravel-export"
finish
