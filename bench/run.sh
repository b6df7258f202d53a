#!/usr/bin/env bash
# Times pondlark import and export on generated inputs of 10,000 and 100,000
# messages against the floor of copying the same bytes, and reports messages
# per second, MB/s, the ratio to the floor and the peak memory; each twice:
# with bench/bench.cfg (text only labelled) and with bench/charsets.cfg (the
# character settings of examples/pondlark.cfg: FidoCharSet CP437 2 and an
# AreaCharSet, text converted). Then the intake of the same number of mails
# from a Maildir, against the floor of reading each file once and renaming
# it into cur/.
#
#   bench/run.sh [COUNT...]      (default: 10000 100000)
#
# Environment: BENCH_REPEAT (runs per figure; default 5; the median counts,
# the best is shown beside it), BENCH_WORK (the folder the runs happen in;
# default build-bench/work, on the same file system as the project),
# BENCH_BIN (the program to time; default the Release build made here),
# BENCH_OLD (a second program, for example the build of an older commit:
# every figure is timed with both, the two taking turns run by run in the
# same sitting, and the ratio new/old is printed), BENCH_CFG and
# BENCH_CHARSETCFG (the two configurations; default bench/bench.cfg and
# bench/charsets.cfg, for example a copy with "SyncWrites Yes" to time the
# syncing), BENCH_MAILDIR=no (leave out the Maildir intake).
#
# The floor is `cp -r` of the same input folder into a fresh folder of the
# same file system, with the input in the page cache, timed like the
# program: median of BENCH_REPEAT runs, each into a folder of its own.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
counts=("$@")
[ ${#counts[@]} -gt 0 ] || counts=(10000 100000)
repeat=${BENCH_REPEAT:-5}

bin=${BENCH_BIN:-}
if [ -z "$bin" ]; then
    cmake -S . -B build-bench -DCMAKE_BUILD_TYPE=Release -DPONDLARK_TESTS=OFF >/dev/null
    cmake --build build-bench -j2 --target pondlark >/dev/null
    bin=$root/build-bench/pondlark
fi
old=${BENCH_OLD:-}
work=${BENCH_WORK:-$root/build-bench/work}
inputs=$root/build-bench/inputs
cfgs=("${BENCH_CFG:-$root/bench/bench.cfg}" "${BENCH_CHARSETCFG:-$root/bench/charsets.cfg}")
cfgnames=(plain charsets)
mkdir -p "$inputs"

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

# measure name input prepare command...: "best user sys peakKiB median";
# the runs happen in $work/name.
measure() {
    local name=$1 input=$2 prepare=$3
    shift 3
    mkdir -p "$work"
    BENCH_PREPARE=$prepare python3 bench/measure.py "$repeat" "$input" "$work/$name" -- "$@"
}

# timebin name input prepare command...: the command ("{bin}" for the
# program) timed with BENCH_BIN, and with BENCH_OLD in turns when given:
# the line of the new program, then (with BENCH_OLD) the old one's.
timebin() {
    local name=$1 input=$2 prepare=$3
    shift 3
    local bins=$bin
    [ -z "$old" ] || bins=$(printf '%s\n%s' "$bin" "$old")
    mkdir -p "$work"
    BENCH_BINS=$bins BENCH_PREPARE=$prepare python3 bench/measure.py "$repeat" "$input" \
        "$work/$name" -- "$@"
}

report() {  # name count bytes median best user sys kib floor
    awk -v n="$1" -v c="$2" -v b="$3" -v s="$4" -v x="$5" -v u="$6" -v y="$7" -v k="$8" -v f="$9" 'BEGIN {
        printf "%-16s %7d msgs %7.1f MB  %7.3f s (best %.3f, user %.3f sys %.3f)  %8.0f msgs/s %6.1f MB/s  floor %6.3f s  ratio %5.2f  peak %5.1f MB\n",
               n, c, b / 1e6, s, x, u, y, c / s, b / 1e6 / s, f, s / f, k / 1024 }'
}

compare() {  # new-median old-median old-kib
    awk -v a="$1" -v b="$2" -v k="$3" 'BEGIN {
        printf "%-16s old program %7.3f s, peak %5.1f MB: new/old %.2f\n", "", b, k / 1024, a / b }'
}

# What the output alone costs: cp -r of the files a run made (the first
# run of name), into a fresh folder, timed as the floor is.
outputcopy() {  # name folders...
    local name=$1
    shift
    local from=() d
    for d in "$@"; do from+=("$work/$name/0-0/$d"); done
    local files secs
    files=$(find "${from[@]}" -type f | wc -l)
    read -r _ _ _ _ secs < <(measure "$name-output" "" "" cp -r "${from[@]}" "{run}/")
    printf '%-16s output: %d files; copying them takes %.3f s\n' "" "$files" "$secs"
}

