#!/usr/bin/env bash
# Times pondlark import and export on generated inputs of 10,000 and 100,000
# messages against the floor of copying the same bytes, and reports messages
# per second, MB/s, the ratio to the floor and the peak memory.
#
#   bench/run.sh [COUNT...]      (default: 10000 100000)
#
# Environment: BENCH_REPEAT (runs per figure, the best counts; default 3),
# BENCH_WORK (the folder the runs happen in; default build-bench/work, on
# the same file system as the project), BENCH_BIN (the program to time;
# default the Release build made here, for comparing with another build),
# BENCH_CFG (the configuration; default bench/bench.cfg, for example a copy
# with "SyncWrites Yes" to time the syncing).
#
# The floor is `cp -r` of the same input folder into a fresh folder of the
# same file system, with the input in the page cache, timed like the
# program: best of BENCH_REPEAT runs, each into a folder of its own.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
counts=("$@")
[ ${#counts[@]} -gt 0 ] || counts=(10000 100000)
repeat=${BENCH_REPEAT:-3}

bin=${BENCH_BIN:-}
if [ -z "$bin" ]; then
    cmake -S . -B build-bench -DCMAKE_BUILD_TYPE=Release -DPONDLARK_TESTS=OFF >/dev/null
    cmake --build build-bench -j2 --target pondlark >/dev/null
    bin=$root/build-bench/pondlark
fi
work=${BENCH_WORK:-$root/build-bench/work}
inputs=$root/build-bench/inputs
cfg=${BENCH_CFG:-$root/bench/bench.cfg}

# Inputs are made once per count and kept (they depend only on the count
# and the generator).
makeinput() {  # kind count
    local dir=$inputs/$1-$2
    if [ ! -d "$dir" ] || [ "$root/bench/generate.py" -nt "$dir" ]; then
        rm -rf "$dir"
        python3 bench/generate.py "$1" "$dir.tmp" "$2"
        mv "$dir.tmp" "$dir"
    fi
    echo "$dir"
}

bytesof() { find "$1" -type f -printf '%s\n' | awk '{s += $1} END {print s}'; }

# measure name input prepare command...: "wall user sys peakKiB"; the runs
# happen in $work/name.
measure() {
    local name=$1 input=$2 prepare=$3
    shift 3
    mkdir -p "$work"
    BENCH_PREPARE=$prepare python3 bench/measure.py "$repeat" "$input" "$work/$name" -- "$@"
}

report() {  # name count bytes wall user sys kib floor
    awk -v n="$1" -v c="$2" -v b="$3" -v s="$4" -v u="$5" -v y="$6" -v k="$7" -v f="$8" 'BEGIN {
        printf "%-7s %7d msgs %7.1f MB  %7.3f s (user %.3f sys %.3f)  %8.0f msgs/s %7.1f MB/s  floor %6.3f s  ratio %5.2f  peak %5.1f MB\n",
               n, c, b / 1e6, s, u, y, c / s, b / 1e6 / s, f, s / f, k / 1024 }'
}

# What the output alone costs: cp -r of the files a run made (the first
# run of name), into a fresh folder, timed as the floor is.
outputcopy() {  # name count folders...
    local name=$1 count=$2
    shift 2
    local from=() d
    for d in "$@"; do from+=("$work/$name-$count/0/$d"); done
    local files secs
    files=$(find "${from[@]}" -type f | wc -l)
    read -r secs _ < <(measure "$name-output-$count" "" "" cp -r "${from[@]}" "{run}/")
    printf '        output: %d files; copying them takes %.3f s\n' "$files" "$secs"
}

# The folders of the runs are removed only at the very end: see measure.py.
trap 'rm -rf "$work"' EXIT
rm -rf "$work"

declare -A seconds
for count in "${counts[@]}"; do
    soup=$(makeinput soup "$count")
    pkt=$(makeinput pkt "$count")
    cat "$soup"/* "$pkt"/* >/dev/null  # the inputs in the page cache

    # import: the SOUP packet copied into the SOUP folder of a fresh run
    prep='mkdir -p "$RUN"/inbound "$RUN"/outbound "$RUN"/temp "$RUN"/decode && cp -r "$INPUT" "$RUN"/soup'
    bytes=$(bytesof "$soup")
    read -r floor _ < <(measure "floor-soup-$count" "$soup" "" cp -r "$soup" "{run}/copy")
    read -r secs user sys kib < <(measure "import-$count" "$soup" "$prep" "$bin" import /config="$cfg")
    report import "$count" "$bytes" "$secs" "$user" "$sys" "$kib" "$floor"
    outputcopy import "$count" inbound decode
    seconds[import-$count]=$secs

    # export: the packets in a folder of their own, read with /pkt=
    prep='mkdir -p "$RUN"/inbound "$RUN"/outbound "$RUN"/temp "$RUN"/decode "$RUN"/soup && cp -r "$INPUT" "$RUN"/pkt'
    bytes=$(bytesof "$pkt")
    read -r floor _ < <(measure "floor-pkt-$count" "$pkt" "" cp -r "$pkt" "{run}/copy")
    read -r secs user sys kib < <(measure "export-$count" "$pkt" "$prep" "$bin" export /pkt=pkt /config="$cfg")
    report export "$count" "$bytes" "$secs" "$user" "$sys" "$kib" "$floor"
    outputcopy export "$count" soup
    seconds[export-$count]=$secs
done

# How the time grows with the input: each count against the first.
first=${counts[0]}
for count in "${counts[@]:1}"; do
    for dir in import export; do
        awk -v d="$dir" -v a="$first" -v b="$count" -v x="${seconds[$dir-$first]}" \
            -v y="${seconds[$dir-$count]}" \
            'BEGIN { printf "%s: %d messages take %.2f times as long as %d (%.1f times the messages)\n", d, b, y / x, a, b / a }'
    done
done
