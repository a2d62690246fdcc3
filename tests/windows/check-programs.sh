#!/usr/bin/env bash
# velmo-cli.exe and velmo.exe as processes under Wine, each copied into a folder of its own:
# on the simulator, without inpoutx64.dll, and on a stand-in for it whose driver is closed or
# open. Checks exit statuses, the German texts on standard error (umlauts included), names
# with umlauts and blanks, and that the simulated chip holds the example afterwards.
#   check-programs.sh WINE64 BIN_DIR FAKE_DLL SOURCE_DIR WORK_DIR
set -uo pipefail
wine=$1 bin=$2 fake_dll=$3 source=$4 work=$5

failures=0
fail() {
    echo "FAILED: $*"
    failures=$((failures + 1))
}

# The same path as Windows sees it: Wine's drive Z: is the root of the Unix tree.
windows_path() {
    local path=$1
    echo "Z:${path//\//\\}"
}

# Runs a program under Wine; its exit status in $status, standard error in $err.
run() {
    local out
    out=$(mktemp)
    # Wine hands the arguments to Windows in the character set of the Unix locale.
    LC_ALL=C.UTF-8 "$wine" "$@" 2>"$out" >/dev/null
    status=$?
    err=$(cat "$out")
    rm -f "$out"
}

expect() {
    local what=$1 wanted=$2
    shift 2
    [ "$status" -eq "$wanted" ] || fail "$what: status $status, wanted $wanted; $err"
    local part
    for part in "$@"; do
        [[ $err == *"$part"* ]] || fail "$what: standard error lacks \"$part\": $err"
    done
}

# The whole chip as the example leaves it: its bytes, the rest erased.
expected=$work/expected.bin
holds_example() {
    local what=$1 chip=$2
    cmp -s "$chip" "$expected" || fail "$what: $chip does not hold the example"
}

rm -rf "$work"
mkdir -p "$work/alone" "$work/with-dll" "$work/Mein Ordner"
size=$(stat -c %s "$source/examples/blink.bin")
{ cat "$source/examples/blink.bin"; head -c $((12288 - size)) /dev/zero | tr '\0' '\377'; } >"$expected"
cp "$source/examples/blink.ihx" "$work/Prüfung.hex"
cp "$source/examples/blink.ihx" "$work/Mein Ordner/blink.ihx"
# Each program alone in its folder: nothing of MinGW's runtime beside it.
for folder in alone with-dll; do
    cp "$bin/velmo-cli.exe" "$bin/velmo.exe" "$work/$folder/"
done
cp "$fake_dll" "$work/with-dll/inpoutx64.dll"
cli=$work/alone/velmo-cli.exe
batch=$work/alone/velmo.exe
example=$(windows_path "$work/Mein Ordner/blink.ihx")
umlaut=$(windows_path "$work/Prüfung.hex")

export VELMO_SIM_OPTIONS=clock=virtual
unset VELMO_TRACE VELMO_FAKE_INPOUT VELMO_FAKE_INPOUT_CHIP

# --- alone, on the simulator -------------------------------------------------------------
export VELMO_PORT=sim
run "$cli" --version
expect "velmo-cli --version" 0
run "$batch"
expect "velmo without a batch call" 1 "Windows-Build" "velmo-cli.exe"

export VELMO_SIM_CHIP
VELMO_SIM_CHIP=$(windows_path "$work/chip-cli.bin")
run "$cli" --mode raw program "$umlaut"
expect "velmo-cli program Prüfung.hex" 0 "Löschen"
holds_example "velmo-cli program" "$work/chip-cli.bin"

# The file runs to the end of the line, blanks included: Wine joins the two words with one.
VELMO_SIM_CHIP=$(windows_path "$work/chip-batch.bin")
run "$batch" -a1 -p378 -m2 -t11.0 "-f${example% *}" "${example##* }"
expect "velmo batch call" 0 "Status: Lösche Flash.." "Status: Datei erfolgreich programmiert!"
holds_example "velmo batch call" "$work/chip-batch.bin"
run "$batch" -a1 -p378 -m2 -t11.0 "-f$(windows_path "$work/fehlt.hex")"
expect "velmo with a missing file" 1 "velmo: Datei nicht gefunden!"

# --- without inpoutx64.dll -----------------------------------------------------------------
export VELMO_PORT=auto
run "$cli" --mode raw erase
expect "velmo-cli without the DLL" 1 "inpoutx64.dll wurde nicht gefunden" "alone"
run "$batch" -a1 -p378 -m2 -t11.0 "-f$umlaut"
expect "velmo without the DLL" 1 \
    "Status: Fehler beim Starten von DriverLinx I/O! inpoutx64.dll wurde nicht gefunden"

# --- on the stand-in for inpoutx64.dll -----------------------------------------------------
cli=$work/with-dll/velmo-cli.exe
batch=$work/with-dll/velmo.exe
VELMO_FAKE_INPOUT=closed run "$cli" --mode raw erase
expect "velmo-cli with the driver closed" 1 "Treiber ist nicht geöffnet" "Administrator"
export VELMO_FAKE_INPOUT_CHIP
VELMO_FAKE_INPOUT_CHIP=$(windows_path "$work/chip-port.bin")
run "$cli" --mode raw --clock 24 program "$umlaut"
expect "velmo-cli program through the DLL" 0
holds_example "velmo-cli through the DLL" "$work/chip-port.bin"
run "$batch" -a2 -p378 -m2 -t11.0 "-f$umlaut"
expect "velmo through the DLL" 0 "Status: DriverLinx I/O erfolgreich gestartet!"

if ((failures)); then
    echo "check-programs: $failures check(s) failed"
    exit 1
fi
echo "check-programs: every check passed"
