#!/usr/bin/env bash
# Fetches Debian's source of libspng 0.7.3 (the version the Linux build links) into a cache
# folder and checks it, for the Windows build to compile. Usage: fetch-spng-source.sh CACHE_DIR
# Prints the folder holding spng/spng.c. Uses a private apt configuration: the machine's is untouched.
set -euo pipefail

cache=$1
version=0.7.3
revision=3
orig=libspng_${version}.orig.tar.gz
origSha256=a50cadbe808ffda1a7fab17d145f52a23b163f34b3eb3696c7ecb5a52340fc1d
source=$cache/libspng-$version

if [ -f "$source/spng/spng.c" ] && [ -f "$cache/$orig" ] &&
   echo "$origSha256  $cache/$orig" | sha256sum --check --status; then
  echo "$source"
  exit 0
fi

mkdir -p "$cache"
apt=$cache/apt
rm -rf "$apt" "$source"
mkdir -p "$apt/etc/sources.list.d" "$apt/lists/partial" "$apt/cache/archives/partial" "$apt/download"
echo "deb-src http://deb.debian.org/debian bookworm main" >"$apt/etc/sources.list"
options=(-o "Dir::Etc::SourceList=$apt/etc/sources.list" -o "Dir::Etc::SourceParts=$apt/etc/sources.list.d"
         -o "Dir::State::Lists=$apt/lists" -o "Dir::Cache=$apt/cache" -o Debug::NoLocking=1
         -o APT::Sandbox::User=root -qq)
apt-get "${options[@]}" update >&2
(cd "$apt/download" && apt-get "${options[@]}" source --download-only "libspng=$version-$revision" >&2)

if ! echo "$origSha256  $apt/download/$orig" | sha256sum --check --status; then
  echo "fetch-spng-source: $orig does not have the expected SHA-256 $origSha256" >&2
  exit 1
fi
cp "$apt/download/$orig" "$cache/$orig"
tar -xzf "$cache/$orig" -C "$cache" "libspng-$version/spng" "libspng-$version/LICENSE"
rm -rf "$apt"
echo "$source"
