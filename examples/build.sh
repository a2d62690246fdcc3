#!/usr/bin/env bash
# Rebuilds the example's Intel HEX file (exactly as SDCC writes it) and the binary image made
# from it. Installs Debian's sdcc package when the compiler is missing.
set -euo pipefail
cd "$(dirname "$0")"

if ! command -v sdcc >/dev/null || ! command -v makebin >/dev/null; then
    sudo_cmd=()
    [ "$(id -u)" -eq 0 ] || sudo_cmd=(sudo)
    "${sudo_cmd[@]}" apt-get update -qq
    DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends sdcc
fi

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cp blink.c "$work"/
# AT89S53: 12 KB of flash, 256 bytes of internal RAM.
(cd "$work" && sdcc -mmcs51 --code-size 12288 --iram-size 256 blink.c)
cp "$work"/blink.ihx blink.ihx
# Pack mode: the binary ends at the last byte the program occupies; gaps are 0xFF.
makebin -p blink.ihx blink.bin

size=$(stat -c %s blink.bin)
if [ "$size" -gt 12288 ]; then
    echo "build.sh: blink.bin is $size bytes, more than the AT89S53's 12288" >&2
    exit 1
fi
echo "build.sh: blink.ihx and blink.bin ($size bytes) written"
