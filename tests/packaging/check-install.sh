#!/usr/bin/env bash
# Installs a finished build into a temporary prefix and makes the Debian package from it, then
# checks what lands where. Nothing is installed into the system.
#   check-install.sh CMAKE CPACK BUILD_DIR VERSION
set -euo pipefail
cmake=$1 cpack=$2 build=$3 version=$4

fail() {
    echo "FAIL: $*" >&2
    exit 1
}
for tool in desktop-file-validate dpkg-deb dpkg-shlibdeps file update-mime-database lintian; do
    command -v "$tool" >/dev/null || fail "$tool is missing (scripts/test.sh installs it)"
done

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
prefix=$work/prefix
icon_sizes=(16 22 24 32 48 64 128 256)
man_pages=(man/man1/velmo.1.gz man/man1/velmo-cli.1.gz man/de/man1/velmo.1.gz
    man/de/man1/velmo-cli.1.gz)

# Every file of an installation, relative to its prefix.
expected_files() {
    {
        printf '%s\n' bin/velmo bin/velmo-cli share/applications/velmo.desktop \
            share/doc/velmo/README.md share/doc/velmo/copyright \
            share/doc/velmo/changelog.Debian.gz share/mime/packages/velmo-ihex.xml \
            share/lintian/overrides/velmo \
            share/velmo/velmo_Programmierkabel.bmp
        for size in "${icon_sizes[@]}"; do
            echo "share/icons/hicolor/${size}x${size}/apps/velmo.png"
        done
        # --- manual pages and shell completion
        for page in "${man_pages[@]}"; do echo "share/$page"; done
        echo share/bash-completion/completions/velmo-cli
        # --- end of manual pages and shell completion
        # A build with USB support brings the udev rule of the FTDI adapters.
        if [ "$usb" = yes ]; then echo lib/udev/rules.d/60-velmo-ftdi.rules; fi
    } | LC_ALL=C sort
}

echo "== cmake --install into a temporary prefix"
out=$("$cmake" --install "$build" --prefix "$prefix" 2>&1) || fail "cmake --install: $out"
usb=no
# What the program was linked with, read whole first: with pipefail, a grep -q that stops
# reading early would fail the pipe whenever the writer is not done yet.
needed=$(readelf -d "$prefix/bin/velmo-cli")
if [[ $needed == *"NEEDED"*"[libftdi1"* ]]; then usb=yes; fi
diff -u <(expected_files) <(cd "$prefix" && find . \( -type f -o -type l \) -printf '%P\n' |
    LC_ALL=C sort) || fail "the installed files differ from the expected list (+ found, - missing)"
for program in velmo velmo-cli; do
    [ -x "$prefix/bin/$program" ] || fail "bin/$program is not executable"
done
for size in "${icon_sizes[@]}"; do
    icon=$prefix/share/icons/hicolor/${size}x${size}/apps/velmo.png
    file -b "$icon" | grep -q "^PNG image data, $size x $size," ||
        fail "$icon: $(file -b "$icon")"
done
file -b "$prefix/share/velmo/velmo_Programmierkabel.bmp" | grep -q "^PC bitmap" ||
    fail "the cable diagram is no bitmap"
shown=$("$prefix/bin/velmo-cli" --version)
[[ $shown == "velmo-cli $version "* ]] || fail "velmo-cli --version says '$shown', not $version"

echo "== the menu entry"
entry=$prefix/share/applications/velmo.desktop
report=$(desktop-file-validate "$entry" 2>&1) || fail "desktop-file-validate: $report"
[ -z "$report" ] || fail "desktop-file-validate: $report"
# A file handed over by the file manager would start a batch run; the entry takes none.
grep -qx 'Exec=velmo' "$entry" || fail "Exec is not plain 'velmo': $(grep '^Exec=' "$entry")"
grep -qx 'Icon=velmo' "$entry" || fail "Icon is not velmo"

echo "== the file type of Intel HEX files"
mkdir -p "$work/mime"
cp -r "$prefix/share/mime/packages" "$work/mime/"
XDG_DATA_DIRS=$work update-mime-database "$work/mime" || fail "update-mime-database refuses velmo-ihex.xml"
for glob in '*.hex' '*.ihx'; do
    grep -qF ":text/x-ihex:$glob" "$work/mime/globs2" || fail "$glob is not text/x-ihex"
