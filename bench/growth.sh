#!/usr/bin/env bash
# Times pondlark import on the messages whose work once grew faster than
# their size, each against a normal input of the same size:
#   parts   one mail of 20,000 parts that all carry the same file name (1.1 MB)
#   quotes  a mail of HTML nested 14,000 blockquotes deep (360 KB)
#   groups  4,000 news articles whose first groups differ, none gated (a news batch)
# The ratio says how many times as long the hostile input takes.
#
#   bench/growth.sh
#
# Environment as for bench/run.sh: BENCH_REPEAT, BENCH_WORK, BENCH_BIN.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
repeat=${BENCH_REPEAT:-3}
bin=${BENCH_BIN:-}
if [ -z "$bin" ]; then
    cmake -S . -B build-bench -DCMAKE_BUILD_TYPE=Release -DPONDLARK_TESTS=OFF >/dev/null
    cmake --build build-bench -j2 --target pondlark >/dev/null
    bin=$root/build-bench/pondlark
fi
work=${BENCH_WORK:-$root/build-bench/work}/growth
inputs=$root/build-bench/inputs
cfg=$root/bench/growth.cfg
trap 'rm -rf "$work"' EXIT
rm -rf "$work"

makeinput() {  # kind
    local dir=$inputs/growth-$1
    if [ ! -d "$dir" ] || [ "$root/bench/growth.py" -nt "$dir" ]; then
        rm -rf "$dir"
        python3 bench/growth.py "$1" "$dir.tmp"
        mv "$dir.tmp" "$dir"
    fi
    echo "$dir"
}

timeimport() {  # kind: prints "seconds peakKiB"
    local input
    input=$(makeinput "$1")
    local prep='mkdir -p "$RUN"/inbound "$RUN"/outbound "$RUN"/temp "$RUN"/decode && cp -r "$INPUT"/soup "$INPUT"/nb "$RUN"/ 2>/dev/null || cp -r "$INPUT"/soup "$RUN"/; mkdir -p "$RUN"/nb'
    mkdir -p "$work"
    local secs user sys kib
    read -r secs user sys kib _ < <(BENCH_PREPARE=$prep python3 bench/measure.py "$repeat" "$input" \
        "$work/$1" -- "$bin" import /config="$cfg")
    echo "$secs $kib"
}

for kind in parts quotes groups; do
    read -r hostile hkib < <(timeimport "$kind")
    read -r normal nkib < <(timeimport "$kind-normal")
    bytes=$(find "$(makeinput "$kind")" -type f -printf '%s\n' | awk '{s += $1} END {print s}')
    awk -v k="$kind" -v b="$bytes" -v h="$hostile" -v n="$normal" -v hk="$hkib" -v nk="$nkib" 'BEGIN {
        printf "%-7s %6.2f MB  %7.3f s (peak %5.1f MB)   normal input of its size %7.3f s (peak %5.1f MB)   ratio %5.2f\n",
               k, b / 1e6, h, hk / 1024, n, nk / 1024, h / n }'
done
