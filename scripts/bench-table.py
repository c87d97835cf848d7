#!/usr/bin/env python3
"""Runs every benchmark program of a build and prints KrelStd's time against its peer's.

A program pairs its benchmarks by name: "<path>/krel" and "<path>/peer" (anything may follow,
such as "/threads:8"). The KrelStd side may carry the label "goal<=N", the ratio it must stay
under, or "<counter><=N", a bound on a counter it reports (a latency, a memory ratio), and the
counter "allocs", its heap allocations per call. Ratios use medians over the repetitions.
Benchmarks timed by the wall clock (UseRealTime, names ending in "/real_time", such as several
processes writing at once, where the measuring thread only waits) compare wall-clock times.
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
for program in sorted(glob.glob(os.path.join(build, "bench", "*Bench"))):
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

print(f"{'program':<18} {'path':<44} {'krel ns':>10} {'peer ns':>10} {'ratio':>7} "
      f"{'goal':>22} {'allocs':>7}")
missed = 0
for program, key, krel, peer in rows:
    measure = "real_time" if key.endswith("/real_time") else "cpu_time"
    ratio = krel[measure] / peer[measure]
    goal = re.search(r"(\w+)<=([0-9.]+)", krel.get("label", ""))
    goal_text, met = "", True
    if goal:
        name, bound = goal.group(1), float(goal.group(2))
        value = ratio if name == "goal" else krel.get(name, float("inf"))
        goal_text = f"ratio<={bound:g}" if name == "goal" else f"{name} {value:.3g}<={bound:g}"
        met = value <= bound
    missed += 0 if met else 1
    allocs = f"{krel['allocs']:.2f}" if "allocs" in krel else ""
    print(f"{program:<18} {key:<44} {krel[measure]:>10.1f} {peer[measure]:>10.1f} "
          f"{ratio:>7.2f} {goal_text:>22} {allocs:>7}{'' if met else ' missed'}")
print(f"{missed} goal(s) missed" if missed else "every goal met")
