#!/usr/bin/env bash
# Runs velmo-cli's bash completion on partial command lines, as bash does on Tab, in a folder
# with a few files, and compares what it offers.
#   check-completion.sh COMPLETION_FILE
set -uo pipefail
completion=$(realpath "$1")
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work" || exit 1
touch blink.hex BOOT.IHX image.bin notes.txt lines.vcd
mkdir -p sub out

# The words of the command line, the last one being completed (| separates, = is a word of
# its own as bash splits it), and what must be offered, sorted.
cases=(
    "velmo-cli|                         => erase info lock program read verify"
    "velmo-cli|pro                      => program"
    "velmo-cli|--                       => --chip --clock --help --memory --mode --port --report --sockets --trace --version"
    "velmo-cli|program|--               => --all --changed-only --chip --clock --help --memory --mode --port --report --skip-blank --sockets --trace --version"
    "velmo-cli|--sockets|8|--mode|raw|r => read"
    "velmo-cli|--mode|                  => board raw"
    "velmo-cli|--port|                  => 278 378 3BC ftdi gpio"
    "velmo-cli|--port|f                 => ftdi"
    "velmo-cli|--port|ftdi|:|A1|--mode|raw|v => verify"
    "velmo-cli|--port|=|g               => gpio"
    "velmo-cli|--port|gpio|--mode|raw|v => verify"
    "velmo-cli|program|                 => BOOT.IHX blink.hex image.bin out sub"
    "velmo-cli|--all|program|b          => blink.hex"
    "velmo-cli|verify|n                 => notes.txt"
    "velmo-cli|info|blink.hex|          => "
    "velmo-cli|read|                    => BOOT.IHX blink.hex image.bin lines.vcd notes.txt out sub"
    "velmo-cli|--trace|                 => lines.vcd out sub"
    "velmo-cli|lock|                    => 1 1,2 1,2,3"
    "velmo-cli|--clock|=|11             => 11.0592"
    "velmo-cli|--chip|at89s8            => at89s8252 at89s8253"
    "velmo-cli|--chip|at89s52|--memory| => eeprom flash"
    "velmo-cli|--memory|=|eeprom|v      => verify"
)

failed=0
for case in "${cases[@]}"; do
    line=${case%%=>*}
    line=${line%"${line##*[![:space:]]}"}
    expected=${case#*=> }
    offered=$(bash --norc --noprofile -c '
        source "$1"
        IFS="|" read -r -a COMP_WORDS <<<"$2"
        [[ $2 == *"|" ]] && COMP_WORDS+=("")
        COMP_CWORD=$((${#COMP_WORDS[@]} - 1))
        _velmo_cli
        printf "%s\n" "${COMPREPLY[@]}" | LC_ALL=C sort | tr "\n" " "
    ' check "$completion" "$line")
    offered=${offered% }
    if [[ $offered != "$expected" ]]; then
        echo "FAIL: ${line//|/ }<Tab> offers \"$offered\", expected \"$expected\"" >&2
        failed=1
    fi
done
((failed == 0)) && echo "OK: ${#cases[@]} command lines"
exit $failed
