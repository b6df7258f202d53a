#!/usr/bin/env python3
"""Times one command, several times, each in a freshly prepared folder.

  measure.py REPEAT INPUT WORKDIR -- COMMAND...

For each repetition a new folder WORKDIR/<n> is made and INPUT is copied
into it by the preparation named in the environment variable BENCH_PREPARE
(a shell command run with $INPUT and $RUN set; default: none); then
COMMAND runs inside $RUN (every argument "{run}" in it is replaced by the
folder). Prints one line: the best wall time in seconds, the user and
system seconds of that run, the largest peak resident size of all runs
in KiB, and the median wall time:

  0.123456 0.080000 0.040000 3712 0.130000

With the environment variable BENCH_BINS (programs, one a line) the
command is timed once per program, "{bin}" in it replaced by the program,
the programs taking turns run by run so that they share the machine's ups
and downs; one such line per program, in the order given (folders
WORKDIR/<k>-<n>).

Wall time comes from a monotonic clock of nanosecond resolution, user and
system time from wait4() of the child, the peak from /usr/bin/time (which
runs the command and adds well under a millisecond to it). Folders are left for the caller to
remove, so that deleting the files of one repetition never slows down the
file creation of the next (a file system without a journal avoids reusing
recently freed inodes, and the search for free ones costs system time).
"""
import os
import statistics
import subprocess
import sys
import time


def runonce(run, prepare, source, command):
    os.makedirs(run)
    if prepare:
        subprocess.run(["bash", "-c", prepare], check=True,
                       env=dict(os.environ, INPUT=source, RUN=run))
    # The peak memory comes from /usr/bin/time: the rusage of a child
    # that Python starts also counts Python's own memory, which the child
    # shared until its exec.
    memfile = os.path.join(run, "peak.txt")
    argv = ["/usr/bin/time", "-f", "%M", "-o", memfile]
    argv += [a.replace("{run}", run) for a in command]
    with open(os.path.join(run, "stderr.txt"), "wb") as err:
        start = time.perf_counter_ns()
        child = subprocess.Popen(argv, cwd=run, stdout=subprocess.DEVNULL, stderr=err)
        _, status, usage = os.wait4(child.pid, 0)
        wall = (time.perf_counter_ns() - start) / 1e9
    if os.waitstatus_to_exitcode(status) != 0:
        sys.exit("command failed in %s: %s" % (run, " ".join(argv)))
    with open(memfile) as f:
        peak = int(f.read().split()[-1])
    return wall, usage.ru_utime, usage.ru_stime, peak


def main():
    if len(sys.argv) < 6 or sys.argv[4] != "--":
        sys.exit(__doc__)
    repeat, source, work = int(sys.argv[1]), sys.argv[2], sys.argv[3]
    command = sys.argv[5:]
    prepare = os.environ.get("BENCH_PREPARE", "")
    bins = [b for b in os.environ.get("BENCH_BINS", "").split("\n") if b]
    programs = bins or [None]
    runs = [[] for _ in programs]
    for n in range(repeat):
        for k, prog in enumerate(programs):
            cmd = command if prog is None else [a.replace("{bin}", prog) for a in command]
            run = os.path.join(work, str(n) if prog is None else "%d-%d" % (k, n))
            runs[k].append(runonce(run, prepare, source, cmd))
    for r in runs:
        best = min(r)
        median = statistics.median(x[0] for x in r)
        print("%.6f %.6f %.6f %d %.6f" % (best[0], best[1], best[2], max(x[3] for x in r), median))


if __name__ == "__main__":
    main()
