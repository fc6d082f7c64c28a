#!/usr/bin/env bash
# Times what summaries and comparisons cost: reports without a summary, with
# the summary beside the pages, with a full summary besides, and compared
# with a summary of the same tree, in rotating order on the same warm tree.
# See bench/README.md for the columns.
set -euo pipefail

source "$(dirname "$0")/common.sh"

usage() {
    cat >&2 <<EOF
usage: $0 [--rounds N] [--build DIR] [--seed N] [--scale F] [--variants LIST] [--scratch DIR] PROFILE...
profiles: typical, wide, ties, deep, huge
--variants: a comma-separated choice of plain, summary, full and compare
            (default all four; plain is always run)
--scratch:  write the reports into DIR, a tmpfs, and delete each one at
            once, so that neither the disk nor the series' outputs count
$(environment_usage)
EOF
    exit 2
}

rounds=10
variants=(plain summary full compare)
scratch=""
profiles=()
while [ $# -gt 0 ]; do
    if common_option "$@"; then
        shift 2
        continue
    fi
    case "$1" in
        --variants)
            [ $# -ge 2 ] || usage
            IFS=, read -r -a variants <<<"plain,${2}"
            shift 2 ;;
        --scratch) [ $# -ge 2 ] || usage; scratch=$(realpath "$2"); shift 2 ;;
        typical|wide|ties|deep|huge) profiles+=("$1"); shift ;;
        *) usage ;;
    esac
done
[[ "$rounds" =~ ^[1-9][0-9]*$ ]] || usage
[ ${#profiles[@]} -gt 0 ] || usage
declare -A chosen=()
for variant in "${variants[@]}"; do
    case "$variant" in plain|summary|full|compare) chosen[$variant]=1 ;; *) usage ;; esac
done
variants=()
for variant in plain summary full compare; do [ -z "${chosen[$variant]:-}" ] || variants+=("$variant"); done

prepare_build quern quern_tree_generator quern_bench_runner
require_tools "$quern" "$generator" "$runner"
start_series summary-
wait_after_last_deletion
discard_leftovers
mkdir -p "$data/summaries"

declare -A old_bytes summary_bytes page_bytes out_files out_bytes
for profile in "${profiles[@]}"; do
    ensure_tree "$profile"
    tree=$(tree_of "$profile")
    # Untimed: warms the cache and gives the summary every comparison reads.
    warm=$data/out/$profile-summary-warm
    "$quern" -o "$warm" -r "$tree" 2>"$logs/$profile-warm.err" ||
        echo "warning: the warm-up run on $profile failed; see $logs/$profile-warm.err" >&2
    old=$data/summaries/$profile.summary
    cp "$warm/summary.txt" "$old"
    old_bytes[$profile]=$(stat -c %s "$old")
    summary_bytes[$profile]=${old_bytes[$profile]}
    page_bytes[$profile]=$(find "$warm" -name 'd*.html' -printf '%s\n' | awk '{ s += $1 } END { printf "%.0f", s }')
    discard "$warm"

    echo "timing $profile: $rounds rounds of ${variants[*]}" >&2
    for ((round = 1; round <= rounds; round++)); do
        for ((k = 0; k < ${#variants[@]}; k++)); do
            variant=${variants[(k + round - 1) % ${#variants[@]}]}
            out=${scratch:-$data/out}/$profile-$variant-$round
            full=${scratch:-$data/out}/$profile-$variant-$round.summary
            sync
            case $variant in
                plain) timed "$profile" plain "$round" "$quern" --no-summary -o "$out" -r "$tree" ;;
                summary) timed "$profile" summary "$round" "$quern" -o "$out" -r "$tree" ;;
                full) timed "$profile" full "$round" "$quern" --summary "$full" -o "$out" -r "$tree" ;;
                compare) timed "$profile" compare "$round" "$quern" --compare "$old" -o "$out" -r "$tree" ;;
            esac
            if [ "$round" = 1 ]; then
                out_files[$profile-$variant]=$(find "$out" -type f | wc -l)
                out_bytes[$profile-$variant]=$(find "$out" -type f -printf '%s\n' | awk '{ s += $1 } END { printf "%.0f", s }')
            fi
            if [ -n "$scratch" ]; then
                rm -rf "$out" "$full"
            else
                discard "$out"
                discard "$full"
            fi
        done
    done
done

echo
echo "Medians of $rounds rounds, warm, reports written to ${scratch:-$data/out} (seed $seed, scale $scale; raw data $results)"
printf '%-8s %-8s %9s %8s %10s %10s %9s\n' profile variant seconds '/plain' 'out files' 'out MiB' 'rss MiB'
for profile in "${profiles[@]}"; do
    plain=$(median "$profile" plain 4)
    for variant in "${variants[@]}"; do
        awk -v p="$profile" -v v="$variant" -v w="$(median "$profile" "$variant" 4)" -v base="$plain" \
            -v f="${out_files[$profile-$variant]}" -v b="${out_bytes[$profile-$variant]}" \
            -v rss="$(maximum "$profile" "$variant" 7)" 'BEGIN {
                printf "%-8s %-8s %9.3f %8.3f %10.0f %10.1f %9.1f\n", p, v, w, w / base, f, b / 1048576, rss / 1024 }'
    done
done

echo
echo "The summary against the pages, and a comparison's memory above a plain run over the summary it reads"
printf '%-8s %12s %12s %9s %12s\n' profile 'summary KiB' 'pages KiB' '/pages' 'rss / old'
for profile in "${profiles[@]}"; do
    compare_rss=nan
    [ -z "${chosen[compare]:-}" ] || compare_rss=$(maximum "$profile" compare 7)
    awk -v p="$profile" -v s="${summary_bytes[$profile]}" -v pages="${page_bytes[$profile]}" \
        -v old="${old_bytes[$profile]}" -v plain="$(maximum "$profile" plain 7)" -v compare="$compare_rss" 'BEGIN {
            above = compare == "nan" ? "-" : sprintf("%.2f", (compare - plain) * 1024 / old)
            printf "%-8s %12.0f %12.0f %9.4f %12s\n", p, s / 1024, pages / 1024, s / pages, above }'
done

empty_trash
find "$logs" -type f -empty -delete
