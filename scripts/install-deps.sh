#!/usr/bin/env bash
# Installs the Debian packages PondLark needs, and only those that are
# missing, so that a second run costs nothing.
#   scripts/install-deps.sh          what the program needs to build
#   scripts/install-deps.sh --tests  also what the test suite needs: the
#                                    mail and news servers the end-to-end
#                                    tests start on loopback, the mail
#                                    programs that wrote its test data, the
#                                    fuzzing compiler, the checkers of the
#                                    man pages and systemd units
#   scripts/install-deps.sh --package  also what scripts/build-package.sh
#                                    needs (debhelper) and lintian
# Run as root (or through sudo) on Debian 12.
set -euo pipefail

build=(g++ cmake make pkg-config libicu-dev libxml2-dev libcurl4-openssl-dev libssl-dev)
tests=(libgtest-dev libgmock-dev python3 clang strace postfix inn2 crashmail
       mutt mblaze procps sasl2-bin libsasl2-modules openssl mandoc systemd opendkim
       opendkim-tools python3-dkim)
package=(debhelper dpkg-dev lintian)

want=("${build[@]}")
[ "${1:-}" = "--tests" ] && want+=("${tests[@]}")
[ "${1:-}" = "--package" ] && want+=("${package[@]}")

missing=()
for pkg in "${want[@]}"; do
    [ "$(dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null)" = "install ok installed" ] ||
        missing+=("$pkg")
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "installing: ${missing[*]}"
sudo=()
[ "$(id -u)" -ne 0 ] && sudo=(sudo)
# Postfix asks how it is used; the tests want a mail system for this
# machine alone.
"${sudo[@]}" debconf-set-selections <<'SEL'
postfix postfix/main_mailer_type select Local only
postfix postfix/mailname string localhost
SEL
export DEBIAN_FRONTEND=noninteractive
"${sudo[@]}" apt-get update -qq
# INN's set-up stops when the host name has no domain (as on most
# virtual machines); it then needs one in inn.conf and is set up again.
"${sudo[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}" || {
    [ -f /etc/news/inn.conf ] || exit 1
    grep -q '^domain:' /etc/news/inn.conf ||
        "${sudo[@]}" sed -i 's/^#\?domain:.*/domain: localdomain/' /etc/news/inn.conf
    "${sudo[@]}" dpkg --configure -a
}
