#!/usr/bin/env bash
# Rewrites the reports of golden cases from what the program prints now:
# expected.stderr and the log files (*.log) of expected/, nothing else. For
# a change of wording only; read every changed line (git diff) before
# committing it.
#   tests/golden/refresh-logs.sh BUILDDIR [CASE...]   (CASE: import/mail ...)
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
bin=$(cd "$1" && pwd)/tests/pondlark-fixedclock
shift
[ -x "$bin" ] || { echo "no $bin: build the tests first"; exit 1; }
cases=("$@")
if [ ${#cases[@]} -eq 0 ]; then
    while IFS= read -r args; do
        cases+=("$(dirname "${args#"$here"/}")")
    done < <(find "$here" -name args | sort)
fi
for c in "${cases[@]}"; do
    dir=$here/$c
    work=$(mktemp -d)
    [ -d "$dir/input" ] && cp -a "$dir/input/." "$work/"
    find "$work" -name .keep -delete
    mapfile -t args < <(grep -v '^$' "$dir/args")
    envs=()
    [ -f "$dir/env" ] && mapfile -t envs < <(grep -v '^$' "$dir/env")
    (cd "$work" && env TZ=UTC "${envs[@]}" "$bin" "${args[@]}" >/dev/null 2>"$work.stderr") || true
    [ -f "$dir/expected.stderr" ] && cp "$work.stderr" "$dir/expected.stderr"
    while IFS= read -r log; do
        rel=${log#"$dir/expected/"}
        [ -f "$work/$rel" ] && cp "$work/$rel" "$log"
    done < <(find "$dir/expected" -name '*.log')
    rm -rf "$work" "$work.stderr"
done
