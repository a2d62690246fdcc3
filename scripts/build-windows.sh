#!/usr/bin/env bash
# Cross-builds velmo-cli.exe and velmo.exe for 64-bit Windows with MinGW-w64, without the window
# (Qt for Windows is not to be had here), with their tests, which run under Wine
# (ctest --test-dir BUILD_DIR), and the ZIP velmo-VERSION-win64.zip (cpack -G ZIP).
#   scripts/build-windows.sh [BUILD_DIR]      default: build-windows/
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build-windows}

scripts/setup.sh --windows
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DVELMO_BUILD_GUI=OFF \
    -DCMAKE_TOOLCHAIN_FILE="$PWD/cmake/mingw-w64-x86_64.cmake" >/dev/null
cmake --build "$build" --parallel "$(nproc)"
(cd "$build" && cpack -G ZIP >/dev/null)
ls "$build"/bin/velmo-cli.exe "$build"/bin/velmo.exe "$build"/velmo-*-win64.zip
