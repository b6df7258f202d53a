#!/usr/bin/env bash
# Checks the installed Debian package on this machine (run as root, after
# "apt install ./pondlark_*.deb"; CI does, see .ci/run):
#   packaging/check-installed.sh installed   the files, the user, the modes,
#                                            the conffiles, the units, the
#                                            logrotate file, and a check and
#                                            an import run as the user pondlark
#   packaging/check-installed.sh removed     after "apt remove": the data stays
#   packaging/check-installed.sh purged      after "apt purge": the data is gone
set -euo pipefail

fail() { echo "FAILED: $*"; exit 1; }
want() { [ -e "$1" ] || fail "$1 is missing"; }
mode() {  # path owner:group octal-mode
    local got
    got=$(stat -c '%U:%G %a' "$1") || fail "$1 is missing"
    [ "$got" = "$2 $3" ] || fail "$1 is $got, not $2 $3"
}

installed() {
    for f in /usr/bin/pondlark /etc/pondlark/pondlark.cfg /etc/pondlark/cycle \
             /lib/systemd/system/pondlark.service /lib/systemd/system/pondlark.timer \
             /etc/logrotate.d/pondlark /usr/lib/pondlark/pondlark-newsbatch \
             /usr/lib/pondlark/pondlark-folders /usr/share/man/man8/pondlark.8.gz \
             /usr/share/man/man5/pondlark.cfg.5.gz; do
        want "$f"
    done
    [ -x /etc/pondlark/cycle ] || fail "/etc/pondlark/cycle is not executable"
    conffiles=$(dpkg-query -W -f='${Conffiles}\n' pondlark)
    for f in /etc/pondlark/pondlark.cfg /etc/pondlark/cycle /etc/logrotate.d/pondlark; do
        grep -q " $f " <<<"$conffiles" || fail "$f is no conffile"
    done

    getent group pondlark >/dev/null || fail "no group pondlark"
    IFS=: read -r _ _ uid _ _ home shell < <(getent passwd pondlark) || fail "no user pondlark"
    [ "$uid" -lt 1000 ] || fail "pondlark is no system user (uid $uid)"
    [ "$home" = /var/spool/pondlark ] || fail "pondlark's home is $home"
    [ "$shell" = /usr/sbin/nologin ] || fail "pondlark's shell is $shell"

    mode /etc/pondlark/pondlark.cfg root:pondlark 640
    mode /var/spool/pondlark pondlark:pondlark 751
    mode /var/spool/pondlark/Maildir pondlark:pondlark 700
    mode /var/spool/pondlark/Maildir/new pondlark:pondlark 700
    mode /var/spool/pondlark/soup pondlark:pondlark 750
    mode /var/spool/pondlark/tmp pondlark:pondlark 700
    mode /var/spool/pondlark/in pondlark:pondlark 2770
    mode /var/spool/pondlark/news news:pondlark 2775
    mode /var/log/pondlark pondlark:adm 2750

    systemd-analyze verify /lib/systemd/system/pondlark.service /lib/systemd/system/pondlark.timer
    systemd-analyze security --offline=true --no-pager /lib/systemd/system/pondlark.service | tail -1
    # The output is taken whole before it is searched: "logrotate | grep -q"
    # under pipefail fails whenever grep stops reading before logrotate has
    # written its last line.
    if command -v logrotate >/dev/null; then
        out=$(logrotate -d /etc/logrotate.d/pondlark 2>&1) &&
            grep -q "rotating pattern: /var/log/pondlark/pondlark.log" <<<"$out" ||
            fail "logrotate does not take /etc/logrotate.d/pondlark: $out"
    fi

    # The installed configuration, its outbound pointed at a scratch
    # folder: check finds it with no option, as the user pondlark.
    scratch=$(mktemp -d /var/tmp/pondlark-ci.XXXXXX)
    install -d -o pondlark -g pondlark "$scratch/outbound"
    chmod 755 "$scratch"
    sed -i "s|^OutboundDir .*|OutboundDir $scratch/outbound|" /etc/pondlark/pondlark.cfg
    # As the README says for rnews.
    getent group uucp >/dev/null && adduser --quiet pondlark uucp
    out=$(cd / && runuser -u pondlark -- pondlark check 2>&1) || fail "pondlark check: $out"
    echo "$out"
    grep -q "Configuration checked. Nothing more to do." <<<"$out" || fail "pondlark check: $out"
    ! grep -Eq "Warning: .*(Dir|Maildir|NewsBatches|LogFile|writable|belongs)" <<<"$out" ||
        fail "pondlark check warns about the folders"
    # A mail Postfix would have delivered reaches the tosser's inbound.
    printf 'From: Bob <bob@net.example>\nTo: sysop@fidonet.example.org\nSubject: Hello\nMessage-ID: <ci1@net.example>\n\nHello FidoNet.\n' |
        runuser -u pondlark -- tee /var/spool/pondlark/Maildir/new/1.ci.host >/dev/null
    out=$(cd / && runuser -u pondlark -- pondlark import 2>&1) || fail "pondlark import: $out"
    ls /var/spool/pondlark/in/*.PKT >/dev/null 2>&1 || fail "no packet in /var/spool/pondlark/in: $out"
    grep -q "Taking in 1 message(s) from Maildir" /var/log/pondlark/pondlark.log || fail "nothing in the log"
    rm -rf "$scratch"
    echo "installed package checked"
}

removed() {
    [ ! -e /usr/bin/pondlark ] || fail "/usr/bin/pondlark is still there"
    want /etc/pondlark/pondlark.cfg
    want /var/spool/pondlark/in
    want /var/log/pondlark/pondlark.log
    ls /var/spool/pondlark/in/*.PKT >/dev/null 2>&1 || fail "remove took the spool's packets"
    echo "removed package checked: the data stays"
}

purged() {
    for f in /etc/pondlark /var/spool/pondlark /var/log/pondlark; do
        [ ! -e "$f" ] || fail "$f is still there after purge"
    done
    ! dpkg-statoverride --list /etc/pondlark/pondlark.cfg >/dev/null || fail "the statoverride stays"
    ! dpkg-query -W pondlark >/dev/null 2>&1 || grep -q "not-installed" <<<"$(dpkg-query -W -f='${Status}\n' pondlark)" ||
        fail "the package is still known: $(dpkg-query -W -f='${Status}' pondlark)"
    echo "purged package checked: nothing left"
}

"$1"
