#!/usr/bin/env bash
# Runs the layer check on small made-up trees: each bad one must fail and name the file and
# line of the offending include; the good one must pass.
set -euo pipefail
check=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

tree() {  # tree NAME: a fresh tree with three layers, low <- mid <- top, top on Qt
    local root=$work/$1
    mkdir -p "$root/src/low" "$root/src/mid" "$root/src/top" "$root/src/side"
    echo 'velmo_layer(low)' >"$root/src/low/CMakeLists.txt"
    printf 'velmo_layer(mid\n    DEPENDS low)\n' >"$root/src/mid/CMakeLists.txt"
    echo 'velmo_layer(top DEPENDS mid Qt6::Widgets)' >"$root/src/top/CMakeLists.txt"
    echo 'velmo_layer(side DEPENDS low)' >"$root/src/side/CMakeLists.txt"
    printf '#pragma once\n' >"$root/src/low/Low.h"
    printf '#include "low/Low.h"\n' >"$root/src/mid/Mid.h"
    printf '#include <QWidget>\n#include "low/Low.h"\n#include "mid/Mid.h"\n' >"$root/src/top/Top.cpp"
    printf '#include "low/Low.h"\n' >"$root/src/side/Side.cpp"
    echo "$root"
}
expect_fail() {  # expect_fail ROOT PATTERN
    local out
    if out=$("$check" "$1" 2>&1); then
        echo "FAIL: passed, expected: $2"; exit 1
    fi
    grep -q -- "$2" <<<"$out" || { echo "FAIL: expected '$2' in:"; echo "$out"; exit 1; }
}

good=$(tree good)
"$check" "$good" >/dev/null || { echo "FAIL: a clean tree was refused"; "$check" "$good"; exit 1; }

up=$(tree up)
printf '#include "mid/Mid.h"\n' >>"$up/src/low/Low.h"
expect_fail "$up" 'src/low/Low.h:2: .*"mid/Mid.h"'

beside=$(tree beside)
printf '\n#include "side/Side.h"\n' >"$beside/src/mid/Extra.cpp"
expect_fail "$beside" "src/mid/Extra.cpp:2: layer 'mid' includes \"side/Side.h\""

nowhere=$(tree nowhere)
printf '#include "common/Thing.h"\n' >"$nowhere/src/mid/Mid.cpp"
expect_fail "$nowhere" 'src/mid/Mid.cpp:1: includes "common/Thing.h", which is in no layer'

qt=$(tree qt)
mkdir -p "$qt/src/mid/deep"
printf '#include <QString>\n' >"$qt/src/mid/deep/Text.h"
expect_fail "$qt" "src/mid/deep/Text.h:1: layer 'mid' links no Qt but includes <QString>"

platform=$(tree platform)
mkdir -p "$platform/src/low/windows" "$platform/src/mid/linux"
printf '#pragma once\n' >"$platform/src/low/windows/Wide.h"
printf '#include "low/Low.h"\n#include "low/windows/Wide.h"\n' >"$platform/src/mid/linux/Port.cpp"
expect_fail "$platform" 'src/mid/linux/Port.cpp:2: includes "low/windows/Wide.h" of another platform'

echo "layer check: every case as expected"