done

# --- manual pages and shell completion
echo "== the manual pages and the bash completion"
command -v man >/dev/null || fail "man is missing (scripts/test.sh installs it)"
for page in "${man_pages[@]}"; do
    path=$prefix/share/$page
    out=$(MANWIDTH=80 man --warnings -l "$path" 2>&1 >/dev/null) || fail "man -l $page failed: $out"
    [ -z "$out" ] || fail "man --warnings -l $page: $out"
done
# The German pages show the German section names and umlauts, the English ones the English.
# (Read whole first: a grep -q that stops early would fail the pipe under pipefail.)
german=$(MANWIDTH=80 LC_ALL=C.UTF-8 man -l "$prefix/share/man/de/man1/velmo-cli.1.gz" 2>/dev/null)
grep -q '^RÜCKGABEWERT' <<<"$german" || fail "de/man1/velmo-cli.1.gz does not read as German"
english=$(MANWIDTH=80 man -l "$prefix/share/man/man1/velmo-cli.1.gz" 2>/dev/null)
grep -q '^EXIT STATUS' <<<"$english" || fail "man1/velmo-cli.1.gz does not read as English"
# As bash-completion loads it: by itself, for the command named like the file.
registered=$(bash --norc -c 'source "$1" && complete -p velmo-cli' check \
    "$prefix/share/bash-completion/completions/velmo-cli" 2>&1) ||
    fail "the bash completion does not load: $registered"
[[ $registered == *"-F _velmo_cli velmo-cli" ]] || fail "the completion registers '$registered'"
# --- end of manual pages and shell completion

echo "== the Debian package"
out=$("$cpack" --config "$build/CPackConfig.cmake" -G DEB -B "$work/package" 2>&1) ||
    fail "cpack: $out"
deb=$work/package/velmo_${version}-1_$(dpkg --print-architecture).deb
[ -f "$deb" ] || fail "no package $(basename "$deb"): $(ls "$work/package")"
field() { dpkg-deb -f "$deb" "$1"; }
[ "$(field Package)" = velmo ] || fail "Package: $(field Package)"
[ "$(field Version)" = "$version-1" ] || fail "Version: $(field Version)"
[ -n "$(field Maintainer)" ] || fail "no Maintainer"
[ "$(field Description | wc -l)" -gt 1 ] || fail "no long description"
depends=$(field Depends)
runtime=(qt6-qpa-plugins qt6-translations-l10n libqt6widgets6 libc6)
[ "$usb" = yes ] && runtime+=(libftdi1-2)
for package in "${runtime[@]}"; do
    [[ ", $depends," == *", $package"[\ ,]* ]] || fail "Depends lacks $package: $depends"
done
[ "$(field Recommends)" = xdg-utils ] || fail "Recommends: $(field Recommends)"
controls=$(dpkg-deb --ctrl-tarfile "$deb" | tar -t | LC_ALL=C sort | tr '\n' ' ')
[ "$controls" = "./control ./md5sums " ] || fail "unexpected control files: $controls"
dpkg-deb -c "$deb"
diff -u <(expected_files | sed 's|^|usr/|') <(dpkg-deb -c "$deb" | grep -v '^d' |
    sed 's|.* \./||' | LC_ALL=C sort) || fail "the package's files differ from the expected list"
dpkg-deb -x "$deb" "$work/unpacked"
for program in velmo velmo-cli; do
    file -b "$work/unpacked/usr/bin/$program" | grep -q ', stripped' ||
        fail "usr/bin/$program still carries its symbols"
done

echo "== lintian"
# Every error and warning fails the package, except a German word (Programm) taken for a
# misspelt English one; so do programs built without hardening or with the compiler's notes.
report=$(lintian --pedantic -I "$deb" 2>&1 | grep -v '^running with root privileges' || true)
echo "$report"
problems=$(grep -E '^[EW]: | hardening-| binary-has-unneeded-section' <<<"$report" |
    grep -v ' spelling-error-in-' || true)
[ -z "$problems" ] || fail "lintian: $problems"
echo "OK: $(basename "$deb")"
