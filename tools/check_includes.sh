#!/usr/bin/env bash
# Fails when a source file includes a header from a layer above its own. Calls go downwards only:
#   host -> game code (game, bike, world, audio, frontend) -> kinetic, engine -> console
# with these limits:
#   console   includes only console
#   engine    includes engine and console
#   kinetic   includes kinetic and, of the console, only console/mem (addresses, scratchpad)
#   game code includes game code, kinetic, engine and console
#   host      includes anything but tools
#   tools     include the engine's, the game's and the console's format modules, console/mem and their own headers
# Usage: tools/check_includes.sh [repository root]   (prints every offending line, exit 1 if any)
set -euo pipefail
cd "${1:-$(dirname "$0")/..}"

# The layer a file or an include path belongs to.
layer_of_path() {
    case "$1" in
    src/console/* | console/*) echo console ;;
    src/engine/* | engine/*) echo engine ;;
    src/kinetic/* | kinetic/*) echo kinetic ;;
    src/game/* | src/bike/* | src/world/* | src/audio/* | src/race/* | src/frontend/* | src/app/*) echo game ;;
    game/* | bike/* | world/* | audio/* | race/* | frontend/* | app/*) echo game ;;
    src/host/* | host/*) echo host ;;
    tools/* | mkdisc/*) echo tools ;;
    *) echo other ;;
    esac
}

# Whether layer $1 may include the header $2.
allowed() {
    local from=$1 inc=$2 to
    to=$(layer_of_path "$inc")
    [[ $to == other ]] && return 0
    case "$from" in
    console) [[ $to == console ]] ;;
    engine) [[ $to == engine || $to == console ]] ;;
    kinetic) [[ $to == kinetic || $inc == console/mem/* ]] ;;
    game) [[ $to != host && $to != tools ]] ;;
    host) [[ $to != tools ]] ;;
    tools) [[ $to == tools || $to == engine || $to == game || $inc == console/mem/* || $inc == console/*_format.h ]] ;;
    *) return 0 ;;
    esac
}

bad=0
while IFS= read -r file; do
    from=$(layer_of_path "$file")
    while IFS=: read -r line inc; do
        if ! allowed "$from" "$inc"; then
            echo "$file:$line: $from must not include \"$inc\""
            bad=1
        fi
    done < <(awk '/^[[:space:]]*#[[:space:]]*include[[:space:]]*"/ {
        match($0, /"[^"]*"/); print FNR ":" substr($0, RSTART + 1, RLENGTH - 2) }' "$file")
done < <(git ls-files 'src/*.cpp' 'src/*.h' 'src/*.c' 'tools/*.cpp' 'tools/*.h' 'tools/*.inc')

if [[ $bad -ne 0 ]]; then
    echo "check_includes: upward includes found (see the layer rules at the top of tools/check_includes.sh)"
    exit 1
fi
echo "check_includes: ok"
