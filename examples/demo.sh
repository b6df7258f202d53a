#!/usr/bin/env bash
# Runs PondLark on the bundled example in a scratch folder ./demo:
# checks the configuration, then shows what the run wrote.
set -euo pipefail
cd "$(dirname "$0")/.."
bin=${1:-build/pondlark}

rm -rf demo
mkdir -p demo/inbound demo/outbound demo/soup demo/temp demo/decode

echo "=== pondlark check"
"$bin" check /config=examples/pondlark.cfg

echo
echo "=== demo/pondlark.log"
cat demo/pondlark.log
