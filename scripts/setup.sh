#!/usr/bin/env bash
# Prepares a Debian machine for building and testing Velmo-Programmer: installs the Debian
# packages the build and the tests use (only those that are missing), then configures and
# builds the normal build in build/.
#   scripts/setup.sh                packages + build/
#   scripts/setup.sh --deps         packages only
#   scripts/setup.sh --test-tools   also what only the tests use (scripts/test.sh), + build/
#   scripts/setup.sh --windows      only what the Windows build and its tests under Wine use
#                                   (scripts/build-windows.sh), no build
set -euo pipefail
cd "$(dirname "$0")/.."
mode=${1:-}

packages=(
    build-essential g++ cmake ninja-build pkg-config
    qt6-base-dev qt6-base-dev-tools libgl-dev qt6-translations-l10n
    libgtest-dev libgmock-dev googletest
    libftdi1-dev
    clang libclang-rt-14-dev
    xvfb xauth x11-utils imagemagick fonts-dejavu-core openbox xdotool
    desktop-file-utils dpkg-dev file shared-mime-info
)
if [ "$mode" = "--test-tools" ]; then
    # The package check, a German locale with the C library's German texts, and groff and man
    # to read the manual pages as a user's man does.
    packages+=(lintian locales libc-l10n groff man-db)
elif [ "$mode" = "--windows" ]; then
    # MinGW-w64 with POSIX threads (the C++ library's threads need them), GoogleTest's sources
    # to build for it, and Wine to run the programs and their tests.
    packages=(cmake ninja-build googletest g++-mingw-w64-x86-64-posix wine wine64)
fi

missing=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if ((${#missing[@]})); then
    echo "setup: installing ${missing[*]}"
    sudo_cmd=()
    [ "$(id -u)" -eq 0 ] || sudo_cmd=(sudo)
    "${sudo_cmd[@]}" apt-get update -qq
    DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi

[ "$mode" = "--deps" ] || [ "$mode" = "--windows" ] && exit 0

cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build --parallel "$(nproc)"
