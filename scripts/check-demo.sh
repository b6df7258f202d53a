#!/usr/bin/env bash
# Checks what examples/demo.sh printed: the decoded message lines it
# promises are there, it fits in 150 lines, and it holds no raw binary.
#   scripts/check-demo.sh OUTPUT           a saved run (stdout and stderr;
#                                          what comes before the demo's
#                                          first step, a build, is passed over)
#   scripts/check-demo.sh --run PONDLARK   runs the demo on a copy of the
#                                          examples first (as ctest does)
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
if [ "${1:-}" = "--run" ]; then
    bin=$(cd "$(dirname "$2")" && pwd)/$(basename "$2")
    work=$(mktemp -d)
    trap 'rm -rf "$work"' EXIT
    cp -r "$top/examples" "$work/"
    "$work/examples/demo.sh" "$bin" >"$work/demo.out" 2>&1 || {
        cat "$work/demo.out"
        echo "check-demo: the demo failed"
        exit 1
    }
    saved=$work/demo.out
else
    saved=$1
fi
out=$(mktemp)
trap 'rm -rf "${work:-}" "$out"' EXIT
sed -n '/^=== 1\. /,$p' "$saved" >"$out"

bad=0
# Lines of the example messages, pure ASCII, as the demo shows them
# decoded: the mail with a file going in and coming out of import, and
# Jane's netmail going in and coming out of export (twice: in and out).
while IFS='|' read -r times line; do
    n=$(grep -cF -- "$line" "$out" || true)
    if [ "$n" -lt "$times" ]; then
        echo "check-demo: expected $times times, found $n: $line"
        bad=1
    fi
done <<'LINES'
1|Configuration checked. Nothing more to do.
1|attachment: report.txt (text/plain, base64): 68 bytes
2|Here is this month's report, as a file.
1|[PondLark decoded MIME-encoded file report.txt (68 bytes)]
1|# decoded file report.txt, 68 bytes, beside the packet: demo/inbound/report.txt
2|the next pond meeting is on Friday at eight. Bring a torch: the path
2|along the reeds is dark in September, and the larks will be asleep by
1|Subject: Pond meeting
1|+ frank@net.example Frank Green 1
LINES
lines=$(wc -l <"$out")
if [ "$lines" -ge 150 ]; then
    echo "check-demo: the demo printed $lines lines, more than 149"
    bad=1
fi
if LC_ALL=C grep -q $'[\x01-\x08\x0b-\x1f\x7f]' "$out"; then
    echo "check-demo: the demo printed control bytes:"
    LC_ALL=C grep -n $'[\x01-\x08\x0b-\x1f\x7f]' "$out" | cat -v | head -5
    bad=1
fi
[ "$bad" -eq 0 ] && echo "check-demo: $lines lines, every promised line there"
exit "$bad"
