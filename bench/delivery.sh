#!/usr/bin/env bash
# Times the gateway against the servers it talks to, in one sitting:
#   - delivery: `pondlark export` sending COUNT queued mail replies to a
#     private Postfix over SMTP, against Postfix's own load generator
#     smtp-source sending COUNT messages of the same size over one
#     connection to the same server (ratio: pondlark / smtp-source);
#   - taking in: `pondlark import` of COUNT messages from a Maildir, against
#     the import of the same messages as a SOUP packet (ratio: Maildir /
#     SOUP, what taking them in adds).
#
#   bench/delivery.sh [COUNT]      (default 10000; needs root and postfix)
#
# Environment: BENCH_REPEAT (runs per figure, the best counts; default 3),
# BENCH_BIN (the program; default the Release build made here). The
# Postfix accepts everything for bench.test and discards it, so that only
# the SMTP conversation is measured; its queue is drained between runs.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
count=${1:-10000}
repeat=${BENCH_REPEAT:-3}
[ "$(id -u)" -eq 0 ] || { echo "bench/delivery.sh: needs root (it starts a Postfix)"; exit 1; }
command -v smtp-source >/dev/null || { echo "bench/delivery.sh: smtp-source (package postfix) is missing"; exit 1; }

bin=${BENCH_BIN:-}
if [ -z "$bin" ]; then
    cmake -S . -B build-bench -DCMAKE_BUILD_TYPE=Release -DPONDLARK_TESTS=OFF >/dev/null
    cmake --build build-bench -j2 --target pondlark >/dev/null
    bin=$root/build-bench/pondlark
fi
work=$(mktemp -d /tmp/pondlark-delivery-XXXXXX)
chmod 755 "$work"
pf=$work/postfix
trap 'postfix -c "$pf/etc" stop >/dev/null 2>&1 || true; sleep 1; rm -rf "$work"' EXIT

