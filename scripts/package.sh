#!/usr/bin/env bash
# Builds the Debian package of Velmo-Programmer from a Release build with the window in
# build-release/ and leaves it there as velmo_<version>-1_<arch>.deb:
#   scripts/package.sh
#   sudo apt-get install ./build-release/velmo_*.deb
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/setup.sh --deps
cmake -S . -B build-release -G Ninja -DCMAKE_BUILD_TYPE=Release -DVELMO_BUILD_GUI=ON >/dev/null
# Only what the package holds; the tests and benchmarks run in build/.
cmake --build build-release --parallel "$(nproc)" \
    --target velmo velmo-cli velmo_cable_diagram velmo_app_icons velmo_package_docs
rm -f build-release/velmo_*.deb
(cd build-release && cpack -G DEB)
deb=$(ls build-release/velmo_*.deb)
echo "package: $deb"
echo "install: sudo apt-get install ./$deb"
