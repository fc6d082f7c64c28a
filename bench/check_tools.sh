#!/usr/bin/env bash
# Checks the benchmark tools against find and du on small generated trees.
# usage: bench/check_tools.sh BUILD_DIR
set -euo pipefail

[ $# -eq 1 ] || { echo "usage: $0 BUILD_DIR" >&2; exit 2; }
tools=$(realpath "$1")/bench
work=$(mktemp -d /tmp/quern-bench-check.XXXXXX)
trap 'rm -rf "$work"' EXIT
passed=0
failed=0

expect() {
    if [ "$2" = "$3" ]; then
        passed=$((passed + 1))
    else
        failed=$((failed + 1))
        echo "FAIL $1: expected '$2', got '$3'" >&2
    fi
}

value() {
    awk -v key="$2" '$1 == key { print $2 }' "$1"
}

for profile in typical wide ties deep; do
    tree=$work/$profile
    "$tools/quern_tree_generator" --profile "$profile" --seed 3 --scale 0.03 --out "$tree" 2>/dev/null
    directories=$(find "$tree" -type d | wc -l)
    files=$(find "$tree" -type f | wc -l)
    symlinks=$(find "$tree" -type l | wc -l)
    fifos=$(find "$tree" -type p | wc -l)
    file_bytes=$(find "$tree" -type f -printf '%s\n' | awk '{ s += $1 } END { printf "%.0f", s }')
    apparent=$(du -s --apparent-size -B1 "$tree" | cut -f1)

    expect "$profile summary directories" "$directories" "$(value "$tree.summary" directories)"
    expect "$profile summary files" "$files" "$(value "$tree.summary" files)"
    expect "$profile summary symlinks" "$symlinks" "$(value "$tree.summary" symlinks)"
    expect "$profile summary fifos" "$fifos" "$(value "$tree.summary" fifos)"
    expect "$profile summary file_bytes" "$file_bytes" "$(value "$tree.summary" file_bytes)"

    # A descriptor limit of 3 forces the walk back through "..".
    for max_open in 512 3; do
        "$tools/quern_scan_floor" --max-open "$max_open" "$tree" 2>"$work/counts"
        expect "$profile scan directories ($max_open)" "$directories" "$(value "$work/counts" directories)"
        expect "$profile scan files ($max_open)" "$files" "$(value "$work/counts" files)"
        expect "$profile scan symlinks ($max_open)" "$symlinks" "$(value "$work/counts" symlinks)"
        expect "$profile scan other ($max_open)" "$fifos" "$(value "$work/counts" other)"
        expect "$profile scan apparent bytes ($max_open)" "$apparent" "$(value "$work/counts" apparent_bytes)"
    done
done

"$tools/quern_tree_generator" --profile typical --seed 3 --scale 0.03 --out "$work/again" 2>/dev/null
expect "same seed, same tree" "$(cd "$work/typical" && find . -printf '%p %y %s\n' | sort | md5sum)" \
    "$(cd "$work/again" && find . -printf '%p %y %s\n' | sort | md5sum)"

"$tools/quern_tree_generator" --profile ties --seed 3 --out "$work/ties-full" 2>/dev/null
expect "ties take ten byte totals" 10 "$(find "$work/ties-full" -mindepth 2 -type f -printf '%h\t%s\n' |
    awk -F'\t' '{ n = split($1, part, "/"); sum[part[n]] += $2 } END { for (d in sum) printf "%.0f\n", sum[d] }' |
    sort -u | wc -l)"

"$tools/quern_tree_generator" --profile deep --seed 3 --out "$work/deep-full" 2>/dev/null
"$tools/quern_scan_floor" --max-open 8 "$work/deep-full" 2>"$work/counts"
expect "deep chain below PATH_MAX limits" 2001 "$(value "$work/counts" directories)"

"$tools/quern_write_floor" --files 7 --bytes 1000 --out "$work/written"
expect "write floor files" 7 "$(find "$work/written" -type f | wc -l)"
expect "write floor bytes" 1000 "$(find "$work/written" -type f -printf '%s\n' | awk '{ s += $1 } END { print s }')"

read -r _ _ _ _ status <<<"$("$tools/quern_bench_runner" -- sh -c 'exit 3')"
expect "runner exit status" 3 "$status"
read -r _ _ _ rss status <<<"$("$tools/quern_bench_runner" -- awk 'BEGIN { while (length(s) < 209715200) s = s s "x" }')"
expect "runner sees 200 MiB peak" 1 "$([ "$rss" -ge $((200 << 10)) ] && echo 1 || echo 0)"

echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
