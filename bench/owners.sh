#!/usr/bin/env bash
# Times reports with --owners against plain ones on the typical tree (one
# owner) and on the owners tree (a thousand top directories of a thousand
# owners, which only root can make), with the default threads and -j 1, in
# rotating order. See bench/README.md for the columns.
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
start_series owners-
wait_after_last_deletion
discard_leftovers
profiles=(typical owners)
for profile in "${profiles[@]}"; do ensure_tree "$profile"; done

variants=(plain owners plain-j1 owners-j1)
declare -A arguments=([plain]="" [owners]="--owners" [plain-j1]="-j 1" [owners-j1]="--owners -j 1")
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
printf '%-8s %-10s %9s %9s %9s %9s %9s\n' profile variant wall user sys 'rss MiB' 'x plain'
for profile in "${profiles[@]}"; do
    for variant in "${variants[@]}"; do
        plain=plain
        [[ "$variant" == *-j1 ]] && plain=plain-j1
        awk -v p="$profile" -v v="$variant" -v w="$(median "$profile" "$variant" 4)" \
            -v u="$(median "$profile" "$variant" 5)" -v s="$(median "$profile" "$variant" 6)" \
            -v rss="$(maximum "$profile" "$variant" 7)" -v pw="$(median "$profile" "$plain" 4)" \
            -v prss="$(maximum "$profile" "$plain" 7)" 'BEGIN {
                printf "%-8s %-10s %9.3f %9.3f %9.3f %9.1f %4.2f/%4.2f\n", p, v, w, u, s, rss / 1024, w / pw,
                    rss / prss }'
    done
done
echo "x plain: wall time / peak memory over the plain run's with the same threads"

empty_trash
find "$logs" -type f -empty -delete
