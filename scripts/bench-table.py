#!/usr/bin/env python3
"""Runs every benchmark program of a build and prints KrelStd's time against its peer's.

A program pairs its benchmarks by name: "<path>/krel" and "<path>/peer" (anything may follow,
such as "/threads:8"). The KrelStd side may carry the label "goal<=N", the ratio it must stay
under, or "<counter><=N", a bound on a counter it reports (a latency, a memory ratio), and the
counter "allocs", its heap allocations per call. Ratios use medians over the repetitions: of
real time for rows that time themselves (manual time), ask for real time, or run several
threads, since CPU time leaves out the waits and the other threads they are about; of CPU time
otherwise. Each time is printed with its unit, the largest that keeps it at least 1.
"""
import glob
import json
import os
import re
import subprocess
import sys

build = sys.argv[1] if len(sys.argv) > 1 else "build-bench"
repetitions = os.environ.get("BENCH_REPETITIONS", "5")
rows = []
programs = sorted(glob.glob(os.path.join(build, "bench", "*Bench")))
for number, program in enumerate(programs, 1):
    print(f"[{number}/{len(programs)}] {os.path.basename(program)}", file=sys.stderr, flush=True)
    output = subprocess.run(
        [program, f"--benchmark_repetitions={repetitions}",
         "--benchmark_report_aggregates_only=true", "--benchmark_format=json"],
        check=True, capture_output=True, text=True).stdout
    medians = {}
    for b in json.loads(output)["benchmarks"]:
        if b.get("aggregate_name") != "median":
            continue
        m = re.match(r"(.*)/(krel|peer)(/.*)?$", b["run_name"])
        if m:
            key = m.group(1) + (m.group(3) or "")
            medians.setdefault(key, {})[m.group(2)] = b
    for key, pair in medians.items():
        if "krel" in pair and "peer" in pair:
            rows.append((os.path.basename(program), key, pair["krel"], pair["peer"]))



def uses_real_time(row):
    return ("/manual_time" in row["run_name"] or "/real_time" in row["run_name"]
            or row.get("threads", 1) > 1)


def timed(row):
    return row["real_time"] if uses_real_time(row) else row["cpu_time"]


NANOSECONDS_PER_UNIT = {"ns": 1, "us": 1e3, "ms": 1e6, "s": 1e9}


def time_text(row):
    """The row's time in the largest unit that keeps it at least 1."""
    nanoseconds = timed(row) * NANOSECONDS_PER_UNIT[row.get("time_unit", "ns")]
    for unit in ("s", "ms", "us"):
        if nanoseconds >= NANOSECONDS_PER_UNIT[unit]:
            return f"{nanoseconds / NANOSECONDS_PER_UNIT[unit]:.1f} {unit}"
    return f"{nanoseconds:.1f} ns"


print(f"{'program':<18} {'path':<44} {'krel':>12} {'peer':>12} {'clock':>5} {'ratio':>7} "
      f"{'goal':>22} {'allocs':>7}")
missed = 0
for program, key, krel, peer in rows:
    ratio = timed(krel) / timed(peer)
    goal = re.search(r"(\w+)<=([0-9.]+)", krel.get("label", ""))
    goal_text, met = "", True
    if goal:
        name, bound = goal.group(1), float(goal.group(2))
        value = ratio if name == "goal" else krel.get(name, float("inf"))
        goal_text = f"ratio<={bound:g}" if name == "goal" else f"{name} {value:.3g}<={bound:g}"
        met = value <= bound
    missed += 0 if met else 1
    allocs = f"{krel['allocs']:.2f}" if "allocs" in krel else ""
    clock = "real" if uses_real_time(krel) else "cpu"
    print(f"{program:<18} {key:<44} {time_text(krel):>12} {time_text(peer):>12} {clock:>5} "
          f"{ratio:>7.2f} {goal_text:>22} {allocs:>7}{'' if met else ' missed'}")
print(f"{missed} goal(s) missed" if missed else "every goal met")
