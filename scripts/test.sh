#!/usr/bin/env bash
# Sets up the machine and runs every test: the normal build, the same tests under
# AddressSanitizer and UndefinedBehaviorSanitizer, a short run of every fuzz target, and the
# Windows build with its tests under Wine.
set -euo pipefail
cd "$(dirname "$0")/.."
jobs=$(nproc)

scripts/setup.sh --test-tools
# The German locale, for the test that reads the system's reasons in German.
if ! locale -a 2>/dev/null | grep -qix 'de_DE.utf-\?8'; then
    sudo_cmd=()
    [ "$(id -u)" -eq 0 ] || sudo_cmd=(sudo)
    "${sudo_cmd[@]}" localedef -i de_DE -c -f UTF-8 -A /usr/share/locale/locale.alias de_DE.UTF-8
fi

echo "== layers"
scripts/check-layers.sh

echo "== tests (build/)"
ctest --test-dir build --output-on-failure --parallel "$jobs" --timeout 600

echo "== tests under ASan and UBSan (build-asan/)"
cmake -S . -B build-asan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DVELMO_SANITIZE=ON >/dev/null
cmake --build build-asan --parallel "$jobs"
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 \
LSAN_OPTIONS="suppressions=$PWD/scripts/lsan.supp:print_suppressions=0" \
UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
    ctest --test-dir build-asan --output-on-failure --parallel "$jobs" --timeout 900

echo "== fuzz targets, a short run each (build-fuzz/)"
CXX=clang++ cmake -S . -B build-fuzz -G Ninja -DCMAKE_BUILD_TYPE=Debug -DVELMO_BUILD_FUZZ=ON \
    -DVELMO_BUILD_GUI=OFF >/dev/null
cmake --build build-fuzz --parallel "$jobs" --target fuzz_all
scripts/run-fuzz.sh build-fuzz 10

echo "== Windows: cross-built with MinGW-w64, tests under Wine (build-windows/)"
scripts/build-windows.sh build-windows
ctest --test-dir build-windows --output-on-failure --parallel "$jobs" --timeout 600