# One figure: name count bytes floor prepare command... ; prints the
# report (and the comparison) and keeps the median in seconds[name-count].
declare -A seconds
figure() {
    local name=$1 count=$2 bytes=$3 floor=$4 prepare=$5 input=$6
    shift 6
    local lines
    mapfile -t lines < <(timebin "$name-$count" "$input" "$prepare" "$@")
    local best user sys kib median
    read -r best user sys kib median <<<"${lines[0]}"
    report "$name" "$count" "$bytes" "$median" "$best" "$user" "$sys" "$kib" "$floor"
    seconds[$name-$count]=$median
    if [ -n "$old" ] && [ ${#lines[@]} -gt 1 ]; then
        local ob ou os ok om
        read -r ob ou os ok om <<<"${lines[1]}"
        compare "$median" "$om" "$ok"
    fi
}

# The folders of the runs are removed only at the very end: see measure.py.
trap 'rm -rf "$work"' EXIT
rm -rf "$work"

mdfloor=$root/build-bench/maildirfloor
if [ "${BENCH_MAILDIR:-yes}" != no ] &&
    { [ ! -x "$mdfloor" ] || [ bench/maildirfloor.cpp -nt "$mdfloor" ]; }; then
    c++ -O2 -o "$mdfloor" bench/maildirfloor.cpp
fi

names=(import-plain import-charsets export-plain export-charsets)
[ "${BENCH_MAILDIR:-yes}" = no ] || names+=(maildir)
for count in "${counts[@]}"; do
    soup=$(makeinput soup "$count")
    pkt=$(makeinput pkt "$count")
    cat "$soup"/* "$pkt"/* >/dev/null  # the inputs in the page cache

    sbytes=$(bytesof "$soup")
    pbytes=$(bytesof "$pkt")
    read -r _ _ _ _ sfloor < <(measure "floor-soup-$count" "$soup" "" cp -r "$soup" "{run}/copy")
    read -r _ _ _ _ pfloor < <(measure "floor-pkt-$count" "$pkt" "" cp -r "$pkt" "{run}/copy")
    for i in 0 1; do
        cfg=${cfgs[$i]}
        # import: the SOUP packet copied into the SOUP folder of a fresh run
        prep='mkdir -p "$RUN"/inbound "$RUN"/outbound "$RUN"/temp "$RUN"/decode && cp -r "$INPUT" "$RUN"/soup'
        name=import-${cfgnames[$i]}
        figure "$name" "$count" "$sbytes" "$sfloor" "$prep" "$soup" "{bin}" import /config="$cfg"
        [ "$i" -eq 1 ] || outputcopy "$name-$count" inbound decode
        # export: the packets in a folder of their own, read with /pkt=
        prep='mkdir -p "$RUN"/inbound "$RUN"/outbound "$RUN"/temp "$RUN"/decode "$RUN"/soup && cp -r "$INPUT" "$RUN"/pkt'
        name=export-${cfgnames[$i]}
        figure "$name" "$count" "$pbytes" "$pfloor" "$prep" "$pkt" "{bin}" export /pkt=pkt /config="$cfg"
        [ "$i" -eq 1 ] || outputcopy "$name-$count" soup
    done
    awk -v a="${seconds[import-charsets-$count]}" -v b="${seconds[import-plain-$count]}" \
        -v c="${seconds[export-charsets-$count]}" -v d="${seconds[export-plain-$count]}" 'BEGIN {
        printf "%-16s converting the text: import %.2f, export %.2f times the time of labelling it\n", "", a / b, c / d }'

    if [ "${BENCH_MAILDIR:-yes}" != no ]; then
        # Maildir intake: the mails of the mix, one a file, taken in by
        # import with ImportMaildir (the old program may not know it: the
        # Maildir figure is timed with BENCH_BIN only).
        md=$(makeinput maildir "$count")
        find "$md"/new -type f -exec cat {} + >/dev/null
        mdcfg=$work/maildir.cfg
        mkdir -p "$work"
        { cat "${cfgs[0]}"; echo "ImportMaildir ./Maildir"; } >"$mdcfg"
        mbytes=$(bytesof "$md")
        prep='cp -r "$INPUT" "$RUN"/Maildir'
        read -r _ _ _ _ mfloor < <(measure "floor-maildir-$count" "$md" "$prep" "$mdfloor" Maildir)
        prep='mkdir -p "$RUN"/inbound "$RUN"/outbound "$RUN"/temp "$RUN"/decode "$RUN"/soup && cp -r "$INPUT" "$RUN"/Maildir'
        read -r best user sys kib median < <(measure "maildir-$count" "$md" "$prep" "$bin" import /config="$mdcfg")
        report maildir "$count" "$mbytes" "$median" "$best" "$user" "$sys" "$kib" "$mfloor"
        printf '%-16s (floor: reading each file once and renaming it into cur/)\n' ""
        seconds[maildir-$count]=$median
    fi
done

# How the time grows with the input: each count against the first.
first=${counts[0]}
for count in "${counts[@]:1}"; do
    for name in "${names[@]}"; do
        awk -v d="$name" -v a="$first" -v b="$count" -v x="${seconds[$name-$first]}" \
            -v y="${seconds[$name-$count]}" \
            'BEGIN { printf "%s: %d messages take %.2f times as long as %d (%.1f times the messages)\n", d, b, y / x, a, b / a }'
    done
done
