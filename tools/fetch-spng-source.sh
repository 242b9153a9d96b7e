#!/usr/bin/env bash
# Fetches Debian's source of libspng 0.7.3 (the version the Linux build links) into a cache
# folder and checks it, for the Windows build to compile. Usage: fetch-spng-source.sh CACHE_DIR
# Prints the folder holding spng/spng.c.
set -euo pipefail
exec "$(dirname "$0")/fetch-debian-source.sh" "$1" libspng 0.7.3 3 \
  a50cadbe808ffda1a7fab17d145f52a23b163f34b3eb3696c7ecb5a52340fc1d spng/spng.c spng/spng.h LICENSE
