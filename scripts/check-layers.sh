#!/usr/bin/env bash
# Checks that every layer under src/ includes only what it links: each src/<layer>/CMakeLists.txt
# declares velmo_layer(<layer> DEPENDS ...), and a file of that layer may include headers of
# its own folder and of the layers it depends on, directly or through them. A layer that does
# not link Qt may include no Qt header. A file in a platform's subfolder (linux/ or posix/,
# windows/) includes no header of the other platform's subfolders: that build would not have
# it. Prints one line per offending include, naming file and line, and fails when there is any.
#   scripts/check-layers.sh [SOURCE_ROOT]     default: the repository this script lies in
set -euo pipefail
root=${1:-$(cd "$(dirname "$0")/.." && pwd)}
src="$root/src"

declare -A deps qt
layers=()
for cmake in "$src"/*/CMakeLists.txt; do
    folder=$(basename "$(dirname "$cmake")")
    # The declaration, joined into one line even where it is spread over several.
    declaration=$(tr '\n' ' ' <"$cmake" | grep -o 'velmo_layer([^)]*)' | head -n 1 || true)
    if [[ -z $declaration ]]; then
        echo "$cmake: no velmo_layer(...) declaration"
        exit 1
    fi
    read -r -a words <<<"$(sed 's/velmo_layer(//; s/)//' <<<"$declaration")"
    if [[ ${words[0]} != "$folder" ]]; then
        echo "$cmake: declares layer '${words[0]}' in folder '$folder'"
        exit 1
    fi
    layers+=("$folder")
    deps[$folder]=""
    qt[$folder]=0
    for word in "${words[@]:1}"; do
        case $word in
            DEPENDS) ;;
            Qt6::*) qt[$folder]=1 ;;
            *::*) ;;
            *) deps[$folder]+=" $word" ;;
        esac
    done
done

is_layer() {
    local candidate=$1 layer
    for layer in "${layers[@]}"; do [[ $layer == "$candidate" ]] && return 0; done
    return 1
}

# Everything a layer reaches through its links, itself included.
declare -A reach
closure() {
    local start=$1 queue=("$1") seen=" $1 " next dep
    while ((${#queue[@]})); do
        next=${queue[0]}
        queue=("${queue[@]:1}")
        for dep in ${deps[$next]:-}; do
            if ! is_layer "$dep"; then
                echo "src/$start/CMakeLists.txt: depends on unknown layer '$dep'" >&2
                return 1
            fi
            if [[ $seen != *" $dep "* ]]; then
                seen+="$dep "
                queue+=("$dep")
                [[ ${qt[$dep]} == 1 ]] && qt[$start]=1
            fi
        done
    done
    reach[$start]=$seen
}
for layer in "${layers[@]}"; do closure "$layer"; done

failures=0
for layer in "${layers[@]}"; do
    while IFS= read -r -d '' file; do
        relative=${file#"$root"/}
        # The platform subfolders this file may not reach into.
        foreign=""
        [[ $relative =~ /(linux|posix)/ ]] && foreign="windows"
        [[ $relative =~ /windows/ ]] && foreign="linux|posix"
        number=0
        while IFS= read -r line; do
            number=$((number + 1))
            if [[ $line =~ ^[[:space:]]*#[[:space:]]*include[[:space:]]*\"([^\"]+)\" ]]; then
                target=${BASH_REMATCH[1]}
                [[ $target == */* ]] || continue  # a header beside the file
                folder=${target%%/*}
                if [[ -n $foreign && $target =~ /($foreign)/ ]]; then
                    echo "$relative:$number: includes \"$target\" of another platform"
                    failures=$((failures + 1))
                elif ! is_layer "$folder"; then
                    echo "$relative:$number: includes \"$target\", which is in no layer"
                    failures=$((failures + 1))
                elif [[ ${reach[$layer]} != *" $folder "* ]]; then
                    echo "$relative:$number: layer '$layer' includes \"$target\" but does not link velmo_$folder"
                    failures=$((failures + 1))
                fi
            elif [[ ${qt[$layer]} == 0 && $line =~ ^[[:space:]]*#[[:space:]]*include[[:space:]]*\<(Q[A-Za-z]*)[/\>] ]]; then
                echo "$relative:$number: layer '$layer' links no Qt but includes <${BASH_REMATCH[1]}>"
                failures=$((failures + 1))
            fi
        done <"$file"
    done < <(find "$src/$layer" -type f \( -name '*.h' -o -name '*.cpp' \) -print0 | sort -z)
done

if ((failures)); then
    echo "check-layers: $failures include(s) reach a layer that is not linked"
    exit 1
fi
echo "check-layers: ${#layers[@]} layers, every include is linked"
