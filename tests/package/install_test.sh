#!/usr/bin/env bash
# Installs the Linux build into a scratch prefix and checks what lands there.
# Usage: install_test.sh BUILD_DIR WORK_DIR VERSION
set -u
build=$1 work=$2 version=$3
here=$(cd "$(dirname "$0")" && pwd)
. "$here/package_checks.sh"

rm -rf "$work"
mkdir -p "$work"
prefix=$work/prefix
if ! cmake --install "$build" --prefix "$prefix" >"$work/install.log" 2>&1; then
  cat "$work/install.log" >&2
  fail "cmake --install failed"
  finish
fi

expect_same_lines "installed files" "$(grep -v '^#' "$here/linux_files.txt")" \
  "$(cd "$prefix" && find . -type f -printf '%P\n' | LC_ALL=C sort)"
for program in koravel koravel-export; do
  [ -x "$prefix/bin/$program" ] || fail "bin/$program is not executable"
done

# The menu entry is valid, starts a program we install and names an icon we install.
entry=$prefix/share/applications/koravel.desktop
if [ -f "$entry" ]; then
  desktop-file-validate "$entry" || fail "desktop-file-validate rejects koravel.desktop"
  field() { sed -n "s/^$1=//p" "$entry"; }
  [ "$(field Name)" = Koravel ] || fail "the entry's Name is '$(field Name)'"
  [ -n "$(field Comment)" ] || fail "the entry has no Comment"
  [ "$(field Categories)" = "Graphics;3DGraphics;" ] || fail "the entry's Categories are '$(field Categories)'"
  exec_program=$(field Exec | cut -d' ' -f1)
  [ -x "$prefix/bin/$exec_program" ] || fail "the entry starts '$exec_program', which is not in bin/"
  icon=$(field Icon)
  for size in scalable/apps/$icon.svg 48x48/apps/$icon.png; do
    [ -f "$prefix/share/icons/hicolor/$size" ] || fail "the entry's icon '$icon' has no $size"
  done
fi

# The PNG is a 48 x 48 image (width and height are the big-endian words at bytes 16 and 20).
png=$prefix/share/icons/hicolor/48x48/apps/koravel.png
if [ -f "$png" ]; then
  read -r -a header < <(od -An -tu1 -w24 -N24 "$png")
  [ "${header[*]:1:3}" = "80 78 71" ] || fail "koravel.png is not a PNG"
  width=$(( (header[16] << 24) | (header[17] << 16) | (header[18] << 8) | header[19] ))
  height=$(( (header[20] << 24) | (header[21] << 16) | (header[22] << 8) | header[23] ))
  [ "$width x $height" = "48 x 48" ] || fail "koravel.png is $width x $height"
fi

# The installed tool runs from the prefix.
[ -x "$prefix/bin/koravel-export" ] && expect_version "$version" "$prefix/bin/koravel-export"
finish
