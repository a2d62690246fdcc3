#!/usr/bin/env bash
# The programmer's main job, start to end, on the simulated AT89S53: sets up the machine
# (scripts/setup.sh), then programs the example blinker through the batch call
#   velmo -a1 -p378 -m2 -t11.0 -fexamples/blink.ihx
# in a window when a display exists and without one otherwise, and checks that the chip
# holds exactly the example. Ends with the batch run's exit status.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD

scripts/setup.sh

example=$root/examples/blink.ihx
binary=$root/examples/blink.bin
demo=$root/build/demo
chip=$demo/chip.bin
mkdir -p "$demo"
rm -f "$chip"

export VELMO_PORT=sim
export VELMO_SIM_OPTIONS=${VELMO_SIM_OPTIONS:-clock=virtual}
export VELMO_SIM_CHIP=$chip
if [ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ]; then where="in a window"; else where="without a display"; fi

echo
echo "== demo: programming $(basename "$example") into the simulated AT89S53 ($where)"
echo "   VELMO_PORT=$VELMO_PORT VELMO_SIM_OPTIONS=$VELMO_SIM_OPTIONS VELMO_SIM_CHIP=${chip#"$root"/}"
echo "   build/bin/velmo -a1 -p378 -m2 -t11.0 -f${example#"$root"/}"
# Qt wants a private runtime folder; give it one when the session has none.
if [ -z "${XDG_RUNTIME_DIR:-}" ]; then
    export XDG_RUNTIME_DIR=$demo/runtime
    mkdir -p "$XDG_RUNTIME_DIR"
    chmod 700 "$XDG_RUNTIME_DIR"
fi
status=0
build/bin/velmo -a1 -p378 -m2 -t11.0 -f"$example" 2>"$demo/velmo.log" || status=$?
# Progress lines are many; the status texts and messages tell the story.
grep -v '^Fortschritt: ' "$demo/velmo.log" | sed 's/^/   | /' || true
echo "   exit status of the batch run: $status"

# The chip holds all 12288 bytes; what the example does not fill stays erased (0xFF).
expected=$demo/expected.bin
size=$(stat -c %s "$binary")
{ cat "$binary"; head -c $((12288 - size)) /dev/zero | tr '\0' '\377'; } > "$expected"
if [ -f "$chip" ] && cmp -s "$chip" "$expected"; then
    echo "== demo: the chip holds exactly the example ($size bytes of program, the rest erased)"
else
    echo "== demo: the chip does NOT hold the example"
    [ "$status" -ne 0 ] || status=1
fi
exit "$status"
