#!/usr/bin/env bash
# Fails when a source file includes a header from a layer above its own. Calls go downwards only:
#   host -> game code -> kinetic, engine -> console
# with these limits:
#   console   includes only console
#   engine    includes engine and console
#   kinetic   includes kinetic and, of the console, only console/mem (addresses, scratchpad) and the DMA
#             controller's registers and memory check (scratchpad copies)
#   game code includes kinetic, engine, console and, of the game code, its own floor and the floors below
#   host      includes anything but tools and, of the game code, only app (the game is reached through it)
#   tools     include the engine's, the game's and the console's format modules, console/mem and their own headers
# The game code is in floors, each including only itself and the floors below it:
#   game (0) -> world (1) -> bike (2) -> audio (3) -> race (4) -> frontend (5) -> app (6)
# and frontend/sm, the screen-manager library, includes only itself, the engine and the console.
# Anything the game's rules force across floors goes in EXCEPTIONS below, with its reason (none today).
# Usage: tools/check_includes.sh [repository root]   (prints every offending line, exit 1 if any)
#        tools/check_includes.sh --self-test          (plants an upward include and shows it is caught)
set -euo pipefail

# The allowed upward includes: "file included-header", then why. Each is reached through the header of
# the floor that owns what is written; a line here that no longer matches an include is reported too.
EXCEPTIONS=(
    # None: every include of the game code goes to its own floor or a floor below.
)

# The floor of a game-code path (with or without the leading src/) into REPLY: 0-6, or sm.
floor_of() {
    case "${1#src/}" in
    frontend/sm/*) REPLY=sm ;;
    game/*) REPLY=0 ;;
    world/*) REPLY=1 ;;
    bike/*) REPLY=2 ;;
    audio/*) REPLY=3 ;;
    race/*) REPLY=4 ;;
    frontend/*) REPLY=5 ;;
    app/*) REPLY=6 ;;
    *) REPLY="" ;;
    esac
}

# The layer a file or an include path belongs to, into REPLY.
layer_of_path() {
    case "${1#src/}" in
    console/*) REPLY=console ;;
    engine/*) REPLY=engine ;;
    kinetic/*) REPLY=kinetic ;;
    game/* | world/* | bike/* | audio/* | race/* | frontend/* | app/*) REPLY=game ;;
    host/*) REPLY=host ;;
    tools/* | mkdisc/*) REPLY=tools ;;
    *) REPLY=other ;;
    esac
}

# Whether file $1 may include the header $2.
allowed() {
    local file=$1 inc=$2 from to ff ft
    layer_of_path "$file"
    from=$REPLY
    layer_of_path "$inc"
    to=$REPLY
    [[ $to == other ]] && return 0
    case "$from" in
    console) [[ $to == console ]] ;;
    engine) [[ $to == engine || $to == console ]] ;;
    kinetic) [[ $to == kinetic || $inc == console/mem/* || $inc == console/dma/dma_registers.h ||
        $inc == console/dma/dma_memory.h ]] ;;
    game)
        [[ $to == host || $to == tools ]] && return 1
        [[ $to != game ]] && return 0
        floor_of "$file"
        ff=$REPLY
        floor_of "$inc"
        ft=$REPLY
        if [[ $ff == sm ]]; then
            [[ $ft == sm ]]
        elif [[ $ft == sm ]]; then
            ((ff >= 5))
        else
            ((ft <= ff))
        fi
        ;;
    host) [[ $to != tools ]] && { [[ $to != game ]] || [[ $inc == app/* ]]; } ;;
    tools) [[ $to == tools || $to == engine || $to == game || $inc == console/mem/* || $inc == console/*_format.h ]] ;;
    *) return 0 ;;
    esac
}

is_exception() {
    local e
    for e in "${EXCEPTIONS[@]}"; do
        [[ "$1 $2" == "$e" ]] && return 0
    done
    return 1
}

check_tree() {
    local bad=0 file line inc e used=" "
    # One line per quoted include of every source file: file, line and header, separated by colons.
    while IFS=: read -r file line inc; do
        if ! allowed "$file" "$inc"; then
            if is_exception "$file" "$inc"; then
                used+="$file $inc|"
            else
                echo "$file:$line: must not include \"$inc\" (a floor or layer above its own)"
                bad=1
            fi
        fi
    done < <(git ls-files -z 'src/*.cpp' 'src/*.h' 'src/*.c' 'tools/*.cpp' 'tools/*.h' 'tools/*.inc' |
        xargs -0 -r awk '/^[[:space:]]*#[[:space:]]*include[[:space:]]*"/ {
            match($0, /"[^"]*"/); print FILENAME ":" FNR ":" substr($0, RSTART + 1, RLENGTH - 2) }')
    for e in "${EXCEPTIONS[@]}"; do
        if [[ $used != *"$e|"* ]] && [[ -e ${e%% *} ]]; then
            echo "check_includes: the exception \"$e\" no longer matches an include: remove it"
            bad=1
        fi
    done
    return $bad
}

self_test() {
    local tmp rc=0
    tmp=$(mktemp -d)
    trap 'rm -rf "$tmp"' RETURN
    mkdir -p "$tmp/src/world" "$tmp/src/race" "$tmp/src/bike"
    printf '#include "game/core/qz_math.h"\n' >"$tmp/src/world/ok.cpp"
    printf '#include "world/world_model.h"\n#include "bike/kinetic_bike.h"\n' >"$tmp/src/race/ok.cpp"
    (cd "$tmp" && git init -q && git add -A)
    if ! (cd "$tmp" && check_tree >/dev/null); then
        echo "self-test: a tree with downward includes only was refused"
        rc=1
    fi
    printf '#include "race/race_game.h"\n' >"$tmp/src/bike/planted.cpp"
    (cd "$tmp" && git add -A)
    if (cd "$tmp" && check_tree); then
        echo "self-test: the planted upward include src/bike/planted.cpp -> race/race_game.h was not caught"
        rc=1
    fi
    rm "$tmp/src/bike/planted.cpp"
    mkdir -p "$tmp/src/host"
    printf '#include "app/main_loop.h"\n#include "race/race_game.h"\n' >"$tmp/src/host/planted.cpp"
    (cd "$tmp" && git add -A)
    if (cd "$tmp" && check_tree); then
        echo "self-test: the planted include src/host/planted.cpp -> race/race_game.h (past app) was not caught"
        rc=1
    fi
    [[ $rc -eq 0 ]] && echo "check_includes self-test: ok (the planted upward include and the host's include past app were caught)"
    return $rc
}

if [[ ${1:-} == --self-test ]]; then
    EXCEPTIONS=()
    self_test
    exit $?
fi

cd "${1:-$(dirname "$0")/..}"
if ! check_tree; then
    echo "check_includes: upward includes found (see the layer and floor rules at the top of tools/check_includes.sh)"
    exit 1
fi
echo "check_includes: ok"
