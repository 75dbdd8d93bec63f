"""Throughput of plicata.batch on local Dask clusters.

1. Throughput: 40 generated Miura-ori of 30 x 30 (angles 50-89 degrees)
   folded by a cluster of 1 worker process and by one of 2; the ratio of
   the two rates (2 cores: at best 2).
2. Scheduling overhead per task: many tiny patterns (single vertices)
   through a 1-worker cluster, against the same folds called in this
   process; the difference per task, in milliseconds.

Each cluster is started and warmed up (plicata imported on its workers)
before it is timed. Rounds alternate between the two sizes and the fastest
of each counts. The CPU seconds the workers spent per pattern are printed
too: on a machine that other work keeps busy, wall time cannot show the
scaling, but equal CPU per pattern shows that a second worker adds no work. Run from the project root after building:

    PYTHONPATH=build/python /usr/bin/python3 bench/batch_bench.py
"""

import argparse
import os
import sys
import tempfile
import time

from dask.distributed import Client

from plicata import batch


def worker_cpu(client):
    """CPU seconds (user + system) every worker process has used so far."""
    return sum(client.run(lambda: sum(__import__("os").times()[:2])).values())


def timed_run(workers, sources, steps):
    """Wall seconds fold_many takes on a warm cluster of `workers`
    processes, and the CPU seconds its workers spent."""
    with batch.local_cluster(workers) as cluster, Client(cluster) as client, \
            tempfile.TemporaryDirectory() as out:
        client.run(lambda: __import__("plicata").generate.miura(1, 1).vertex_closure.size)
        cpu = worker_cpu(client)
        start = time.perf_counter()
        rows = batch.fold_many(sources, out, client, steps=steps)
        seconds = time.perf_counter() - start
        cpu = worker_cpu(client) - cpu
    if any(r["status"] != "ok" for r in rows):
        raise RuntimeError("a source failed: " + next(r["message"] for r in rows if r["status"] != "ok"))
    return seconds, cpu


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--patterns", type=int, default=40)
    parser.add_argument("--size", type=int, default=30)
    parser.add_argument("--steps", type=int, default=50)
    parser.add_argument("--tiny", type=int, default=200, help="tiny patterns for the overhead")
    parser.add_argument("--rounds", type=int, default=2)
    args = parser.parse_args()

    miura = [{"miura": {"rows": args.size, "cols": args.size, "angle_deg": 50 + k % 40 + k // 40 * 0.5}}
             for k in range(args.patterns)]
    runs = {1: [], 2: []}
    for _ in range(args.rounds):
        for workers in runs:
            runs[workers].append(timed_run(workers, miura, args.steps))
    (one, cpu_one), (two, cpu_two) = min(runs[1]), min(runs[2])
    print(f"{args.patterns} Miura-ori {args.size} x {args.size}, {args.steps} steps each, best of {args.rounds}:")
    print(f"  1 worker  {one:7.2f} s  {args.patterns / one:6.2f} patterns/s  "
          f"{cpu_one / args.patterns * 1e3:6.1f} ms CPU per pattern")
    print(f"  2 workers {two:7.2f} s  {args.patterns / two:6.2f} patterns/s  "
          f"{cpu_two / args.patterns * 1e3:6.1f} ms CPU per pattern   ratio {one / two:.2f}")

    tiny = [{"vertex": {"sectors_deg": [90, 90, 90, 90], "types": [2, 2, 2, 3], "rotation_deg": k * 0.1}}
            for k in range(args.tiny)]
    start = time.perf_counter()
    for source in batch.expand_sources(tiny):
        batch.fold_source(source, 5, 10, False, True)
    direct = time.perf_counter() - start
    through, _ = timed_run(1, tiny, 5)
    print(f"{args.tiny} single vertices, 5 steps each: {direct / args.tiny * 1e3:.2f} ms each in-process, "
          f"{through / args.tiny * 1e3:.2f} ms each through 1 worker: "
          f"overhead {(through - direct) / args.tiny * 1e3:.2f} ms per task")
    print(f"load: {' '.join(f'{x:.2f}' for x in os.getloadavg())}")
    return 0


if __name__ == "__main__":
    sys.exit(main())
