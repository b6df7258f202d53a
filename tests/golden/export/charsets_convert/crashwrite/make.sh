#!/bin/bash
# Makes the five packets of the character-set cases with crashwrite (from
# the crashmail package) at fixed dates (faketime): the texts below are
# written in UTF-8 here and converted by iconv into the charset each
# message claims. The packets are kept as test data; this script only
# says how they were made:  ./make.sh OUTDIR
set -euo pipefail
out=${1:?usage: make.sh OUTDIR}
mkdir -p "$out"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# write CHARSET DATE ARGS... : TEXT on standard input (UTF-8)
write() {
    local cs=$1 date=$2
    shift 2
    iconv -f UTF-8 -t "$cs" | tr '\n' '\r' > "$work/text"
    local args=()
    for a in "$@"; do args+=("$(printf '%s' "$a" | iconv -f UTF-8 -t "$cs")"); done
    faketime "$date" crashwrite DIR "$work/pkt" TEXT "$work/text" PKTTOADDR 2:280/5555 "${args[@]}" >/dev/null
    sleep 1  # crashwrite names its packets after the time
}
mkdir -p "$work/pkt"

# 1. A CP437 netmail with "CHRS: IBMPC 2" from a user AddrMap knows.
printf '\001CHRS: IBMPC 2\nHallo,\n\nGrüße aus München! Die Brötchen kosten 2 ½ Mark, der Kaffee ist heiß.\n╔══════╗\n║ Box  ║\n╚══════╝\nEin langer Satz mit Umlauten, der über die Zeilenbreite hinausgeht: äöü ÄÖÜ ß äöü ÄÖÜ ß äöü.\n\nJürgen\n' |
    write CP437 "2026-09-14 10:00:00" FROMNAME "Jürgen Müller" FROMADDR 2:280/5555.1 \
        TONAME "friend@example.com" TOADDR 2:280/5555 SUBJECT "Grüße aus München"

# 2. A CP866 netmail from Moscow (TZUTC) by a node AddrMap does not know;
#    its "Н" is the byte 0x8D, a letter in CP866.
printf '\001CHRS: CP866 2\n\001TZUTC: 0300\nПривет!\n\nНОВОСТИ: Нет новостей. Снег идёт.\n\nИван\n' |
    write CP866 "2026-01-20 18:30:00" FROMNAME "Иван Смирнов" FROMADDR 2:5020/1 \
        TONAME "friend@example.com" TOADDR 2:280/5555 SUBJECT "Привет из Москвы"

# 3. A LATIN-1 echomail with an 8-bit to-name (X-Comment-To).
printf '\001CHRS: LATIN-1 2\nBjörn,\n\nle café crème coûte 2,50 francs; «très bon», dit Zoë.\n' |
    write LATIN1 "2026-09-15 08:15:00" FROMNAME "José Núñez" FROMADDR 2:280/5555.2 \
        TONAME "Björn Ångström" AREA PONDLARK.TEST SUBJECT "Café crème" \
        ORIGIN "Pond & Lark BBS"

# 4. A UTF-8 echomail with "CHRS: UTF-8 4".
printf '\001CHRS: UTF-8 4\nΚαλημέρα! Σήμερα είναι ωραία μέρα ☀. 日本語のテキストも少し。\nA long line of Greek text to wrap: Ελληνικά Ελληνικά Ελληνικά Ελληνικά Ελληνικά.\n' |
    write UTF-8 "2026-09-16 12:00:00" FROMNAME "Ελένη Παπαδοπούλου" FROMADDR 2:280/5555.1 \
        TONAME "All" AREA C_ECHO SUBJECT "Ωραία μέρα ☀" ORIGIN "Pond & Lark BBS"

# 5. A CP437 netmail without CHRS from a node AddrMap does not know.
printf 'Guten Tag,\n\nder Größer schreibt über Größeres.\n' |
    write CP437 "2026-12-01 09:00:00" FROMNAME "Klaus Größer" FROMADDR 2:280/100 \
        TONAME "friend@example.com" TOADDR 2:280/5555 SUBJECT "Größer"

for f in "$work"/pkt/*; do
    b=$(basename "$f")
    cp "$f" "$out/$(echo "${b%.*}" | tr a-f A-F).PKT"
done
ls "$out"
