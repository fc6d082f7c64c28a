#!/usr/bin/env bash
# Times reports capped with --depth and --min-size against the uncapped
# report and du on one tree, and measures what each costs in memory above a
# run on an empty tree. See bench/README.md for the columns.
set -euo pipefail

source "$(dirname "$0")/common.sh"

usage() {
    cat >&2 <<EOF
usage: $0 [--rounds N] [--build DIR] [--seed N] [--scale F] [--share PERCENT] [PROFILE]
profile: typical, wide, ties, deep or huge (default huge)
--share: the --min-size run pages this share of the directories that get
         pages without a cap (default 1)
$(environment_usage)
EOF
    exit 2
}

rounds=3
share=1
profile=huge
while [ $# -gt 0 ]; do
    if common_option "$@"; then
        shift 2
        continue
    fi
    case "$1" in
        --share) [ $# -ge 2 ] || usage; share=$2; shift 2 ;;
        typical|wide|ties|deep|huge) profile=$1; shift ;;
        *) usage ;;
    esac
done
[[ "$rounds" =~ ^[1-9][0-9]*$ ]] || usage

prepare_build quern quern_tree_generator quern_scan_only quern_bench_runner
scan_only=$build/bench/quern_scan_only
require_tools "$quern" "$generator" "$scan_only" "$runner"
start_series caps-
wait_after_last_deletion
discard_leftovers
ensure_tree "$profile"
tree=$(tree_of "$profile")
empty=$data/trees/empty
mkdir -p "$empty"

# The size at which the wanted share of the directories gets pages; this
# untimed scan also warms the cache.
min_size=$("$scan_only" --paging "$share" "$tree" 2>/dev/null)
echo "--min-size $min_size pages ${share}% of the directories that get pages without a cap" >&2

declare -A arguments=(
    [uncapped]=""
    [uncapped-j1]="-j 1"
    [depth2]="--depth 2"
    [depth2-j1]="--depth 2 -j 1"
    [depth4]="--depth 4"
    [minsize]="--min-size $min_size"
    [minsize-j1]="--min-size $min_size -j 1"
    [empty]=""
    [empty-j1]="-j 1"
)
variants=(uncapped uncapped-j1 depth2 depth2-j1 depth4 minsize minsize-j1 empty empty-j1 du)
declare -A out_files out_bytes
for ((round = 1; round <= rounds; round++)); do
    echo "round $round of $rounds" >&2
    for ((k = 0; k < ${#variants[@]}; k++)); do
        variant=${variants[(k + round - 1) % ${#variants[@]}]}
        out=$data/out/$profile-$variant-$round
        sync
        if [ "$variant" = du ]; then
            timed "$profile" du "$round" du -s --apparent-size "$tree"
            continue
        fi
        root=$tree
        [[ "$variant" == empty* ]] && root=$empty
        # shellcheck disable=SC2086 # the arguments are words
        timed "$profile" "$variant" "$round" "$quern" ${arguments[$variant]} -o "$out" -r "$root"
        if [ "$round" = 1 ]; then
            out_files[$variant]=$(find "$out" -type f | wc -l)
            out_bytes[$variant]=$(find "$out" -type f -printf '%s\n' | awk '{ s += $1 } END { printf "%.0f", s }')
        fi
        discard "$out"
    done
done

echo
echo "$profile, medians of $rounds rounds, warm (seed $seed, scale $scale; raw data $results)"
echo "rss above: peak memory above that of the same threads on an empty tree; / uncapped: that, over the uncapped run's"
printf '%-12s %9s %7s %10s %10s %9s %11s %11s\n' variant seconds '/du' 'out files' 'out MiB' 'rss MiB' 'rss above' '/ uncapped'
du_median=$(median "$profile" du 4)
for variant in uncapped uncapped-j1 depth2 depth2-j1 depth4 minsize minsize-j1 du; do
    wall=$(median "$profile" "$variant" 4)
    if [ "$variant" = du ]; then
        printf '%-12s %9.3f %7.2f\n' du "$wall" 1
        continue
    fi
    rss=$(maximum "$profile" "$variant" 7)
    base=empty
    uncapped=uncapped
    if [[ "$variant" == *-j1 ]]; then base=empty-j1; uncapped=uncapped-j1; fi
    awk -v v="$variant" -v w="$wall" -v d="$du_median" -v f="${out_files[$variant]}" -v b="${out_bytes[$variant]}" \
        -v rss="$rss" -v base="$(maximum "$profile" "$base" 7)" -v full="$(maximum "$profile" "$uncapped" 7)" 'BEGIN {
            printf "%-12s %9.3f %7.2f %10.0f %10.1f %9.1f %11.1f %11.2f\n", v, w, w / d, f, b / 1048576,
                rss / 1024, (rss - base) / 1024, (rss - base) / (full - base) }'
done

empty_trash
find "$logs" -type f -empty -delete
