#!/usr/bin/env bash
# Runs PondLark on the bundled example in a scratch folder ./demo: checks the
# configuration, imports the example SOUP packet into FidoNet packets,
# exports the example FidoNet packets into SOUP reply files, and shows what
# the runs wrote. The examples themselves are never changed: import and
# export consume their input and the list server updates its member file,
# so the demo works on copies.
set -euo pipefail
cd "$(dirname "$0")/.."
bin=${1:-build/pondlark}

rm -rf demo
mkdir -p demo/inbound demo/outbound demo/soup demo/temp demo/decode demo/pkt \
    demo/netmail demo/files
cp examples/pond-talk.lst demo/

echo "=== pondlark check"
"$bin" check /config=examples/pondlark.cfg

echo
echo "=== pondlark import (SOUP packet -> FidoNet packets)"
cp examples/soup/* demo/soup/
"$bin" import /config=examples/pondlark.cfg
echo
echo "=== demo/inbound (carriage returns shown as line ends, 0x01 as ^A)"
ls -l demo/inbound
for f in demo/inbound/*.PKT; do
    echo "--- $f"
    tr '\r' '\n' <"$f" | cat -v
done

echo
echo "=== pondlark export /pkt=demo/pkt (FidoNet packets -> SOUP replies)"
cp examples/pkt/*.PKT examples/pkt/pondmap.txt demo/pkt/
"$bin" export /config=examples/pondlark.cfg /pkt=demo/pkt

echo
echo "=== pondlark export (the Binkley-style outbound: mail packets and flow files)"
cp examples/outbound/* demo/outbound/
cp examples/files/* demo/files/
"$bin" export /config=examples/pondlark.cfg /verbose
echo "--- demo/outbound afterwards (empty: everything was sent)"
ls -A demo/outbound

echo
echo "=== pondlark export with examples/arcmail.cfg (stored netmail messages)"
cp examples/netmail/*.MSG demo/netmail/
"$bin" export /config=examples/arcmail.cfg /verbose
echo "--- demo/netmail afterwards (1.MSG marked sent, 2.MSG killed, 3.MSG not for us)"
ls -A demo/netmail

echo
echo "=== demo/soup/REPLIES"
cat demo/soup/REPLIES
for f in demo/soup/*.MSG; do
    echo
    echo "=== $f (each message follows its 4-byte length)"
    cat -v "$f"
done

echo
echo "=== demo/pond-talk.lst (the list server added the new member)"
cat demo/pond-talk.lst

echo
echo "=== demo/pondlark.log"
cat demo/pondlark.log
