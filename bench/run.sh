#!/usr/bin/env bash
# Times Quern against a scan floor, a write floor and du on synthetic trees.
# See bench/README.md for the columns.
set -euo pipefail

source "$(dirname "$0")/common.sh"

usage() {
    cat >&2 <<EOF
usage: $0 [--rounds N] [--build DIR] [--seed N] [--scale F] [--cold] PROFILE...
profiles: typical wide ties deep huge, or 'all' for the first four
--cold: drop the page cache before every timed run (root only)
$(environment_usage)
EOF
    exit 2
}

rounds=5
cold=0
profiles=()
while [ $# -gt 0 ]; do
    if common_option "$@"; then
        shift 2
        continue
    fi
    case "$1" in
        --cold) cold=1; shift ;;
        all) profiles+=(typical wide ties deep); shift ;;
        typical|wide|ties|deep|huge) profiles+=("$1"); shift ;;
        *) usage ;;
    esac
done
[ ${#profiles[@]} -gt 0 ] || usage
[[ "$rounds" =~ ^[1-9][0-9]*$ ]] || usage
if [ "$cold" = 1 ] && ! [ -w /proc/sys/vm/drop_caches ]; then
    echo "--cold needs root: the page cache is dropped through /proc/sys/vm/drop_caches" >&2
    exit 2
fi

prepare_build quern quern_tree_generator quern_scan_floor quern_write_floor quern_bench_runner
scan_floor=$build/bench/quern_scan_floor
require_tools "$quern" "$generator" "$scan_floor" "$write_floor" "$runner"
start_series ""
wait_after_last_deletion
discard_leftovers

# All trees exist before the first timed run.
for profile in "${profiles[@]}"; do
    ensure_tree "$profile"
done

declare -A out_files out_bytes failed
for profile in "${profiles[@]}"; do
    tree=$(tree_of "$profile")
    summary=$tree.summary

    # Untimed warm-up: the scan floor also checks that the tree is intact.
    "$scan_floor" "$tree" 2>"$logs/$profile-scan.counts" || true
    for key in directories files symlinks fifos:other file_bytes; do
        if [ "$(summary_value "$summary" "${key%:*}")" != "$(summary_value "$logs/$profile-scan.counts" "${key#*:}")" ]; then
            echo "warning: $tree does not match its summary (${key%:*}); regenerate it" >&2
        fi
    done
    warm=$data/out/$profile-quern-warm
    sync
    line=$("$runner" --stderr "$logs/$profile-quern-warm.err" -- "$quern" -o "$warm" -r "$tree")
    read -r _ _ _ _ status <<<"$line"
    if [ "$status" != 0 ] || [ ! -d "$warm" ]; then
        echo "error: quern failed on $profile (status $status, log $logs/$profile-quern-warm.err); skipping" >&2
        failed[$profile]=1
        discard "$warm"
        continue
    fi
    out_files[$profile]=$(find "$warm" -type f | wc -l)
    out_bytes[$profile]=$(find "$warm" -type f -printf '%s\n' | awk '{ s += $1 } END { printf "%.0f", s }')
    discard "$warm"
    needed=$(( ${out_bytes[$profile]} * rounds * 2 / 1024 + 1048576 ))
    available=$(df -Pk "$data" | awk 'NR == 2 { print $4 }')
    if [ "$needed" -gt "$available" ]; then
        echo "error: $profile needs about ${needed} KiB in $data, only ${available} KiB free; skipping" >&2
        failed[$profile]=1
        continue
    fi

    mode=warm
    [ "$cold" = 0 ] || mode=cold
    echo "timing $profile ($mode): $rounds rounds" >&2
    tools=(quern quern1 scan write du)
    for ((round = 1; round <= rounds; round++)); do
        for ((k = 0; k < ${#tools[@]}; k++)); do
            # Rotating the order keeps any drift from always hitting one tool.
            tool=${tools[(k + round - 1) % ${#tools[@]}]}
            out=$data/out/$profile-$tool-$round
            sync
            # Cold: nothing of the tree is cached, as for a nightly report.
            [ "$cold" = 0 ] || echo 3 >/proc/sys/vm/drop_caches
            case $tool in
                quern) timed "$profile" quern "$round" "$quern" -o "$out" -r "$tree" ;;
                quern1) timed "$profile" quern1 "$round" "$quern" -j 1 -o "$out" -r "$tree" ;;
                scan) timed "$profile" scan "$round" "$scan_floor" "$tree" ;;
                write) timed "$profile" write "$round" "$write_floor" --files "${out_files[$profile]}" \
                    --bytes "${out_bytes[$profile]}" --out "$out" ;;
                du) timed "$profile" du "$round" du -s --apparent-size "$tree" ;;
            esac
            discard "$out"
        done
    done
done

echo
echo "Medians of $rounds rounds, seconds, $mode (seed $seed, scale $scale; raw data $results)"
printf '%-8s %9s %9s %9s %9s %9s %9s %9s %11s %8s %9s %8s %9s\n' profile dirs files quern 'quern -j1' scan write du \
    'q/(s+w)' q/du 'q1/(s+w)' q1/du 'rss MiB'
for profile in "${profiles[@]}"; do
    [ -z "${failed[$profile]:-}" ] || { printf '%-8s failed, see %s\n' "$profile" "$logs"; continue; }
    summary=$(tree_of "$profile").summary
    q=$(median "$profile" quern 4); q1=$(median "$profile" quern1 4); s=$(median "$profile" scan 4)
    w=$(median "$profile" write 4); d=$(median "$profile" du 4); rss=$(maximum "$profile" quern 7)
    awk -v p="$profile" -v dirs="$(summary_value "$summary" directories)" -v files="$(summary_value "$summary" files)" \
        -v q="$q" -v q1="$q1" -v s="$s" -v w="$w" -v d="$d" -v rss="$rss" 'BEGIN {
            printf "%-8s %9.0f %9.0f %9.3f %9.3f %9.3f %9.3f %9.3f %11.2f %8.2f %9.2f %8.2f %9.1f\n",
                p, dirs, files, q, q1, s, w, d, (s + w > 0 ? q / (s + w) : 0), (d > 0 ? q / d : 0),
                (s + w > 0 ? q1 / (s + w) : 0), (d > 0 ? q1 / d : 0), rss / 1024 }'
done

echo
echo "Quern's memory per directory and its output"
printf '%-8s %10s %10s %12s %10s %12s %10s %10s %10s %8s\n' profile 'rss B/dir' 'names B' 'names B/dir' \
    'paths MiB' 'paths B/dir' 'out files' 'expected' 'out MiB' 'errlines'
for profile in "${profiles[@]}"; do
    [ -z "${failed[$profile]:-}" ] || continue
    summary=$(tree_of "$profile").summary
    errlines=$(cat "$logs/$profile"-quern-*.err | wc -l)
    awk -v p="$profile" -v dirs="$(summary_value "$summary" directories)" \
        -v names="$(summary_value "$summary" name_bytes)" -v paths="$(summary_value "$summary" path_bytes)" \
        -v parents="$(summary_value "$summary" directories_with_subdirs)" -v rss="$(maximum "$profile" quern 7)" \
        -v files="${out_files[$profile]}" -v bytes="${out_bytes[$profile]}" -v errlines="$errlines" 'BEGIN {
            printf "%-8s %10.0f %10.0f %12.1f %10.1f %12.1f %10.0f %10.0f %10.1f %8.0f\n", p, rss * 1024 / dirs, names,
                names / dirs, paths / 1048576, paths / dirs, files, 6 * parents + 3, bytes / 1048576, errlines }'
done

empty_trash
find "$logs" -type f -empty -delete
