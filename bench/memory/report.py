#!/usr/bin/env python3
"""Runs malloc_bench under each allocator (by LD_PRELOAD), interleaved run by
run, and prints a Markdown table: median throughput per workload and thread
count, each allocator's throughput relative to ours, and median peak RSS."""
import argparse
import glob
import os
import statistics
import subprocess
import sys

WORKLOADS = {
    "lifo": "small LIFO pairs (8-128 B)",
    "live": "random live set, 16 B-4 KB",
    "prodcons": "producer/consumer, cross-thread frees",
    "churn": "thread churn",
    "realloc": "realloc growth (string append)",
    "large": "large blocks, 64 KB-16 MB",
}


def find_library(name):
    hits = sorted(glob.glob(f"/usr/lib/*/{name}")) + sorted(glob.glob(f"/usr/lib/{name}"))
    return hits[0] if hits else None


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--bench", required=True)
    ap.add_argument("--ours", required=True)
    ap.add_argument("--reps", type=int, default=5)
    ap.add_argument("--workloads", nargs="*", default=list(WORKLOADS))
    ap.add_argument("--threads", nargs="*", type=int)
    args = ap.parse_args()

    cores = os.cpu_count() or 1
    threads = args.threads or sorted({1, 2, 4, cores})
    allocators = [("ours", args.ours), ("glibc", None)]
    for label, lib in (("jemalloc", "libjemalloc.so.2"), ("mimalloc", "libmimalloc.so.2"),
                       ("tcmalloc", "libtcmalloc_minimal.so.4")):
        path = find_library(lib)
        if path:
            allocators.append((label, path))
        else:
            print(f"note: {lib} not found, {label} left out", file=sys.stderr)

    results = {}  # (workload, threads, allocator) -> [(ops/s, rss KB)]
    for w in args.workloads:
        for t in threads:
            for rep in range(args.reps):
                # Interleaved: every allocator once per repetition.
                for label, lib in allocators:
                    env = dict(os.environ)
                    env.pop("LD_PRELOAD", None)
                    if lib:
                        env["LD_PRELOAD"] = lib
                    out = subprocess.run([args.bench, w, str(t), str(rep + 1)], env=env,
                                         capture_output=True, text=True)
                    if out.returncode != 0:
                        print(f"{label} failed {w} at {t} threads: {out.stdout}{out.stderr}", file=sys.stderr)
                        continue
                    _, _, ops, seconds, rss, faults = out.stdout.split()
                    results.setdefault((w, t, label), []).append((int(ops) / float(seconds), int(rss)))
            print(f"done: {w} x{t}", file=sys.stderr)

    names = [label for label, _ in allocators]
    print(f"Machine: {cores} cores; {args.reps} interleaved runs per cell, medians.")
    print("Throughput in million operations per second; (x) = throughput relative to ours; "
          "peak RSS in MB.\n")
    for w in args.workloads:
        print(f"### {w}: {WORKLOADS[w]}\n")
        print("| threads | " + " | ".join(names) + " | peak RSS " + " / ".join(names) + " |")
        print("|---" * (len(names) + 2) + "|")
        for t in threads:
            cells = []
            rss = []
            ours = results.get((w, t, "ours"))
            base = statistics.median(r[0] for r in ours) if ours else None
            for label in names:
                runs = results.get((w, t, label))
                if not runs:
                    cells.append("failed")
                    rss.append("-")
                    continue
                tp = statistics.median(r[0] for r in runs)
                ratio = f" ({tp / base:.2f}x)" if base and label != "ours" else ""
                cells.append(f"{tp / 1e6:.1f}{ratio}")
                rss.append(f"{statistics.median(r[1] for r in runs) / 1024:.0f}")
            print(f"| {t} | " + " | ".join(cells) + " | " + " / ".join(rss) + " |")
        print()


if __name__ == "__main__":
    main()
