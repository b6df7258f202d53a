#!/usr/bin/env bash
# Runs PondLark on the bundled example in a scratch folder ./demo: checks the
# configuration, exports the example FidoNet packets into SOUP reply files,
# and shows what the run wrote. The examples themselves are never changed:
# export consumes its input, so it works on copies.
set -euo pipefail
cd "$(dirname "$0")/.."
bin=${1:-build/pondlark}

rm -rf demo
mkdir -p demo/inbound demo/outbound demo/soup demo/temp demo/decode demo/pkt

echo "=== pondlark check"
"$bin" check /config=examples/pondlark.cfg

echo
echo "=== pondlark export /pkt=demo/pkt (FidoNet packets -> SOUP replies)"
cp examples/pkt/*.PKT examples/pkt/pondmap.txt demo/pkt/
"$bin" export /config=examples/pondlark.cfg /pkt=demo/pkt

echo
echo "=== demo/soup/REPLIES"
cat demo/soup/REPLIES
for f in demo/soup/*.MSG; do
    echo
    echo "=== $f (each message follows its 4-byte length)"
    cat -v "$f"
done

echo
echo "=== demo/pondlark.log"
cat demo/pondlark.log
