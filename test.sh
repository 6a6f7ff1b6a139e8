#!/bin/sh
# Installs what is missing, builds, and runs the whole test suite through CTest.
set -eu
root=$(cd "$(dirname "$0")" && pwd)
"$root/scripts/setup.sh" "$root/build" Release
cd "$root/build"
ctest --output-on-failure --timeout 600 "$@"
