# Shared by the benchmark scripts: the options they all take, where data
# lives, how outputs are set aside and deleted, and how one timed run is
# recorded. Sourced before the caller reads its options.

here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
repo=$(dirname "$here")
data=$(realpath -m "${QUERN_BENCH_DATA:-/work/benchdata}")
settle=${QUERN_BENCH_SETTLE:-360}
# Deleting more entries than this is what slows file creation afterwards.
large_deletion=50000

build=""
seed=1
scale=1

# Takes one of the options every script has (--rounds, --build, --seed,
# --scale) with its value; fails for any other argument. The caller shifts
# two arguments when it succeeds.
common_option() {
    case "$1" in
        --rounds | --build | --seed | --scale) [ $# -ge 2 ] || usage ;;
        *) return 1 ;;
    esac
    case "$1" in
        --rounds) rounds=$2 ;;
        --build) build=$2 ;;
        --seed) seed=$2 ;;
        --scale) scale=$2 ;;
    esac
}

# The lines of every usage text about the environment.
environment_usage() {
    echo "environment: QUERN_BENCH_DATA (default /work/benchdata),"
    echo "             QUERN_BENCH_SETTLE seconds to wait after a large deletion (default 360)"
}

case "$data/" in
    "$repo"/*) echo "the data directory $data must lie outside the repository" >&2; exit 2 ;;
esac

# Configures and builds build-bench/ in Release with the given targets,
# unless --build named a build; then checks the tools are there.
prepare_build() {
    if [ -z "$build" ]; then
        build="$repo/build-bench"
        cmake -S "$repo" -B "$build" -DCMAKE_BUILD_TYPE=Release -DQUERN_TESTS=OFF -DQUERN_BENCH=ON >/dev/null
        cmake --build "$build" -j2 --target "$@" >/dev/null
    fi
    build=$(realpath "$build")
    quern=$build/quern
    generator=$build/bench/quern_tree_generator
    write_floor=$build/bench/quern_write_floor
    runner=$build/bench/quern_bench_runner
}

require_tools() {
    local tool
    for tool in "$@"; do
        [ -x "$tool" ] || { echo "missing $tool; build it first" >&2; exit 1; }
    done
}

# Sets stamp, trash, logs and results (named with the given prefix) for one
# series, and writes the results header.
start_series() {
    stamp=$(date +%Y%m%d-%H%M%S)
    mkdir -p "$data/trees" "$data/out" "$data/trash" "$data/results" "$data/logs/$stamp"
    trash=$data/trash/$stamp
    mkdir -p "$trash"
    results=$data/results/$1$stamp.tsv
    logs=$data/logs/$stamp
    printf 'profile\ttool\tround\twall\tuser\tsys\tmaxrss_kib\tstatus\n' >"$results"
}

# Outputs are renamed aside and only deleted after the whole series, so no
# timed run follows a large deletion of the script's own making.
discarded=0
discard() {
    if [ -e "$1" ]; then
        discarded=$((discarded + 1))
        mv "$1" "$trash/$discarded-$(basename "$1")"
    fi
}

# Creating files is much slower for a while after a large deletion.
wait_after_last_deletion() {
    local marker=$data/last-deletion when count age
    [ -f "$marker" ] || return 0
    read -r when count <"$marker"
    age=$(( $(date +%s) - when ))
    if [ "$count" -ge "$large_deletion" ] && [ "$age" -lt "$settle" ]; then
        echo "note: $count entries were deleted here ${age}s ago; creating files is much slower for a while." >&2
        echo "      sleeping $((settle - age))s (set QUERN_BENCH_SETTLE=0 to skip)" >&2
        sleep $((settle - age))
    fi
}

discard_leftovers() {
    local leftover stale=0
    for leftover in "$data/out"/*; do
        [ -e "$leftover" ] || continue
        discard "$leftover"
        stale=1
    done
    [ "$stale" = 0 ] || echo "moved outputs of an interrupted run to $trash" >&2
}

empty_trash() {
    local count
    count=$(find "$data/trash" -mindepth 1 | wc -l)
    if [ "$count" -gt 0 ]; then
        echo "deleting $count entries of old outputs under $data/trash" >&2
        rm -rf "$data/trash"
        echo "$(date +%s) $count" >"$data/last-deletion"
        if [ "$count" -ge "$large_deletion" ]; then
            echo "note: after this deletion, wait about ${settle}s before timing file creation here" >&2
        fi
    fi
}

tree_of() {
    if [ "$scale" = 1 ]; then
        echo "$data/trees/$1-seed$seed"
    else
        echo "$data/trees/$1-seed$seed-scale$scale"
    fi
}

# A tree without its summary was cut short, and one whose summary does not
# say how its files are dated was made before files had times and blocks:
# either is made anew.
ensure_tree() {
    local tree
    tree=$(tree_of "$1")
    if [ ! -f "$tree.summary" ] || ! grep -q '^dated by_directory$' "$tree.summary"; then
        discard "$tree"
        echo "generating $tree" >&2
        "$generator" --profile "$1" --seed "$seed" --scale "$scale" --out "$tree"
    fi
}

summary_value() {
    awk -v key="$2" '$1 == key { print $2 }' "$1"
}

# Runs one command under the runner; appends a result line. Its standard
# error goes to the series' logs.
timed() {
    local profile=$1 tool=$2 round=$3 line wall user sys rss status
    shift 3
    local err=$logs/$profile-$tool-$round.err
    line=$("$runner" --stderr "$err" -- "$@")
    read -r wall user sys rss status <<<"$line"
    printf '%s\t%s\t%s\t%s\t%s\t%s\t%s\t%s\n' "$profile" "$tool" "$round" "$wall" "$user" "$sys" "$rss" "$status" \
        >>"$results"
    if [ "$status" != 0 ]; then
        echo "warning: $tool on $profile, round $round, exited with status $status (log $err)" >&2
    fi
}

column_of() {
    awk -F'\t' -v p="$1" -v t="$2" -v col="$3" '$1 == p && $2 == t { print $col }' "$results"
}

median() {
    column_of "$@" | sort -g |
        awk '{ v[NR] = $1 } END { if (NR == 0) print "nan"; else if (NR % 2) print v[(NR + 1) / 2]; else print (v[NR / 2] + v[NR / 2 + 1]) / 2 }'
}

maximum() {
    column_of "$@" | sort -g | tail -1
}
