#!/usr/bin/env bash
# Packs the built Linux tree into a .deb and checks its fields, its files, its Depends and that it runs unpacked.
# Usage: debian_package_test.sh BUILD_DIR WORK_DIR VERSION
set -u
build=$1 work=$2 version=$3
here=$(cd "$(dirname "$0")" && pwd)
. "$here/package_checks.sh"

deb=$work/koravel_${version}_amd64.deb
pack DEB "$build" "$work" "$(basename "$deb")"
field() { dpkg-deb -f "$deb" "$1"; }
[ "$(field Package)" = koravel ] || fail "Package is '$(field Package)'"
[ "$(field Version)" = "$version" ] || fail "Version is '$(field Version)', not $version"
[ "$(field Architecture)" = amd64 ] || fail "Architecture is '$(field Architecture)'"
[ -n "$(field Description)" ] || fail "no Description in:"$'\n'"$(dpkg-deb -I "$deb")"

# The files, as dpkg-deb -c lists them (directories aside).
expect_same_lines "the package's files" "$(grep -v '^#' "$here/linux_files.txt" | sed 's|^|usr/|')" \
  "$(dpkg-deb -c "$deb" | awk '$1 !~ /^d/ { sub(/^\.\//, "", $6); print $6 }' | LC_ALL=C sort)"

# Depends names, for each library the programs link directly, the package that holds it as the
# program loads it (/lib and /usr/lib are one folder), and no development package.
depends=$(field Depends | tr ',' '\n' | sed -E 's/^ *//; s/ .*//' | LC_ALL=C sort -u)
[ -n "$depends" ] || fail "the package has no Depends"
grep -- '-dev$' <<<"$depends" && fail "Depends names development packages"
root=$work/root
dpkg -x "$deb" "$root" || fail "dpkg -x could not unpack the package"
for program in "$root"/usr/bin/* "$root"/usr/lib/koravel/*.so; do
  for library in $(readelf -d "$program" | sed -n 's/.*(NEEDED).*\[\(.*\)\]/\1/p'); do
    path=$(ldd "$program" | awk -v lib="$library" '$1 == lib { print $3 }')
    package=$([ -n "$path" ] && dpkg -S "$path" "/usr$path" "${path#/usr}" 2>/dev/null | head -n1 | cut -d: -f1)
    if [ -z "$package" ]; then
      fail "$(basename "$program") links $library, which no installed package holds"
    elif ! grep -qx -- "$package" <<<"$depends"; then
      fail "$(basename "$program") links $library from $package, which Depends does not name: $(field Depends)"
    fi
  done
done

# Debian's own checks: no error or warning from lintian, and a changelog whose newest entry is this version.
if ! command -v lintian >/dev/null; then
  fail "lintian is not installed (tools/install-packages.sh installs it)"
elif ! report=$(lintian --fail-on error,warning "$deb" 2>&1); then
  fail "lintian reports errors or warnings:"$'\n'"$report"
fi
logged=$(zcat "$root/usr/share/doc/koravel/changelog.gz" | dpkg-parsechangelog -l - -S Version 2>&1)
[ "$logged" = "$version" ] || fail "the changelog's newest entry is '$logged', not $version"

expect_version "$version" "$root/usr/bin/koravel-export"
# The Python module as the package holds it, imported by Debian's python3.
module=$(PYTHONPATH="$root/usr/lib/python3/dist-packages" /usr/bin/python3 -c 'import koravel; print(koravel.__version__)' 2>&1)
[ "$module" = "$version" ] || fail "the package's Python module does not import: $module"
finish
