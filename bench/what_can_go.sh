#!/usr/bin/env bash
# Times reports with --age, --largest 10 and --allocated against plain ones
# on the typical and huge trees, warm, in rotating order, and sets the
# extra peak memory against what the options may take: --age at most 256
# bytes per directory with pages, --largest N at most N times (48 bytes and
# the path's length) per directory with pages. See bench/README.md for the
# columns.
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
start_series what-can-go-
wait_after_last_deletion
discard_leftovers
profiles=(typical huge)
for profile in "${profiles[@]}"; do ensure_tree "$profile"; done

variants=(plain age largest10 allocated)
declare -A arguments=([plain]="" [age]="--age" [largest10]="--largest 10" [allocated]="--allocated")
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
            discard "$out"
        done
    done
done

echo
echo "medians of $rounds rounds, warm (seed $seed, scale $scale; raw data $results)"
printf '%-8s %-10s %9s %9s %9s %9s %7s %7s %12s\n' profile variant wall user sys 'rss MiB' 'x wall' 'x rss' \
    'B/dir pages'
for profile in "${profiles[@]}"; do
    summary=$(tree_of "$profile").summary
    # The root and every directory with subdirectories have pages.
    with_pages=$(($(summary_value "$summary" directories_with_subdirs) + 1))
    for variant in "${variants[@]}"; do
        awk -v p="$profile" -v v="$variant" -v w="$(median "$profile" "$variant" 4)" \
            -v u="$(median "$profile" "$variant" 5)" -v s="$(median "$profile" "$variant" 6)" \
            -v rss="$(maximum "$profile" "$variant" 7)" -v pw="$(median "$profile" plain 4)" \
            -v prss="$(maximum "$profile" plain 7)" -v pages="$with_pages" 'BEGIN {
                printf "%-8s %-10s %9.3f %9.3f %9.3f %9.1f %7.3f %7.3f %12.1f\n", p, v, w, u, s, rss / 1024,
                    w / pw, rss / prss, (rss - prss) * 1024 / pages }'
    done
done
echo "x wall, x rss: over the plain run's; B/dir pages: extra peak memory per directory with pages"

empty_trash
find "$logs" -type f -empty -delete
