#!/bin/sh
# Shared set-up of run.sh and test.sh: installs the Debian packages the program
# and its tests need (only the missing ones), then configures and builds.
# Usage: scripts/setup.sh <build-dir> <build-type>
set -eu

root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-"$root/build"}
type=${2:-Release}

packages="cmake make g++ pkg-config qtbase5-dev libmpv-dev ffmpeg libavcodec-extra yt-dlp
          grep procps xvfb xauth libgl1-mesa-dri fonts-dejavu-core dbus-daemon"

missing=""
for p in $packages; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
        missing="$missing $p"
    fi
done

if [ -n "$missing" ]; then
    echo "Installing:$missing"
    sudo=""
    if [ "$(id -u)" -ne 0 ]; then
        sudo="sudo"
    fi
    $sudo apt-get update -qq
    # shellcheck disable=SC2086
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends $missing
fi

cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE="$type" >/dev/null
cmake --build "$build" -j"$(nproc)"
