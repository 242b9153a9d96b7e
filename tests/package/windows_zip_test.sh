#!/usr/bin/env bash
# Packs the built Windows tree into its zip, unpacks it into a fresh folder and checks the
# files, the DLLs the programs import, their resources, and that the export tool runs there.
# Usage: windows_zip_test.sh BUILD_DIR WORK_DIR VERSION (Wine's prefix comes from WINEPREFIX)
set -u
build=$1 work=$2 version=$3
here=$(cd "$(dirname "$0")" && pwd)
. "$here/package_checks.sh"

name=koravel-$version-win64
pack ZIP "$build" "$work" "$name.zip"
mkdir -p "$work/unpacked"
(cd "$work/unpacked" && cmake -E tar xf "../$name.zip") || fail "the zip does not unpack"
folder=$work/unpacked/$name
expect_same_lines "the zip's files" \
  "$(printf '%s\n' LICENSE.txt README.txt include/koravel/koravel.h koravel-export.exe koravel.dll koravel.exe lib/koravel.lib)" \
  "$(cd "$work/unpacked" && find . -type f -printf '%P\n' | LC_ALL=C sort | sed "s|^$name/||")"

# Only DLLs that every Windows has (the runtimes are linked into the programs), and the version
# information Explorer shows, read back with windres.
system_dlls='^(kernel32|user32|gdi32|opengl32|winmm|msvcrt|advapi32|shell32|ole32|comctl32|comdlg32|ws2_32|shlwapi|api-ms-win-.*)\.dll$'
IFS=. read -r major minor patch <<<"$version"
for program in koravel koravel-export; do
  for dll in $(x86_64-w64-mingw32-objdump -p "$folder/$program.exe" | sed -n 's/^[[:space:]]*DLL Name: //p'); do
    grep -qiE "$system_dlls" <<<"$dll" || fail "$program.exe imports $dll, which Windows does not have"
  done
  resources=$(x86_64-w64-mingw32-windres -J coff -i "$folder/$program.exe" -O rc 2>&1)
  for line in "FILEVERSION $major, $minor, $patch, 0" "VALUE \"FileVersion\", \"$version\"" \
              "VALUE \"ProductVersion\", \"$version\"" "VALUE \"OriginalFilename\", \"$program.exe\""; do
    grep -qF -- "$line" <<<"$resources" || fail "$program.exe's version information lacks '$line'"
  done
  [ "$program" = koravel ] && viewer_resources=$resources
done

# The viewer carries its icon as resource 1, which Explorer shows and its window class loads.
grep -qE '^1 14 /\* RT_GROUP_ICON \*/' <<<"$viewer_resources" || fail "koravel.exe holds no icon 1"

# The C library: system DLLs only, and the C interface's functions exported, its import library naming them.
for dll in $(x86_64-w64-mingw32-objdump -p "$folder/koravel.dll" | sed -n 's/^[[:space:]]*DLL Name: //p'); do
  grep -qiE "$system_dlls" <<<"$dll" || fail "koravel.dll imports $dll, which Windows does not have"
done
exports=$(x86_64-w64-mingw32-objdump -p "$folder/koravel.dll" | sed -n '/\[Ordinal\/Name Pointer\] Table/,/^$/p' |
  sed -n 's/^[[:space:]]*\[ *[0-9]*\] //p' | LC_ALL=C sort)
expected=$(grep -oE '^KORAVEL_API [^(]*\(' "$here/../../include/koravel/koravel.h" | grep -oE 'koravel_[a-z_]+\($' |
  tr -d '(' | LC_ALL=C sort)
expect_same_lines "koravel.dll's exports" "$expected" "$exports"
x86_64-w64-mingw32-nm "$folder/lib/koravel.lib" | grep -q ' T koravel_generate$' ||
  fail "lib/koravel.lib does not import koravel_generate"

cd "$folder" && expect_version "$version" wine ./koravel-export.exe

# README.txt is for Windows users: Windows' line ends, no Linux build steps, and every option
# koravel-export.exe --help names.
readme=README.txt
[ "$(grep -c $'\r$' "$readme")" -eq "$(wc -l <"$readme")" ] || fail "README.txt has lines without CR LF"
grep -nE 'tools/|apt-get|sudo|cmake' "$readme" && fail "README.txt speaks of building on Linux"
grep -q "Koravel $version" "$readme" || fail "README.txt does not name version $version"
for option in $(wine ./koravel-export.exe --help 2>&1 | grep -oE -- '--[a-z][a-z0-9-]*' | LC_ALL=C sort -u); do
  grep -q -- "$option\b" "$readme" || fail "README.txt does not describe $option"
done
finish
