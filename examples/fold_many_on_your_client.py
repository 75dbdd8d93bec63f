"""Folds a sweep of Miura-ori on a Dask cluster of your own.

fold_many uses the client running in this process (here a small local
cluster; in practice ``Client("tcp://scheduler:8786")``) and leaves it
running for your other work.

Run from the clone's root: /usr/bin/python3 examples/fold_many_on_your_client.py [OUT_FOLDER]
"""

import pathlib
import sys
from typing import Any, Dict, List

from dask.distributed import Client, LocalCluster

from plicata.batch import Progress, fold_many


def sweep(angles: List[float]) -> List[Dict[str, Dict[str, Any]]]:
    """Generator calls, one per angle (degrees), as a sweep file lists them."""
    return [{"miura": {"rows": 6, "cols": 6, "angle_deg": a}} for a in angles]


def show(progress: Progress) -> None:
    print(f"\r{progress.ok} ok, {progress.failed} failed of {progress.total}", end="", file=sys.stderr)


def main() -> None:
    out = pathlib.Path(sys.argv[1] if len(sys.argv) > 1 else "sweep_results")
    with LocalCluster(n_workers=2, threads_per_worker=1, host="127.0.0.1", dashboard_address=None) as cluster, \
            Client(cluster):
        rows = fold_many(sweep([50.0, 60.0, 70.0, 80.0]), out, steps=40, task_timeout=120, progress=show)
    print()
    for row in rows:
        print(f"{row['source']}: {row['status']}, residual {row['residual']}")


if __name__ == "__main__":
    main()
