#!/bin/sh
# Installs what is missing, builds a release build and starts Reelway Video Converter.
set -eu
root=$(cd "$(dirname "$0")" && pwd)
"$root/scripts/setup.sh" "$root/build" Release
exec "$root/build/bin/reelway" "$@"
