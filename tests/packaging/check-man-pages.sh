#!/usr/bin/env bash
# Checks the manual pages: groff and man read each without a warning, and the velmo-cli pages,
# English and German, have an entry for every command and option that velmo-cli's help names
# (its general help and each command's own).
#   check-man-pages.sh VELMO_CLI MAN_DIR        (MAN_DIR: packaging/man, with de/ below it)
set -uo pipefail
cli=$1 mandir=$2
failed=0
fail() {
    echo "FAIL: $*" >&2
    failed=1
}
for tool in groff man; do
    command -v "$tool" >/dev/null || { echo "FAIL: $tool is missing (scripts/test.sh installs it)" >&2; exit 1; }
done

pages=("$mandir/velmo.1" "$mandir/velmo-cli.1" "$mandir/de/velmo.1" "$mandir/de/velmo-cli.1")
for page in "${pages[@]}"; do
    [ -f "$page" ] || { fail "$page is missing"; continue; }
    out=$(groff -man -ww -z "$page" 2>&1)
    [ -z "$out" ] || fail "groff -man -ww -z $page: $out"
    # As a terminal shows it: man's own pipeline, 80 columns.
    out=$(MANWIDTH=80 man --warnings -l "$page" 2>&1 >/dev/null)
    [ -z "$out" ] || fail "man --warnings -l $page: $out"
    ! LC_ALL=C grep -qP '[^\x00-\x7F]' "$page" ||
        fail "$page holds characters beyond ASCII; write umlauts as \\(:a, \\(:o, \\(:u, \\(ss"
done

# What velmo-cli's help names: the commands listed under "Befehle:" and every option.
general=$("$cli" --help) || { echo "FAIL: $cli --help failed" >&2; exit 1; }
commands=$(awk '/^Befehle:/ { on = 1; next } on && /^$/ { exit } on && /^  [a-z]/ { print $1 }' \
    <<<"$general")
[ -n "$commands" ] || fail "no commands found under \"Befehle:\" in velmo-cli --help"
helps=$general
for command in $commands; do helps+=$'\n'$("$cli" "$command" --help); done
options=$(grep -oE '(^|[][ ,(|])--?[A-Za-z][A-Za-z0-9-]*' <<<"$helps" | sed 's/^[][ ,(|]//' |
    LC_ALL=C sort -u)

# The words of every tag line of a page: the line after each .TP, without fonts and quotes.
tags() {
    awk 'tag { print; tag = 0 } /^\.TP/ { tag = 1 }' "$1" |
        sed -e 's/\\-/-/g' -e 's/\\f[BIRP]//g' -e 's/^\.[A-Z]* *//' -e 's/"//g' |
        tr ' ,|[]' '\n\n\n\n\n' | sed '/^$/d' | LC_ALL=C sort -u
}
for page in "$mandir/velmo-cli.1" "$mandir/de/velmo-cli.1"; do
    have=$(tags "$page")
    for item in $commands $options; do
        grep -qxF -- "$item" <<<"$have" ||
            fail "$page has no entry for $item (velmo-cli --help names it); add a .TP for it"
    done
done
((failed == 0)) && echo "OK: ${#pages[@]} pages; $(wc -w <<<"$commands $options") commands and options in both velmo-cli pages"
exit $failed
