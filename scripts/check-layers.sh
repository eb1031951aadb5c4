#!/usr/bin/env bash
# Checks that the plug-in's layers include only downwards.
#
#   scripts/check-layers.sh LAYER...     the layer folders under plugin/, floor first (CMakeLists.txt passes
#                                        its QUORVEL_LAYERS; ctest runs this as "layering")
#
# Every #include in a source, header or resource script of a layer folder must name a file
# of its own folder, the face header (DIR/DIR.h) of a folder below it, or a header that
# lives outside the tree (system headers, the generated version header). Anything else is
# reported with its file and line: an include of a higher layer, of another folder's inner
# file, or of a folder that is no layer (hostsim/, tests/). Exits 1 on any such include.
set -u
cd "$(dirname "$0")/../plugin" || exit 2
[ $# -gt 0 ] || { echo "usage: $0 LAYER... (floor first)" >&2; exit 2; }

declare -A rank
i=0
for layer in "$@"; do
    [ -d "$layer" ] || { echo "layers: no folder $layer" >&2; exit 2; }
    rank[$layer]=$i
    i=$((i + 1))
done

faults=0
crossings=0
fault() {
    echo "layers: $1"
    faults=$((faults + 1))
}

for layer in "$@"; do
    for file in "$layer"/*.cpp "$layer"/*.h "$layer"/*.rc; do
        [ -f "$file" ] || continue
        while IFS= read -r hit; do
            number=${hit%%:*}
            line=${hit#*:}
            line=${line%$'\r'}
            # The name between the quotes or the angle brackets.
            if [[ $line =~ include[[:space:]]*[\"\<]([^\"\>]+)[\"\>] ]]; then
                name=${BASH_REMATCH[1]}
            else
                fault "$file:$number: an include this check cannot read: $line"
                continue
            fi
            path=${name#../}
            if [[ $path != */* ]]; then
                # A bare name is a file of the folder itself, or one from outside the tree.
                continue
            fi
            target=${path%%/*}
            rest=${path#*/}
            if [ -z "${rank[$target]+set}" ]; then
                if [[ $name == ../* || -d $target ]]; then
                    fault "$file:$number: includes $name, from $target/, which is no layer"
                fi
                continue
            fi
            if [ "$target" = "$layer" ]; then
                continue
            fi
            crossings=$((crossings + 1))
            if [ "${rank[$target]}" -gt "${rank[$layer]}" ]; then
                fault "$file:$number: includes $name, but $target/ is above $layer/"
            elif [ "$rest" != "$target.h" ]; then
                fault "$file:$number: includes $name; a layer below is reached through $target/$target.h only"
            fi
        done < <(grep -n '^[[:space:]]*#[[:space:]]*include' "$file")
    done
done

# A pattern that stopped matching would pass every tree; the layers do include each other.
if [ "$crossings" -eq 0 ]; then
    fault "no include from one layer into another was found; the check reads nothing"
fi
if [ "$faults" -gt 0 ]; then
    echo "layers: $faults include(s) against the order $* (floor first)"
    exit 1
fi
echo "layers: $crossings includes between layers, all pointing down ($*)"
