"""Batch folding on a local Dask cluster that each test starts and stops."""

import csv
import json
import os
import signal
import subprocess
import sys

import pytest

from plicata import batch

distributed = pytest.importorskip("distributed")


@pytest.fixture
def client():
    """A client of two local worker processes; at the end every worker
    process it ever had is stopped, by its id if closing left it running."""
    cluster = batch.local_cluster(workers=2, retries=2)
    client = distributed.Client(cluster)
    pids = set(client.run(os.getpid).values())
    client.pids = pids
    yield client
    pids |= set(client.run(os.getpid).values())
    client.close()
    cluster.close()
    for pid in pids:
        try:
            os.kill(pid, signal.SIGKILL)
        except ProcessLookupError:
            pass


def sweep(folder, count, size, **extra):
    path = folder / "sweep.json"
    path.write_text(json.dumps([{"miura": dict(rows=size, cols=size, angle_deg=50 + k, **extra)}
                                for k in range(count)]))
    return path


def summary(out):
    with open(out / "summary.csv", newline="") as f:
        return list(csv.DictReader(f))


def snapshot(out):
    return {p.name: (p.stat().st_mtime_ns, p.read_bytes()) for p in out.iterdir()}


def test_hostile_sources_give_error_rows_and_a_rerun_writes_nothing(client, tmp_path):
    patterns = tmp_path / "patterns"
    patterns.mkdir()
    (patterns / "cut_short.opx").write_bytes(b'<?xml version="1.0"?>\n<java><object class="oripa.DataSet">')
    (patterns / "noise.svg").write_bytes(bytes(range(256)) * 8)
    sources = [sweep(tmp_path, 18, 3), patterns]
    out = tmp_path / "out"

    rows = batch.fold_many(sources, out, client, steps=10)
    assert sorted(r["status"] for r in rows).count("ok") == 18
    errors = [r for r in rows if r["status"] == "error"]
    assert sorted(os.path.basename(r["source"]) for r in errors) == ["cut_short.opx", "noise.svg"]
    assert all(r["message"].startswith(r["source"] + ": ") for r in errors)
    written = summary(out)
    assert sorted(r["source"] for r in written) == sorted(r["source"] for r in rows)
    assert {r["result"] for r in written if r["status"] == "ok"} == {p.name for p in out.glob("*.fold")}

    # Bundled examples by their bare names: the waterbomb passes through
    # itself from step 32, so it is folded and written but not called ok.
    shapes = tmp_path / "shapes"
    rows = {os.path.basename(r["source"]): r
            for r in batch.fold_many(["miura_4x4.opx", "waterbomb_3x3.opx"], shapes, client, steps=40)}
    assert (rows["miura_4x4.opx"]["status"], rows["miura_4x4.opx"]["first_collision"]) == ("ok", "none")
    crossing = rows["waterbomb_3x3.opx"]
    assert (crossing["status"], crossing["first_collision"]) == ("self-intersecting", 32)
    assert "pass through each other" in crossing["message"]
    assert sorted((os.path.basename(r["source"]), r["status"], r["first_collision"]) for r in summary(shapes)) == [
        ("miura_4x4.opx", "ok", "none"), ("waterbomb_3x3.opx", "self-intersecting", "32")]
    assert all(0 < float(r["residual"]) < 0.05 for r in summary(shapes))
    assert len(list(shapes.glob("*.fold"))) == 2

    before = snapshot(out)
    rerun = subprocess.run([sys.executable, "-m", "plicata.batch", *map(str, sources), "--out", str(out),
                            "--steps", "10"], capture_output=True, text=True)
    assert rerun.returncode == 1, rerun.stderr  # two sources gave errors
    assert snapshot(out) == before


def test_a_killed_worker_still_gives_every_row_once(client, tmp_path):
    out = tmp_path / "out"
    killed = []

    def kill_one_worker(progress):
        if progress.ok + progress.failed >= 1 and not killed:
            pid = next(iter(client.pids))
            os.kill(pid, signal.SIGKILL)
            killed.append(pid)

    rows = batch.fold_many([sweep(tmp_path, 20, 8)], out, client, steps=120, progress=kill_one_worker)
    assert killed and killed[0] not in client.run(os.getpid).values()
    assert [r["status"] for r in rows] == ["ok"] * 20
    written = summary(out)
    assert len(written) == 20 and len({r["source"] for r in written}) == 20
    assert len(list(out.glob("*.fold"))) == 20