# ------------------------------------------------------------ the Postfix
port=$(python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1",0)); print(s.getsockname()[1])')
mkdir -p "$pf/etc" "$pf/queue" "$pf/data"
chown postfix "$pf/data"
cat >"$pf/etc/main.cf" <<CF
compatibility_level = 3.6
queue_directory = $pf/queue
data_directory = $pf/data
command_directory = /usr/sbin
daemon_directory = /usr/lib/postfix/sbin
meta_directory = /etc/postfix
shlib_directory = no
mail_owner = postfix
setgid_group = postdrop
myhostname = mx.bench.test
mydestination =
relay_domains = bench.test
inet_interfaces = 127.0.0.1
inet_protocols = ipv4
mynetworks = 127.0.0.0/8
default_transport = discard:benchmark
relay_transport = discard:benchmark
alias_maps =
alias_database =
maillog_file = $pf/maillog
maillog_file_prefixes = $pf
smtpd_recipient_restrictions = permit_mynetworks, reject
smtpd_client_connection_rate_limit = 0
CF
{
    echo "127.0.0.1:$port inet n - n - - smtpd"
    for s in "pickup unix n - n 60 1 pickup" "cleanup unix n - n - 0 cleanup" "qmgr unix n - n 300 1 qmgr" \
             "rewrite unix - - n - - trivial-rewrite" "bounce unix - - n - 0 bounce" "defer unix - - n - 0 bounce" \
             "trace unix - - n - 0 bounce" "verify unix - - n - 1 verify" "proxymap unix - - n - - proxymap" \
             "error unix - - n - - error" "retry unix - - n - - error" "discard unix - - n - - discard" \
             "anvil unix - - n - 1 anvil" "scache unix - - n - 1 scache" "showq unix n - n - - showq" \
             "flush unix n - n 1000? 0 flush" "postlog unix-dgram n - n - 1 postlogd"; do
        echo "$s"
    done
} >"$pf/etc/master.cf"
postfix -c "$pf/etc" start >/dev/null 2>&1
for _ in $(seq 100); do (exec 3<>/dev/tcp/127.0.0.1/$port) 2>/dev/null && break; sleep 0.1; done

drain() {  # until Postfix has discarded everything
    while [ -n "$(find "$pf/queue/incoming" "$pf/queue/active" "$pf/queue/maildrop" -type f 2>/dev/null | head -1)" ]; do
        sleep 0.2
    done
}

# best prepare command...: the best wall time of $repeat runs of command,
# each after a drain of the queue and in a folder that prepare has just
# made ($1 of prepare; the command runs inside it).
seq_=0
best() {
    local prep=$1 t b="" d
    shift
    for _ in $(seq "$repeat"); do
        drain
        seq_=$((seq_ + 1))
        d=$work/run$seq_
        "$prep" "$d"
        t=$(cd "$d" && { /usr/bin/time -f %e "$@" >/dev/null 2>"$d.err"; } 2>&1; tail -1 "$d.err")
        if [ -z "$b" ] || awk -v a="$t" -v b="$b" 'BEGIN { exit !(a < b) }'; then b=$t; fi
        check_"$prep" "$d"
    done
    echo "$b"
}

# ----------------------------------------------------------- the messages
gen=$work/gen
mkdir -p "$gen"
python3 - "$gen" "$count" <<'PY'
import os, struct, sys
out, count = sys.argv[1], int(sys.argv[2])
body = "".join("Line %02d of a reply from FidoNet, long enough to look like real text.\n" % i for i in range(24))
def reply(n):
    return ("From: Sysop Pond <sysop@pond.example>\nTo: user%d@bench.test (User %d)\n"
            "Subject: Reply number %d\nDate: Tue, 14 Sep 1999 20:16:10 +0000\n"
            "Message-ID: <%d.bench@pond.example>\nMime-version: 1.0\n"
            "Content-Type: text/plain; charset=us-ascii\nContent-Transfer-Encoding: 7bit\n\n" % (n, n, n, n)
            + body).encode()
with open(os.path.join(out, "MAIL0000.MSG"), "wb") as f:
    for n in range(count):
        r = reply(n)
        f.write(struct.pack(">I", len(r)) + r)
open(os.path.join(out, "REPLIES"), "w").write("MAIL0000\tmail\tbn\n")
# smtp-source sends a file as it stands (adding CR LF): the same header and body.
open(os.path.join(out, "sample.eml"), "wb").write(reply(0))
# The same messages as incoming mail: a Maildir and a SOUP packet.
md = os.path.join(out, "Maildir")
for d in ("new", "cur", "tmp"):
    os.makedirs(os.path.join(md, d))
soup = os.path.join(out, "soup")
os.makedirs(soup)
with open(os.path.join(soup, "0000001.MSG"), "wb") as f:
    for n in range(count):
        m = ("Return-Path: <bob%d@net.example>\nDelivered-To: gate@fido.test\n"
             "From: Bob %d <bob%d@net.example>\nTo: sysop@pond.example\nSubject: Mail number %d\n"
             "Date: Tue, 14 Sep 1999 10:00:00 +0000\nMessage-ID: <%d.in@net.example>\n\n" % (n, n, n, n, n)
             + body).encode()
        open(os.path.join(md, "new", "%d.M%dP1.bench" % (1700000000 + n, n)), "wb").write(m)
        f.write(struct.pack(">I", len(m)) + m)
open(os.path.join(soup, "AREAS"), "w").write("0000001\tEmail\tbn\n")
PY
size=$(wc -c <"$gen/sample.eml")

gate() {  # folder extra-config-lines
    mkdir -p "$1"/{in,out,soup,tmp,pkt}
    cat >"$1/gate.cfg" <<GATE
FidoAddr 2:280/5555
AddrMap 2:280/5555 sysop@pond.example Sysop Pond
MailerType Binkley
InboundDir in
OutboundDir out
SoupDir soup
TempDir tmp
$2
GATE
}

# ------------------------------------------------------------- delivery
replies() {
    gate "$1" "SendMail smtp://127.0.0.1:$port"
    cp "$gen/MAIL0000.MSG" "$gen/REPLIES" "$1/soup/"
}
check_replies() {
    local left
    left=$(ls "$1/soup" | grep -v pondlark || true)
    [ -z "$left" ] || { echo "bench/delivery.sh: replies left after delivery: $left" >&2; cat "$1.err" >&2; exit 1; }
}
none() { mkdir -p "$1"; }
check_none() { :; }
t_pondlark=$(best replies "$bin" export /config=./gate.cfg /pkt=pkt)
t_source=$(best none smtp-source -d -s 1 -m "$count" -F "$gen/sample.eml" -f sysop@pond.example -t user@bench.test 127.0.0.1:"$port")
drain
conns=$(grep -c ': connect from' "$pf/maillog" || true)

# ------------------------------------------------------------ taking in
maildir() {
    gate "$1" "ImportMaildir ./Maildir"
    cp -r "$gen/Maildir" "$1/"
}
check_maildir() {
    [ -z "$(ls "$1/Maildir/new")" ] || { echo "bench/delivery.sh: messages left in the Maildir" >&2; exit 1; }
}
soup() {
    gate "$1" ""
    cp "$gen/soup/"* "$1/soup/"
}
check_soup() { :; }
cat "$gen/soup/"* "$gen/Maildir/new/"* >/dev/null
t_soup=$(best soup "$bin" import /config=./gate.cfg)
t_maildir=$(best maildir "$bin" import /config=./gate.cfg)
# The floor of taking the Maildir in: reading every file once and one
# rename each into cur/ with the seen flag, what marking them must do.
c++ -O2 -o "$work/maildirfloor" bench/maildirfloor.cpp
floor() { cp -r "$gen/Maildir" "$1/"; }
check_floor() { :; }
t_floor=$(best floor "$work/maildirfloor" Maildir)

awk -v n="$count" -v s="$size" -v p="$t_pondlark" -v q="$t_source" -v c="$conns" -v a="$t_soup" -v b="$t_maildir" -v r="$repeat" -v f="$t_floor" 'BEGIN {
    printf "delivery  %d messages of %d bytes: pondlark export %.2f s (%.0f msgs/s), smtp-source %.2f s (%.0f msgs/s), ratio %.2f\n", n, s, p, n / p, q, n / q, p / q
    printf "          (the server saw %d connections for %d runs of each, one of them the start-up probe)\n", c, r
    printf "taking in %d messages: import from a Maildir %.2f s, the same as a SOUP packet %.2f s, ratio %.2f\n", n, b, a, b / a
    printf "          (reading each of the %d files once and renaming it into cur/ takes %.2f s alone: taking in adds %.2f s beyond that)\n", n, f, b - a - f
}'
