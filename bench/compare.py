#!/usr/bin/env python3
"""Compares two builds of lamina_bench in one run.

    bench/compare.py OLD_BENCH NEW_BENCH [FILTER] [--rounds N]

Runs the two binaries alternately, N rounds each (default 5), with the same
--benchmark_filter, and prints for every benchmark the median ns per face (or
edge row) of each and their ratio. Alternating keeps a shared, noisy machine's
drift out of the comparison as far as it can be.
"""
import argparse
import re
import statistics
import subprocess

ROW = re.compile(r"^(\S+/\S+)\s+([0-9.]+)(\s|$)")


def figures(binary, flt):
    out = subprocess.run([binary, f"--benchmark_filter={flt}", "--benchmark_min_time=0.2"],
                         check=True, capture_output=True, text=True).stdout
    # The summary after the table: a benchmark's name, then its figure (and,
    # in newer builds, a baseline beside it).
    summary = out.split("benchmark (ns per face or edge row)", 1)[-1]
    result = {}
    for line in summary.splitlines()[1:]:
        m = ROW.match(line)
        if m:
            result[m.group(1)] = float(m.group(2))
    return result


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("old")
    ap.add_argument("new")
    ap.add_argument("filter", nargs="?", default="/200000$")
    ap.add_argument("--rounds", type=int, default=5)
    a = ap.parse_args()
    runs = {"old": [], "new": []}
    for _ in range(a.rounds):
        runs["old"].append(figures(a.old, a.filter))
        runs["new"].append(figures(a.new, a.filter))
    names = sorted(set(runs["old"][0]) | set(runs["new"][0]))
    print(f"{'benchmark (median ns per face or edge row)':<52} {'old':>10} {'new':>10} {'new/old':>8}")
    for name in names:
        med = {k: statistics.median(r[name] for r in v if name in r) if any(name in r for r in v)
               else None for k, v in runs.items()}
        old, new = med["old"], med["new"]
        ratio = f"{new / old:8.3f}" if old and new else ""
        fmt = lambda x: f"{x:10.2f}" if x is not None else f"{'':>10}"
        print(f"{name:<52} {fmt(old)} {fmt(new)} {ratio}")


if __name__ == "__main__":
    main()
