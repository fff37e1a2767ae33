#!/usr/bin/env python3
"""Compares builds of libaxmalloc.so on the same malloc_bench: each library
is preloaded in turn, run by run, the order reversed every other run, and the
median CPU seconds (user + system) of the benchmark process are printed with
every library's ratio to the first. Give the first library twice (as a
control) to see how far two copies of the same code drift on this machine.

usage: compare.py --bench malloc_bench --lib old=PATH --lib new=PATH
                  [--lib control=PATH] [--reps 7] [--workloads lifo ...]
                  [--threads 1 2 ...]
Pin it to quiet cores (taskset) on a shared machine: CPU time leaves out
waiting for a core, not the caches and memory bus other work disturbs."""
import argparse
import os
import statistics
import subprocess
import sys


def cpu_seconds(bench, lib, workload, threads, seed):
    env = dict(os.environ, LD_PRELOAD=lib)
    proc = subprocess.Popen([bench, workload, str(threads), str(seed)], env=env,
                            stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)
    _, status, usage = os.wait4(proc.pid, 0)
    err = proc.stderr.read().decode(errors="replace")
    proc.stderr.close()
    if not os.WIFEXITED(status) or os.WEXITSTATUS(status) != 0:
        sys.exit(f"{workload} x{threads} under {lib} failed: {err.strip()}")
    return usage.ru_utime + usage.ru_stime


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--bench", required=True)
    ap.add_argument("--lib", action="append", required=True, help="name=path")
    ap.add_argument("--reps", type=int, default=7)
    ap.add_argument("--workloads", nargs="+", default=["lifo", "live", "prodcons", "xmalloc", "larson",
                                                         "churn", "cscratch", "cthrash", "realloc", "large"])
    ap.add_argument("--threads", nargs="+", type=int, default=[1, 2, 4, 8])
    args = ap.parse_args()
    libs = [tuple(x.split("=", 1)) for x in args.lib]
    if any(len(x) != 2 for x in libs):
        sys.exit("--lib takes name=path")

    names = [n for n, _ in libs]
    print("| workload | threads | " + " | ".join(f"{n} s" for n in names) + " | " +
          " | ".join(f"{n} / {names[0]}" for n in names[1:]) + " |")
    print("|---" * (2 + 2 * len(names) - 1) + "|")
    for w in args.workloads:
        for t in args.threads:
            times = {n: [] for n in names}
            for rep in range(args.reps):
                order = libs if rep % 2 == 0 else list(reversed(libs))
                for n, path in order:
                    times[n].append(cpu_seconds(args.bench, path, w, t, rep + 1))
            med = {n: statistics.median(v) for n, v in times.items()}
            base = med[names[0]]
            print(f"| {w} | {t} | " + " | ".join(f"{med[n]:.4f}" for n in names) + " | " +
                  " | ".join(f"{med[n] / base:.3f}" for n in names[1:]) + " |", flush=True)


if __name__ == "__main__":
    main()
