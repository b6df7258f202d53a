#!/usr/bin/env bash
# Times pondlark import and export on generated inputs of 10,000 and 100,000
# messages against the floor of copying the same bytes, and reports messages
# per second, MB/s, the ratio to the floor and the peak memory.
#
#   bench/run.sh [COUNT...]      (default: 10000 100000)
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
counts=("$@")
[ ${#counts[@]} -gt 0 ] || counts=(10000 100000)

cmake -S . -B build-bench -DCMAKE_BUILD_TYPE=Release -DPONDLARK_TESTS=OFF >/dev/null
cmake --build build-bench -j2 >/dev/null
bin=$root/build-bench/pondlark
work=${BENCH_WORK:-$root/build-bench/work}

# seconds and peak KiB of one command, from /usr/bin/time
timed() {
    /usr/bin/time -f "%e %M" -o "$work/time.out" "$@" >/dev/null 2>"$work/run.err" || {
        echo "command failed: $*" >&2; tail -5 "$work/run.err" >&2; exit 1; }
    cat "$work/time.out"
}

report() {  # name count bytes seconds kib floor
    awk -v n="$1" -v c="$2" -v b="$3" -v s="$4" -v k="$5" -v f="$6" 'BEGIN {
        if (s <= 0) s = 0.005; if (f <= 0) f = 0.005;
        printf "%-7s %7d msgs %8.1f MB %7.2f s %9.0f msgs/s %8.1f MB/s  floor %6.2f s  ratio %5.2f  peak %6.1f MB\n",
               n, c, b / 1e6, s, c / s, b / 1e6 / s, f, s / f, k / 1024 }'
}

for count in "${counts[@]}"; do
    rm -rf "$work" && mkdir -p "$work"
    python3 bench/generate.py soup "$work/soup.orig" "$count"
    python3 bench/generate.py pkt "$work/pkt.orig" "$count"

    # import
    rm -rf "$work/run" && mkdir -p "$work/run"/{inbound,outbound,temp,decode}
    cp -r "$work/soup.orig" "$work/run/soup"
    cat "$work/run/soup"/* >/dev/null
    bytes=$(du -sb "$work/soup.orig" | cut -f1)
    read -r floor _ < <(timed cp -r "$work/soup.orig" "$work/copy.soup")
    cd "$work/run"
    read -r secs kib < <(timed "$bin" import /config="$root/bench/bench.cfg")
    cd "$root"
    report import "$count" "$bytes" "$secs" "$kib" "$floor"

    # export
    rm -rf "$work/run" && mkdir -p "$work/run"/{inbound,outbound,temp,decode,soup}
    cp -r "$work/pkt.orig" "$work/run/pkt"
    cat "$work/run/pkt"/* >/dev/null
    bytes=$(du -sb "$work/pkt.orig" | cut -f1)
    read -r floor _ < <(timed cp -r "$work/pkt.orig" "$work/copy.pkt")
    cd "$work/run"
    read -r secs kib < <(timed "$bin" export /pkt=pkt /config="$root/bench/bench.cfg")
    cd "$root"
    report export "$count" "$bytes" "$secs" "$kib" "$floor"
done
