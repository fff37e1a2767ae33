#!/usr/bin/env python3
"""Runs malloc_bench under each allocator (by LD_PRELOAD), interleaved run by
run, and prints Markdown tables: median time per workload and thread count,
every allocator's throughput relative to ours, peak RSS, the memory figures
of the give-back and calloc workloads, and the goals with their verdicts."""
import argparse
import glob
import os
import statistics
import subprocess
import sys
import time

WORKLOADS = {
    "lifo": "small LIFO pairs (8-128 B)",
    "live": "random live set, 16 B-4 KB",
    "prodcons": "producer/consumer ring, cross-thread frees",
    "xmalloc": "xmalloc-test style: half the threads allocate, half release",
    "larson": "larson style: server threads replacing blocks, sets handed on",
    "churn": "thread churn",
    "cscratch": "cache-scratch style: passive false sharing",
    "cthrash": "cache-thrash style: active false sharing",
    "realloc": "realloc growth (string append)",
    "large": "large blocks, 64 KB-16 MB",
    "giveback": "1 GB allocated and released three times (100 B, 3000 B, 200 KB)",
    "calloc": "calloc of 200 MB never written",
}
# Workloads whose figures are memory, not speed.
MEMORY = {"giveback", "calloc"}
# Goals: ours within 1.3x the best peer's time; ours ahead of glibc.
NEAR_BEST = {"lifo", "live", "prodcons", "xmalloc"}
AHEAD_OF_GLIBC = {"churn"}


def find_library(name):
    hits = sorted(glob.glob(f"/usr/lib/*/{name}")) + sorted(glob.glob(f"/usr/lib/{name}"))
    return hits[0] if hits else None


def load():
    with open("/proc/loadavg") as f:
        return float(f.read().split()[0])


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--bench", required=True)
    ap.add_argument("--ours", required=True)
    ap.add_argument("--reps", type=int, default=5)
    ap.add_argument("--workloads", nargs="*", default=list(WORKLOADS))
    ap.add_argument("--threads", nargs="*", type=int)
    args = ap.parse_args()

    cores = os.cpu_count() or 1
    threads = args.threads or sorted({1, 2, 4, min(cores, 8)})
    allocators = [("ours", args.ours), ("glibc", None)]
    for label, lib in (("jemalloc", "libjemalloc.so.2"), ("mimalloc", "libmimalloc.so.2"),
                       ("tcmalloc", "libtcmalloc_minimal.so.4")):
        path = find_library(lib)
        if path:
            allocators.append((label, path))
        else:
            print(f"note: {lib} not found, {label} left out", file=sys.stderr)
    names = [label for label, _ in allocators]

    loads = [load()]
    started = time.time()
    # (workload, threads, allocator) -> [(seconds, ops, peak KB, start KB, end KB)]
    results = {}
    for w in args.workloads:
        for t in ([1] if w == "calloc" else threads):
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
                        print(f"{label} failed {w} at {t} threads: {out.stdout}{out.stderr}",
                              file=sys.stderr)
                        continue
                    f = out.stdout.split()
                    results.setdefault((w, t, label), []).append(
                        (float(f[3]), int(f[2]), int(f[4]), int(f[6]), int(f[7])))
            loads.append(load())
            print(f"done: {w} x{t}", file=sys.stderr)

    def med(w, t, label, i):
        runs = results.get((w, t, label))
        return statistics.median(r[i] for r in runs) if runs else None

    print(f"Machine: {cores} cores; {args.reps} interleaved runs per cell, medians; "
          f"one-minute load average during the run {min(loads):.1f}-{max(loads):.1f}; "
          f"{(time.time() - started) / 60:.0f} minutes.\n")
    print("Throughput in million operations per second; (x) = throughput relative to ours "
          "(above 1: faster than ours); peak RSS in MB.\n")
    verdicts = []
    for w in args.workloads:
        if w in MEMORY:
            continue
        print(f"### {w}: {WORKLOADS[w]}\n")
        print("| threads | " + " | ".join(names) + " | peak RSS " + " / ".join(names) + " |")
        print("|---" * (len(names) + 2) + "|")
        for t in threads:
            ours = med(w, t, "ours", 0)
            ops = med(w, t, "ours", 1)
            cells, rss = [], []
            for label in names:
                s = med(w, t, label, 0)
                if s is None:
                    cells.append("failed")
                    rss.append("-")
                    continue
                n = med(w, t, label, 1)
                ratio = f" ({ours / s:.2f}x)" if ours and label != "ours" else ""
                cells.append(f"{n / s / 1e6:.1f}{ratio}")
                rss.append(f"{med(w, t, label, 2) / 1024:.0f}")
            print(f"| {t} | " + " | ".join(cells) + " | " + " / ".join(rss) + " |")
            if ours is None:
                continue
            if w in NEAR_BEST:
                peers = [(med(w, t, l, 0), l) for l in names if l != "ours" and med(w, t, l, 0)]
                best, who = min(peers)
                verdicts.append((f"{w} x{t}: ours / fastest peer ({who}) time", ours / best,
                                 ours / best <= 1.3))
            if w in AHEAD_OF_GLIBC and med(w, t, "glibc", 0):
                g = med(w, t, "glibc", 0)
                verdicts.append((f"{w} x{t}: ours / glibc time", ours / g, ours < g))
        print()

    for w in [w for w in args.workloads if w in MEMORY]:
        print(f"### {w}: {WORKLOADS[w]}\n")
        print("| threads | allocator | seconds | peak RSS MB | RSS at start MB | RSS at end MB |")
        print("|---|---|---|---|---|---|")
        for t in ([1] if w == "calloc" else threads):
            for label in names:
                if med(w, t, label, 0) is None:
                    continue
                print(f"| {t} | {label} | {med(w, t, label, 0):.3f} | "
                      f"{med(w, t, label, 2) / 1024:.0f} | {med(w, t, label, 3) / 1024:.0f} | "
                      f"{med(w, t, label, 4) / 1024:.0f} |")
            if w == "giveback" and med(w, t, "ours", 2) and med(w, t, "glibc", 2):
                peak = med(w, t, "ours", 2) / med(w, t, "glibc", 2)
                left = (med(w, t, "ours", 4) - med(w, t, "ours", 3)) / 1024
                verdicts.append((f"giveback x{t}: peak / glibc's peak", peak, peak <= 1.5))
                verdicts.append((f"giveback x{t}: MB left at the end", left, left <= 64))
        print()

    if verdicts:
        print("### Goals\n")
        print("| goal | figure | met |")
        print("|---|---|---|")
        for name, value, ok in verdicts:
            print(f"| {name} | {value:.2f} | {'yes' if ok else 'NO'} |")


if __name__ == "__main__":
    main()
