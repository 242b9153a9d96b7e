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
cmake --install "$build" --prefix "$prefix" >"$work/install.log" 2>&1 ||
  { cat "$work/install.log" >&2; fail "cmake --install failed"; finish; }
expect_same_lines "installed files" "$(grep -v '^#' "$here/linux_files.txt")" \
  "$(cd "$prefix" && find . -type f -printf '%P\n' | LC_ALL=C sort)"

# The menu entry is valid, starts a program we install and names an icon we install.
entry=$prefix/share/applications/koravel.desktop
desktop-file-validate "$entry" || fail "desktop-file-validate rejects koravel.desktop"
field() { sed -n "s/^$1=//p" "$entry"; }
[ "$(field Name)" = Koravel ] || fail "the entry's Name is '$(field Name)'"
[ -n "$(field Comment)" ] || fail "the entry has no Comment"
[ "$(field Categories)" = "Graphics;3DGraphics;" ] || fail "the entry's Categories are '$(field Categories)'"
program=$prefix/bin/$(field Exec | cut -d' ' -f1)
[ -f "$program" ] && [ -x "$program" ] || fail "the entry starts '$(field Exec)', which is not a program in bin/"
icon=$(field Icon)
[ -f "$prefix/share/icons/hicolor/scalable/apps/$icon.svg" ] || fail "the entry's icon '$icon' has no SVG"
shape=$(identify -format '%m %wx%h' "$prefix/share/icons/hicolor/48x48/apps/$icon.png" 2>&1)
[ "$shape" = "PNG 48x48" ] || fail "the entry's icon '$icon' has no 48 x 48 PNG: '$shape'"

expect_version "$version" "$prefix/bin/koravel-export"
# The installed koravel-export finds its picture module in the install's library folder.
"$prefix/bin/koravel-export" --render "$work/picture.png" >"$work/render.log" 2>&1 && [ -s "$work/picture.png" ] ||
  fail "the installed koravel-export drew no picture: $(cat "$work/render.log")"
finish
