#!/usr/bin/env bash
# Runs PondLark on the bundled example in a scratch folder ./demo and shows,
# step by step, what went in and what came out: checks the configuration,
# imports the example SOUP packet into FidoNet packets, exports FidoNet
# mail from a packet folder, the Binkley-style outbound and stored netmail
# into SOUP reply files. Files are shown with "pondlark show", which prints
# packets, stored messages and SOUP files readably. The examples are never
# changed: the demo works on copies.
#   examples/demo.sh [path/to/pondlark]
set -euo pipefail
cd "$(dirname "$0")/.."
bin=${1:-build/pondlark}
# Everything the program reports comes in the order it was written.
exec 2>&1

step() { printf '=== %s\n' "$*"; }
say() { printf -- '--- %s\n' "$*"; }
run() { printf '$ pondlark %s\n' "$*"; "$bin" "$@" | grep -v '^PondLark-Linux v\|^$' || true; }
# Message N of what "pondlark show" prints for a file (without the empty
# lines that end it).
message() {
    "$bin" show "$1" | awk -v n="$2" '
        /^(msg|stored): |^message: [0-9]/ { i++ }
        i != n { next }
        /^$/ { blank++; next }
        { while (blank > 0) { print ""; blank-- } print }'
}
# The same without the kludge lines (marked ^A), to keep it short.
nokludges() { message "$@" | grep -v '^\^A'; }
# Without the header lines of the Internet message that import keeps as
# kludges ("^AFrom:", "^AContent-Type:" ...).
nocopies() { message "$@" | grep -v '^\^A[A-Z][a-z][A-Za-z-]*: \|^\^AMIME-Version: '; }

rm -rf demo
mkdir -p demo/inbound demo/outbound demo/soup demo/temp demo/decode demo/pkt demo/netmail \
    demo/files
cp examples/pond-talk.lst demo/

step "1. Check the configuration (examples/pondlark.cfg, commented)"
run check /config=examples/pondlark.cfg

step "2. Import: a SOUP packet from the Internet becomes FidoNet packets"
cp examples/soup/* demo/soup/
say "in: demo/soup/AREAS names the message file (prefix) of each area, and its format:"
"$bin" show demo/soup/AREAS | sed -n 's/^#   //p' | tr '\t' ' ' | paste -sd ',' | sed 's/,/, /g'
say "in: message 3 of demo/soup/0000001.MSG, a mail with a file attached"
message demo/soup/0000001.MSG 3
run import /config=examples/pondlark.cfg /global
say "out: demo/inbound, packets for the tosser and the file decoded from the mail:" \
    "$(ls demo/inbound | paste -sd ' ')"
say "out: the mail in demo/inbound/00000000.PKT (kludges marked ^A; header copies left out)"
nocopies demo/inbound/00000000.PKT 3

step "3. Export: FidoNet packets in a folder become SOUP replies (/pkt=)"
cp examples/pkt/*.PKT examples/pkt/pondmap.txt demo/pkt/
say "in: message 1 of demo/pkt/00000001.PKT, netmail from Jane to the Internet"
nokludges demo/pkt/00000001.PKT 1
run export /config=examples/pondlark.cfg /pkt=demo/pkt
say "out: demo/soup/REPLIES lists the reply files for the Internet client:" \
    "$(cut -f1 demo/soup/REPLIES | paste -sd ' ')"
say "out: Jane's message in the mail reply file"
message "demo/soup/$(sed -n 's/\tmail.*//p' demo/soup/REPLIES | tail -1).MSG" 1

step "4. Export: the Binkley-style outbound (mail packets and flow files)"
cp examples/outbound/* demo/outbound/
cp examples/files/* demo/files/
say "in: demo/outbound: $(cd demo/outbound && echo *)"
run export /config=examples/pondlark.cfg
say "out: demo/outbound afterwards: $(ls -A demo/outbound | wc -l) files (everything was sent)"

step "5. Export: stored netmail messages (examples/arcmail.cfg)"
cp examples/netmail/*.MSG demo/netmail/
say "in: demo/netmail/2.MSG, one of three stored messages (its header)"
message demo/netmail/2.MSG 1 | grep '^stored:\|^to:\|^subject:'
run export /config=examples/arcmail.cfg
say "out: demo/netmail afterwards: $(ls demo/netmail | paste -sd ' ')" \
    "(2.MSG killed, 3.MSG not for us, 1.MSG marked sent:" \
    "$("$bin" show demo/netmail/1.MSG | sed -n 's/^stored: .* attr //p'))"

step "6. The mailing list and the log"
say "demo/pond-talk.lst: the list server added the member who subscribed"
{ diff examples/pond-talk.lst demo/pond-talk.lst || true; } | sed -n 's/^> //p' | paste -sd ' '
say "demo/pondlark.log holds everything reported above: $(wc -l <demo/pondlark.log) lines"
say "look at any file with: $bin show FILE"
