#!/usr/bin/env python3
"""Runs every benchmark program of a build and prints KrelStd's time against its peer's.

A program pairs its benchmarks by name: "<path>/krel" and "<path>/peer" (anything may follow,
such as "/threads:8"). The KrelStd side may carry the label "goal<=N", the ratio it must stay
under, or "<counter><=N", a bound on a counter it reports (a latency, a memory ratio), and the
counter "allocs", its heap allocations per call. Ratios use medians over the repetitions: of
real time for rows that time themselves (manual time), ask for real time, or run several
threads, since CPU time leaves out the waits and the other threads they are about; of CPU time
otherwise. Each time is printed with its unit, the largest that keeps it at least 1.

Each row names its peer: the peer benchmark's label when it sets one, else the name listed in
PEERS for its program and path. The columns are as wide as their longest entry.
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

# What each program's peers are, by the first path fragment that matches (an empty fragment
# matches every path): the program a user would run instead, or the code written by hand.
PEERS = {
    "CharsetBench": [("base64", "OpenSSL EVP base64"), ("", "iconv")],
    "ConnectionBench": [("connect and disconnect", "bare socket connect and close"),
                        ("", "hand-written heart-beat monitor")],
    "DispatcherBench": [("", "std::function list under std::mutex")],
    "ExitBench": [("", "the same program without KrelStd")],
    "FilePreferencesBench": [("", "Qt QSettings (INI)")],
    "FileWatcherBench": [("", "inotify wait")],
    "FormatBench": [("into buffer", "swprintf"), ("", "{fmt} format")],
    "IniBench": [("save", "Boost.PropertyTree INI writer"), ("peak", "Boost.PropertyTree INI reader"),
                 ("", "inih")],
    "LockBench": [("Lock uncontended", "std::recursive_mutex"), ("AutoLock", "std::mutex"),
                  ("ReaderLock", "std::shared_mutex"), ("ReadWriteLock", "std::shared_mutex"),
                  ("Event", "std::condition_variable"), ("wait for any", "poll of 8 eventfds")],
    "LogBench": [("", "spdlog")],
    "PreferenceNotifyBench": [("", "mutex, deque and condition_variable")],
    "PreferencesBench": [("", "std::map under std::mutex")],
    "PreferencesXmlBench": [("export file back end", "in-memory back end's export"),
                            ("file back end", "java.util.prefs import and flush"),
                            ("100000 entries", "Xerces-C DOM parse alone"),
                            ("", "Xerces-C DOM by hand")],
    "ProcessBench": [("POCO", "POCO Process::launch"), ("", "posix_spawn")],
    "RegistryBench": [("", "SQLite table by hand")],
    "RegistryPreferencesBench": [("QSettings", "Qt QSettings (INI)"),
                                 ("against", "the same call on 1 000 keys"),
                                 ("", "SQLite table by hand")],
    "RegistryStoreBench": [("watch armed", "the same write without a watch"),
                           ("another process", "inotify wait for an append"),
                           ("against", "the same listing of 1 000 values"),
                           ("", "SQLite directly")],
    "RollingLogBench": [("log4cxx", "log4cxx rolling file"), ("poco", "POCO rolling file"),
                        ("spdlog flushed", "spdlog rotating file, flushed"),
                        ("line into", "snprintf and one write"), ("", "spdlog rotating file")],
    "ServiceControlBench": [("", "bare socket to a spawned child")],
    "SignalBench": [("", "sigaction, self-pipe and reader thread")],
}


def peer_name(program, key, peer):
    if peer.get("label"):
        return peer["label"]
    for fragment, name in PEERS.get(program, []):
        if fragment in key:
            return name
    return "?"


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


HEADER = ("program", "path", "krel", "peer", "clock", "ratio", "goal", "allocs", "peer is")
LEFT = {"program", "path", "peer is"}
table = []
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
    cells = (program, key, time_text(krel), time_text(peer), clock, f"{ratio:.2f}", goal_text,
             allocs, peer_name(program, key, peer))
    table.append((cells, met))

widths = [max([len(HEADER[i])] + [len(cells[i]) for cells, _ in table]) for i in range(len(HEADER))]


def line(cells):
    return " ".join(cell.ljust(width) if title in LEFT else cell.rjust(width)
                    for title, cell, width in zip(HEADER, cells, widths)).rstrip()


print(line(HEADER))
for cells, met in table:
    print(line(cells) + ("" if met else "  missed"))
print("allocs: the KrelStd side's heap allocations (operator new) per call, made by the calling"
      " thread (by any thread in IniBench); empty where a program does not count them")
print(f"{missed} goal(s) missed" if missed else "every goal met")
