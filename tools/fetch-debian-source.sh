#!/usr/bin/env bash
# Fetches the original source of a Debian package (the version the Linux build links) into a cache
# folder and checks its SHA-256, for the Windows build to compile. Uses a private apt configuration:
# the machine's is untouched. Prints the folder holding the unpacked source.
# Usage: fetch-debian-source.sh CACHE_DIR PACKAGE VERSION REVISION ORIG_SHA256 PATH...
#   PATH...: the parts of the source to unpack (below PACKAGE-VERSION/); the first must exist after it.
set -euo pipefail

cache=$1 package=$2 version=$3 revision=$4 origSha256=$5
shift 5
orig=${package}_${version}.orig.tar.gz
source=$cache/$package-$version

if [ -e "$source/$1" ] && [ -f "$cache/$orig" ] &&
   echo "$origSha256  $cache/$orig" | sha256sum --check --status; then
  echo "$source"
  exit 0
fi

mkdir -p "$cache"
apt=$cache/apt-$package
rm -rf "$apt" "$source"
mkdir -p "$apt/etc/sources.list.d" "$apt/lists/partial" "$apt/cache/archives/partial" "$apt/download"
echo "deb-src http://deb.debian.org/debian bookworm main" >"$apt/etc/sources.list"
options=(-o "Dir::Etc::SourceList=$apt/etc/sources.list" -o "Dir::Etc::SourceParts=$apt/etc/sources.list.d"
         -o "Dir::State::Lists=$apt/lists" -o "Dir::Cache=$apt/cache" -o Debug::NoLocking=1
         -o APT::Sandbox::User=root -qq)
apt-get "${options[@]}" update >&2
(cd "$apt/download" && apt-get "${options[@]}" source --download-only "$package=$version-$revision" >&2)

if ! echo "$origSha256  $apt/download/$orig" | sha256sum --check --status; then
  echo "fetch-debian-source: $orig does not have the expected SHA-256 $origSha256" >&2
  exit 1
fi
cp "$apt/download/$orig" "$cache/$orig"
paths=()
for path in "$@"; do paths+=("$package-$version/$path"); done
tar -xzf "$cache/$orig" -C "$cache" "${paths[@]}"
rm -rf "$apt"
echo "$source"
