#!/usr/bin/env bash
# Times taking news in from an NNTP server, in one sitting: COUNT articles
# (10,000) in one group of a private INN (nnrpd on loopback), fetched by
# `pondlark import` over one connection, against a plain NNTP client of
# the test suite sending the same commands (MODE READER, GROUP, ARTICLE by
# number, 100 on their way) over one connection and writing the articles
# as an rnews batch, and against `pondlark import` of that batch (staging
# and importing without the fetch). Fetching costs the difference of the
# two imports; the ratio is that against the plain client.
#
#   bench/nntpfetch.sh [COUNT]      (default 10000; needs root and inn2)
#
# Environment: BENCH_REPEAT (runs per figure, the best counts; default 3),
# BENCH_BIN (the program; default the Release build made here), BENCH_BUILD
# (the build folder, with tests; default build-bench-tests).
set -euo pipefail
cd "$(dirname "$0")/.."
count=${1:-10000}
[ "$(id -u)" -eq 0 ] || { echo "bench/nntpfetch.sh: needs root (it starts an INN)"; exit 1; }
build=${BENCH_BUILD:-build-bench-tests}
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Release -DPONDLARK_TESTS=ON >/dev/null
cmake --build "$build" -j2 --target pondlark pondlark_tests >/dev/null
BENCH_COUNT=$count BENCH_BIN=${BENCH_BIN:-$PWD/$build/pondlark} \
    "$build"/tests/pondlark_tests --gtest_filter=nntpbench.DISABLED_fetch \
    --gtest_also_run_disabled_tests | grep -E '^(fed|fetch) |FAILED|Failure' || true
