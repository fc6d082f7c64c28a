#!/usr/bin/env bash
# A report of the top of a very large file server from its listing: writes a
# seeded listing once (100 million entries by default, about 19 GB; kept in
# $QUERN_BENCH_DATA/listings while its summary exists), then times
# `quern --listing FILE --depth 3` on it and gives records per second and
# peak memory per directory beyond the directory names. Not part of CI.
set -euo pipefail

source "$(dirname "$0")/common.sh"

usage() {
    cat >&2 <<EOF
usage: $0 [--rounds N] [--build DIR] [--seed N] [--entries N] [--directories N] [--depth N]
defaults: --rounds 1 --seed 1 --entries 100000000 --directories 8000000 --depth 3
EOF
    exit 2
}

rounds=1
entries=100000000
directories=8000000
depth=3
while [ $# -gt 0 ]; do
    if common_option "$@"; then
        shift 2
        continue
    fi
    case "$1" in
        --entries) [ $# -ge 2 ] || usage; entries=$2; shift 2 ;;
        --directories) [ $# -ge 2 ] || usage; directories=$2; shift 2 ;;
        --depth) [ $# -ge 2 ] || usage; depth=$2; shift 2 ;;
        *) usage ;;
    esac
done
[[ "$rounds" =~ ^[1-9][0-9]*$ ]] || usage

prepare_build quern quern_listing_generator quern_bench_runner
listing_generator=$build/bench/quern_listing_generator
require_tools "$quern" "$listing_generator" "$runner"
start_series listing-scale-
wait_after_last_deletion
discard_leftovers

mkdir -p "$data/listings"
listing=$data/listings/server-$entries-$directories-seed$seed.listing
summary=$listing.summary
if [ ! -f "$summary" ]; then
    rm -f "$listing"
    echo "writing $listing" >&2
    "$listing_generator" --out "$listing" --entries "$entries" --directories "$directories" --seed "$seed" \
        >"$summary.partial"
    mv "$summary.partial" "$summary"
fi
records=$(summary_value "$summary" records)
dirs=$(summary_value "$summary" directories)
names=$(summary_value "$summary" directory_name_bytes)
# Untimed: the listing then comes from the page cache, as from a pipe.
cat "$listing" >/dev/null

for ((round = 1; round <= rounds; round++)); do
    out=$data/out/listing-scale-$round
    timed server quern "$round" "$quern" --listing "$listing" --depth "$depth" -r /srv/export -o "$out"
    discard "$out"
done

wall=$(median server quern 4)
rss=$(maximum server quern 7)
echo
echo "quern --listing (--depth $depth), median of $rounds rounds (raw data $results)"
awk -v r="$records" -v d="$dirs" -v n="$names" -v w="$wall" -v rss="$rss" -v bytes="$(stat -c %s "$listing")" 'BEGIN {
    printf "records %.0f, directories %.0f, listing %.1f GiB, directory names %.1f MiB\n", r, d, bytes / 2^30, n / 2^20
    printf "seconds %.2f, records per second %.2f million\n", w, r / w / 1e6
    printf "peak memory %.1f MiB, %.1f bytes per directory beyond the names\n", rss / 1024, (rss * 1024 - n) / d }'
empty_trash
find "$logs" -type f -empty -delete
