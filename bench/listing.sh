#!/usr/bin/env bash
# Times a report built from a listing written beforehand against the least
# work it needs: the write floor for the same pages plus the time cat takes
# to read the listing. See bench/README.md for the columns.
set -euo pipefail

source "$(dirname "$0")/common.sh"

usage() {
    cat >&2 <<EOF
usage: $0 [--rounds N] [--build DIR] [--seed N] [--scale F] PROFILE...
profiles: typical wide ties deep huge
$(environment_usage)
EOF
    exit 2
}

rounds=5
profiles=()
while [ $# -gt 0 ]; do
    if common_option "$@"; then
        shift 2
        continue
    fi
    case "$1" in
        typical|wide|ties|deep|huge) profiles+=("$1"); shift ;;
        *) usage ;;
    esac
done
[ ${#profiles[@]} -gt 0 ] || usage
[[ "$rounds" =~ ^[1-9][0-9]*$ ]] || usage

prepare_build quern quern_tree_generator quern_write_floor quern_bench_runner quern_listing_only
listing_only=$build/bench/quern_listing_only
require_tools "$quern" "$generator" "$write_floor" "$runner" "$listing_only"
start_series listing-
mkdir -p "$data/listings"
wait_after_last_deletion
discard_leftovers

# Trees and their listings exist before the first timed run. A listing is
# find's, of the tree's absolute path, written once and kept beside it.
for profile in "${profiles[@]}"; do
    ensure_tree "$profile"
    tree=$(tree_of "$profile")
    listing=$data/listings/$(basename "$tree").nul
    if [ ! -f "$listing" ] || [ "$listing" -ot "$tree.summary" ]; then
        echo "listing $tree" >&2
        find "$tree" -printf '%y %s %p\0' >"$listing.part"
        mv "$listing.part" "$listing"
    fi
done

declare -A out_files out_bytes
for profile in "${profiles[@]}"; do
    tree=$(tree_of "$profile")
    listing=$data/listings/$(basename "$tree").nul
    # Untimed warm-up, which also measures the pages the write floor must match.
    cat "$listing" >/dev/null
    warm=$data/out/$profile-listing-warm
    "$quern" --listing "$listing" -o "$warm" -r "$tree" 2>"$logs/$profile-warm.err" \
        || echo "warning: the warm-up run on $profile failed; see $logs/$profile-warm.err" >&2
    out_files[$profile]=$(find "$warm" -type f | wc -l)
    out_bytes[$profile]=$(find "$warm" -type f -printf '%s\n' | awk '{ s += $1 } END { printf "%.0f", s }')
    discard "$warm"

    echo "timing $profile: $rounds rounds" >&2
    tools=(quern read write cat)
    for ((round = 1; round <= rounds; round++)); do
        for ((k = 0; k < ${#tools[@]}; k++)); do
            tool=${tools[(k + round - 1) % ${#tools[@]}]}
            out=$data/out/$profile-$tool-$round
            sync
            case $tool in
                quern) timed "$profile" quern "$round" "$quern" --listing "$listing" -o "$out" -r "$tree" ;;
                read) timed "$profile" read "$round" "$listing_only" "$listing" "$tree" ;;
                write) timed "$profile" write "$round" "$write_floor" --files "${out_files[$profile]}" \
                    --bytes "${out_bytes[$profile]}" --out "$out" ;;
                cat) timed "$profile" cat "$round" cat "$listing" ;;
            esac
            discard "$out"
        done
    done
done

echo
echo "Medians of $rounds rounds, seconds (seed $seed, scale $scale; raw data $results)"
printf '%-8s %8s %9s %9s %9s %9s %9s %9s %9s %11s\n' profile dirs files 'list MiB' quern read write cat 'q/(w+c)'
for profile in "${profiles[@]}"; do
    tree=$(tree_of "$profile")
    listing=$data/listings/$(basename "$tree").nul
    awk -v p="$profile" -v dirs="$(summary_value "$tree.summary" directories)" \
        -v files="$(summary_value "$tree.summary" files)" -v size="$(stat -c %s "$listing")" \
        -v q="$(median "$profile" quern 4)" -v r="$(median "$profile" read 4)" -v w="$(median "$profile" write 4)" \
        -v c="$(median "$profile" cat 4)" 'BEGIN {
            printf "%-8s %8.0f %9.0f %9.1f %9.3f %9.3f %9.3f %9.3f %11.2f\n",
                p, dirs, files, size / 1048576, q, r, w, c, (w + c > 0 ? q / (w + c) : 0) }'
done

echo
echo "Peak memory of the report from a listing (highest over the rounds), and its files"
printf '%-8s %9s %10s %12s %14s %10s %10s\n' profile 'rss MiB' 'rss B/dir' 'names B/dir' 'rest B/dir' \
    'out files' 'expected'
for profile in "${profiles[@]}"; do
    tree=$(tree_of "$profile")
    awk -v p="$profile" -v dirs="$(summary_value "$tree.summary" directories)" \
        -v names="$(summary_value "$tree.summary" name_bytes)" -v rss="$(maximum "$profile" quern 7)" \
        -v parents="$(summary_value "$tree.summary" directories_with_subdirs)" -v files="${out_files[$profile]}" 'BEGIN {
            printf "%-8s %9.1f %10.0f %12.1f %14.0f %10.0f %10.0f\n", p, rss / 1024, rss * 1024 / dirs, names / dirs,
                (rss * 1024 - names) / dirs, files, 6 * parents + 3 }'
done

empty_trash
find "$logs" -type f -empty -delete
