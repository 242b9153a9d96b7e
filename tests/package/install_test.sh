#!/usr/bin/env bash
# Installs the Linux build into a scratch prefix and checks what lands there.
# Usage: install_test.sh BUILD_DIR WORK_DIR VERSION LIBDIR (LIBDIR: the tree's CMAKE_INSTALL_LIBDIR)
set -u
build=$1 work=$2 version=$3 libdir=$4
here=$(cd "$(dirname "$0")" && pwd)
. "$here/package_checks.sh"

rm -rf "$work"
mkdir -p "$work"
prefix=$work/prefix
cmake --install "$build" --prefix "$prefix" >"$work/install.log" 2>&1 ||
  { cat "$work/install.log" >&2; fail "cmake --install failed"; finish; }
# Files and links; the Python module lies in python3.X's folder under prefixes other than /usr.
expect_same_lines "installed files" \
  "$(awk '!/^#/ { print $1 }' "$here/linux_files.txt" | sed "s|^LIBDIR/|$libdir/|" | LC_ALL=C sort)" \
  "$(cd "$prefix" && find . ! -type d -printf '%P\n' | sed -E 's|^lib/python3\.[0-9]+/|lib/python3/|' | LC_ALL=C sort)"

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

# Every file the installed README links to (by a relative path) is installed beside it.
readme=$prefix/share/doc/koravel/README.md
for link in $(grep -oE '\]\([^)#]+\)' "$readme" | sed -E 's/^\]\((.*)\)$/\1/' | grep -vE '^[a-z]+:'); do
  [ -f "$(dirname "$readme")/$link" ] || fail "the installed README links $link, which is not installed"
done

# Every command has a manual page that man renders without a warning.
for page in koravel koravel-export koravel-world; do
  warnings=$(LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -l "$prefix/share/man/man1/$page.1.gz" 2>&1 >/dev/null)
  [ -z "$warnings" ] || fail "man warns about $page.1:"$'\n'"$warnings"
done

expect_version "$version" "$prefix/bin/koravel-export"
# The installed koravel-export finds its picture module in the install's library folder.
"$prefix/bin/koravel-export" --render "$work/picture.png" >"$work/render.log" 2>&1 && [ -s "$work/picture.png" ] ||
  fail "the installed koravel-export drew no picture: $(cat "$work/render.log")"
finish
