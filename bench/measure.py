#!/usr/bin/env python3
"""Times one command, several times, each in a freshly prepared folder.

  measure.py REPEAT INPUT WORKDIR -- COMMAND...

For each repetition a new folder WORKDIR/<n> is made and INPUT is copied
into it by the preparation named in the environment variable BENCH_PREPARE
(a shell command run with $INPUT and $RUN set; default: none); then
COMMAND runs inside $RUN (every argument "{run}" in it is replaced by the
folder). Prints one line: the best wall time in seconds, the user and
system seconds of that run, and the largest peak resident size of all runs
in KiB:

  0.123456 0.080000 0.040000 3712

Wall time comes from a monotonic clock of nanosecond resolution, user and
system time from wait4() of the child, the peak from /usr/bin/time (which
runs the command and adds well under a millisecond to it). Folders are left for the caller to
remove, so that deleting the files of one repetition never slows down the
file creation of the next (a file system without a journal avoids reusing
recently freed inodes, and the search for free ones costs system time).
"""
import os
import subprocess
import sys
import time


def main():
    if len(sys.argv) < 6 or sys.argv[4] != "--":
        sys.exit(__doc__)
    repeat, source, work = int(sys.argv[1]), sys.argv[2], sys.argv[3]
    command = sys.argv[5:]
    prepare = os.environ.get("BENCH_PREPARE", "")
    best = None
    peak = 0
    for n in range(repeat):
        run = os.path.join(work, str(n))
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
            peak = max(peak, int(f.read().split()[-1]))
        if best is None or wall < best[0]:
            best = (wall, usage.ru_utime, usage.ru_stime)
    print("%.6f %.6f %.6f %d" % (best[0], best[1], best[2], peak))


if __name__ == "__main__":
    main()
