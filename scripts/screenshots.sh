#!/usr/bin/env bash
# Screenshots of the main window on a virtual X server, with a window manager so that the
# frames and captions show as a user sees them:
#   main-idle.png          interactive start on the simulated chip
#   main-programming.png   a batch run in the middle of programming
#   main-driver-failure.png  a start without a parallel port (VELMO_PORT=ppdev)
#   clock-rate.png         the "Konfiguration" dialog, opened through Extras > Taktrate
#   open-dialog.png        the Open dialog (Datei > Öffnen), Qt's own, in German
#   overwrite-question.png the question before Datei > Speichern unter... replaces a file
#   help.png, help-cable.png  the help window (F1): its start and the section on the cable
#   about-simulator.png    ? > Info on the simulator, which it names below the button
# and, from bin/velmo-dialog-shots, the About, interface and batch-call help dialogs.
#   scripts/screenshots.sh [OUTDIR]       (default docs/screenshots; build in BUILD_DIR or build/)
# Needs xvfb, x11-utils, imagemagick, xdotool and openbox (scripts/setup.sh installs them).
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
build=${BUILD_DIR:-build}
out=${1:-docs/screenshots}
velmo=$root/$build/bin/velmo
[ -x "$velmo" ] || { echo "screenshots: $velmo is missing; run scripts/setup.sh first" >&2; exit 1; }
mkdir -p "$out"
out=$(cd "$out" && pwd)

work=$(mktemp -d)
chmod 700 "$work"
pids=()
cleanup() {
    for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
    wait 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT

# A free display number.
number=90
while [ -e "/tmp/.X11-unix/X$number" ] || [ -e "/tmp/.X$number-lock" ]; do number=$((number + 1)); done
export DISPLAY=:$number
Xvfb "$DISPLAY" -screen 0 1024x768x24 -nolisten tcp >"$work/xvfb.log" 2>&1 &
pids+=($!)
for _ in $(seq 100); do xdpyinfo >/dev/null 2>&1 && break; sleep 0.1; done
if command -v openbox >/dev/null; then
    openbox >"$work/openbox.log" 2>&1 &
    pids+=($!)
    sleep 1
fi
# Each run gets its own single-instance socket folder and simulated chip.
export XDG_RUNTIME_DIR=$work
unset QT_QPA_PLATFORM
export VELMO_SIM_CHIP=$work/chip.bin

caption='^Velmo-Programmer \(AT89S53\)$'

window_of() {  # title regex -> window id, waiting up to 10 s
    local id=""
    for _ in $(seq 100); do
        id=$(xdotool search --onlyvisible --name "$1" 2>/dev/null | head -n 1 || true)
        [ -n "$id" ] && break
        sleep 0.1
    done
    [ -n "$id" ] || { echo "screenshots: no window '$1'" >&2; return 1; }
    echo "$id"
}

shot() {  # window id, file name
    import -frame -window "$1" "$out/$2"
    echo "screenshots: $out/$2"
}

start() {  # environment assignments... -- arguments...
    local env=()
    while [ "$1" != "--" ]; do env+=("$1"); shift; done
    shift
    env "${env[@]}" "$velmo" "$@" >"$work/velmo.log" 2>&1 &
    pids+=($!)
    last_pid=$!
}

stop() {
    kill "$last_pid" 2>/dev/null || true
    wait "$last_pid" 2>/dev/null || true
}

# The idle window, then the clock-rate dialog through the menu's accelerators.
start VELMO_PORT=sim VELMO_SIM_OPTIONS=clock=virtual --
main=$(window_of "$caption")
sleep 1
xdotool windowactivate --sync "$main" 2>/dev/null || true
shot "$main" main-idle.png
xdotool key --clearmodifiers alt+e
sleep 0.5
xdotool key t
dialog=$(window_of '^Konfiguration$')
sleep 0.5
shot "$dialog" clock-rate.png
xdotool key Escape
sleep 0.5

# The file dialogs and the question before a file is replaced, with Qt's German texts.
xdotool windowactivate --sync "$main" 2>/dev/null || true
xdotool key --clearmodifiers alt+d
sleep 0.5
xdotool key f
dialog=$(window_of '^Öffnen der Applikationsdatei$')
sleep 1
shot "$dialog" open-dialog.png
xdotool key Escape
sleep 0.5
printf 'old' >"$work/gelesen.bin"
xdotool windowactivate --sync "$main" 2>/dev/null || true
xdotool key --clearmodifiers alt+d
sleep 0.5
xdotool key s
dialog=$(window_of '^Speichern der Binärdatei$')
sleep 1
xdotool type --delay 20 "$work/gelesen.bin"
xdotool key Return
sleep 1
# The question carries the dialog's caption; it is the window that has the focus now.
question=$(xdotool getactivewindow)
[ "$question" != "$dialog" ] || { echo "screenshots: no overwrite question" >&2; exit 1; }
shot "$question" overwrite-question.png
xdotool key Escape
sleep 0.5
xdotool key Escape
sleep 0.5

# F1: the help window beside the main window; the second link of its contents leads to the
# cable and its diagram.
xdotool windowactivate --sync "$main" 2>/dev/null || true
xdotool key F1
help=$(window_of '^Hilfe')
xdotool windowmove "$help" 40 30
sleep 1
shot "$help" help.png
xdotool key Tab Tab Return
sleep 0.5
shot "$help" help-cable.png
xdotool key Escape
sleep 0.5

# The About box names the simulator as the way to the chip.
xdotool windowactivate --sync "$main" 2>/dev/null || true
xdotool key --clearmodifiers alt+question
sleep 0.5
xdotool key n
dialog=$(window_of '^Info über Velmo-Programmer$')
sleep 0.5
shot "$dialog" about-simulator.png
xdotool key Escape
stop

# Programming in progress: on the real-time simulator the whole chip takes about half a
# minute; a third of the way in makes a telling picture.
rm -f "$VELMO_SIM_CHIP"
start VELMO_PORT=sim VELMO_SIM_OPTIONS=clock=real -- \
    -a1 -p378 -m2 -t11.0 -f"$root/examples/blink.ihx"
main=$(window_of "$caption")
sleep 12
shot "$main" main-programming.png
stop

# No parallel port here: the driver does not start.
start VELMO_PORT=ppdev --
main=$(window_of "$caption")
sleep 1
shot "$main" main-driver-failure.png
stop

if [ -x "$root/$build/bin/velmo-dialog-shots" ]; then
    "$root/$build/bin/velmo-dialog-shots" "$out"
else
    echo "screenshots: $build/bin/velmo-dialog-shots not built; the three help dialogs are left out"
fi
