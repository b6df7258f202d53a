#!/usr/bin/env bash
# Checks what an installation holds, as built in a build folder:
#   packaging/check-packaging.sh <build folder> <source folder>
# - the man pages pass "mandoc -Tlint" without a message;
# - pondlark.cfg(5) describes exactly the keywords of the README's
#   configuration reference, in its order;
# - the systemd units pass "systemd-analyze verify" and the service's
#   exposure ("systemd-analyze security") stays at 2.0 or below;
# - the shell scripts parse.
# Without mandoc or systemd-analyze the check is skipped (exit 77), and
# fails under CI=true.
set -euo pipefail
build=$1/packaging
src=$2

need() {
    command -v "$1" >/dev/null && return
    if [ "${CI:-}" = true ]; then echo "$1 is needed (scripts/install-deps.sh --tests)"; exit 1; fi
    echo "$1 is not installed: skipped"; exit 77
}
need mandoc
need systemd-analyze

for page in pondlark.8 pondlark.cfg.5; do
    out=$(mandoc -Tlint "$build/$page" 2>&1 || true)
    [ -z "$out" ] || { echo "mandoc -Tlint $page:"; echo "$out"; exit 1; }
done

readme=$(awk '/^## Configuration reference$/ { on = 1; next } /^## / { on = 0 }
              on && /^\| `/ { split($0, c, "`"); print c[2] }' "$src/README.md")
man=$(awk '/^\.SH / { on = $2 == "KEYWORDS" }
           on && prev == ".TP" { s = $0; sub(/^\\fB/, "", s); sub(/\\fR.*/, "", s); print s } { prev = $0 }' \
      "$build/pondlark.cfg.5")
[ -n "$readme" ] || { echo "no keywords in the README's configuration reference"; exit 1; }
if [ "$readme" != "$man" ]; then
    echo "pondlark.cfg(5) and the README's configuration reference differ:"
    diff <(echo "$readme") <(echo "$man") || true
    exit 1
fi

units=$(mktemp -d)
trap 'rm -rf "$units"' EXIT
# The cycle is not installed here: the service runs /bin/true instead.
sed 's|^ExecStart=.*|ExecStart=/bin/true|' "$build/pondlark.service" >"$units/pondlark.service"
cp "$src/packaging/pondlark.timer" "$units/"
systemd-analyze verify --man=no "$units/pondlark.service" "$units/pondlark.timer"
score=$(systemd-analyze security --offline=true --no-pager "$units/pondlark.service" 2>&1 |
        sed -n 's/.*Overall exposure level for pondlark.service: \([0-9.]*\).*/\1/p')
echo "exposure of pondlark.service: $score"
awk -v s="$score" 'BEGIN { exit !(s != "" && s <= 2.0) }' || { echo "exposure above 2.0"; exit 1; }

for script in "$build/cycle" "$build/pondlark-folders" "$src/scripts/pondlark-newsbatch"; do
    sh -n "$script"
done
echo "packaging checked"
