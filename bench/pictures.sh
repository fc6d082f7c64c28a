#!/usr/bin/env bash
# Times reports with --pictures against plain ones on the typical and huge
# trees, warm, in rotating order, and measures from the last round's
# outputs what the pictures add: the pages' growth, the treemaps' size
# beside the pages and how square their tiles come out. See
# bench/README.md for the columns.
set -euo pipefail

source "$(dirname "$0")/common.sh"

usage() {
    cat >&2 <<EOF
usage: $0 [--rounds N] [--build DIR] [--seed N] [--scale F]
$(environment_usage)
EOF
    exit 2
}

rounds=5
while [ $# -gt 0 ]; do
    common_option "$@" || usage
    shift 2
done
[[ "$rounds" =~ ^[1-9][0-9]*$ ]] || usage

prepare_build quern quern_tree_generator quern_bench_runner
require_tools "$quern" "$generator" "$runner"
start_series pictures-
wait_after_last_deletion
discard_leftovers
profiles=(typical huge)
for profile in "${profiles[@]}"; do ensure_tree "$profile"; done

variants=(plain pictures)
declare -A arguments=([plain]="" [pictures]="--pictures")
# The last round's outputs stay until the timing is over; the sizes are
# taken from them.
declare -A kept=()
for ((round = 1; round <= rounds; round++)); do
    echo "round $round of $rounds" >&2
    for profile in "${profiles[@]}"; do
        tree=$(tree_of "$profile")
        for ((k = 0; k < ${#variants[@]}; k++)); do
            variant=${variants[(k + round - 1) % ${#variants[@]}]}
            out=$data/out/$profile-$variant-$round
            sync
            # shellcheck disable=SC2086 # the arguments are words
            timed "$profile" "$variant" "$round" "$quern" ${arguments[$variant]} -o "$out" -r "$tree"
            if [ "$round" = "$rounds" ]; then
                kept[$profile-$variant]=$out
            else
                discard "$out"
            fi
        done
    done
done

bytes_of() {
    find "$1" -type f -name "$2" -printf '%s\n' | awk '{ s += $1 } END { print s + 0 }'
}

# Every tile of the treemaps (both levels) as its long side over its short
# side, sorted; a tile with a side of 0 comes out as "inf". Tiles have a
# white stroke; the blank canvas of a directory without bytes has none and
# is no tile, while a single tile may fill the whole canvas as well.
tile_ratios() {
    find "$1" -type f -name '*.svg' -print0 | xargs -0 -r cat | awk '
        function attribute(rect, name,    at) {
            if (!match(rect, " " name "=\"[0-9]+\"")) return -1
            at = substr(rect, RSTART + length(name) + 3, RLENGTH - length(name) - 4)
            return at + 0
        }
        {
            line = $0
            while (match(line, /<rect [^>]*\/>/)) {
                rect = substr(line, RSTART, RLENGTH)
                line = substr(line, RSTART + RLENGTH)
                w = attribute(rect, "width")
                h = attribute(rect, "height")
                if (w == 960 && h == 600 && rect !~ / stroke=/) continue
                if (w <= 0 || h <= 0) print "inf"
                else print (w > h ? w / h : h / w)
            }
        }' | sort -g
}

median_of_lines() {
    awk '{ v[NR] = $1 } END { if (NR == 0) print "nan"; else if (NR % 2) print v[(NR + 1) / 2]; else print (v[NR / 2] + v[NR / 2 + 1]) / 2 }'
}

declare -A html=() svg=() aspect=() tiles=() flat=()
for profile in "${profiles[@]}"; do
    for variant in "${variants[@]}"; do
        out=${kept[$profile-$variant]}
        html[$profile-$variant]=$(bytes_of "$out" '*.html')
        svg[$profile-$variant]=$(bytes_of "$out" '*.svg')
        if [ "$variant" = pictures ]; then
            ratios=$logs/$profile-tiles.txt
            tile_ratios "$out" >"$ratios"
            tiles[$profile]=$(wc -l <"$ratios")
            flat[$profile]=$(grep -c '^inf$' "$ratios" || true)
            aspect[$profile]=$(median_of_lines <"$ratios")
            rm -f "$ratios"
        fi
        discard "$out"
    done
done

echo
echo "medians of $rounds rounds, warm (seed $seed, scale $scale; raw data $results)"
printf '%-8s %-9s %9s %9s %9s %9s %7s %10s %7s %7s %7s %6s %8s\n' profile variant wall user sys 'rss MiB' \
    'x wall' 'pages MiB' 'x pages' 'svg %' tiles flat aspect
for profile in "${profiles[@]}"; do
    for variant in "${variants[@]}"; do
        awk -v p="$profile" -v v="$variant" -v w="$(median "$profile" "$variant" 4)" \
            -v u="$(median "$profile" "$variant" 5)" -v s="$(median "$profile" "$variant" 6)" \
            -v rss="$(maximum "$profile" "$variant" 7)" -v pw="$(median "$profile" plain 4)" \
            -v pages="${html[$profile-$variant]}" -v plain_pages="${html[$profile-plain]}" \
            -v svg="${svg[$profile-$variant]}" -v tiles="${tiles[$profile]:-0}" -v flat="${flat[$profile]:-0}" \
            -v aspect="${aspect[$profile]:-nan}" 'BEGIN {
                printf "%-8s %-9s %9.3f %9.3f %9.3f %9.1f %7.3f %10.1f %7.3f", p, v, w, u, s, rss / 1024,
                    w / pw, pages / 1048576, pages / plain_pages
                if (v == "plain") printf " %7s %7s %6s %8s\n", "-", "-", "-", "-"
                else printf " %7.1f %7d %6d %8.3f\n", 100 * svg / pages, tiles, flat, aspect }'
    done
done
echo "x wall: median wall over the plain run's (goal at most 1.15); pages MiB, x pages: bytes of the *.html files"
echo "  of the last round, and over the plain run's (goal at most 1.40 on typical); svg %: bytes of the *.svg"
echo "  files over those of the *.html files of the same run (goal at most 30); tiles: the treemaps' tiles of"
echo "  both levels; flat: those with a side of 0; aspect: the median of the tiles' long side over their short"
echo "  side, a flat tile counted as infinitely long"

empty_trash
find "$logs" -type f -empty -delete
