"""The batch runner against a failing machine: a full disk, a signal, a lost
scheduler, a task that does not end."""

import csv
import json
import os
import signal
import subprocess
import sys
import time

import pytest

from plicata import batch

distributed = pytest.importorskip("distributed")


def sweep(folder, count, size):
    path = folder / "sweep.json"
    path.write_text(json.dumps([{"miura": dict(rows=size, cols=size, angle_deg=40 + k)} for k in range(count)]))
    return path


def rows_of(out):
    """The summary's rows; each must be whole (a source and a known status)."""
    with open(out / "summary.csv", newline="") as f:
        rows = list(csv.DictReader(f))
    assert all(r["status"] in ("ok", "error", "timeout") and r["seconds"] for r in rows), rows
    return rows


def assert_whole(out, count):
    """Every source's row once, every result complete, no temporary left."""
    rows = rows_of(out)
    assert len(rows) == count and len({r["source"] for r in rows}) == count
    assert sorted(r["result"] for r in rows if r["result"]) == sorted(p.name for p in out.glob("*.fold"))
    for p in out.glob("*.fold"):
        json.loads(p.read_text())
    assert not [p.name for p in out.iterdir() if p.name.startswith(".")]


def start_batch(*args):
    return subprocess.Popen([sys.executable, "-m", "plicata.batch", *map(str, args)], stdout=subprocess.PIPE,
                            stderr=subprocess.PIPE, text=True)


def wait_for_rows(out, process, count=1):
    """Waits (bounded) until the summary holds count rows while process runs."""
    for _ in range(1200):
        if process.poll() is not None:
            pytest.fail("the run ended before it could be disturbed: " + process.communicate()[1])
        try:
            if len(rows_of(out)) >= count:
                return
        except FileNotFoundError:
            pass
        time.sleep(0.1)
    pytest.fail("no row after two minutes")


@pytest.mark.parametrize("sig,code", [(signal.SIGINT, 130), (signal.SIGTERM, 143)])
def test_a_signal_ends_the_run_cleanly_and_a_rerun_resumes(tmp_path, sig, code):
    out = tmp_path / "out"
    sources = sweep(tmp_path, 10, 12)
    run = start_batch(sources, "--out", out, "--workers", "1", "--steps", "250")
    wait_for_rows(out, run)
    run.send_signal(sig)
    _, err = run.communicate(timeout=120)
    assert run.returncode == code, err
    assert "a rerun folds the rest" in err.splitlines()[-1]
    done = rows_of(out)
    assert 1 <= len(done) < 10
    rerun = start_batch(sources, "--out", out, "--workers", "1", "--steps", "250")
    _, err = rerun.communicate(timeout=300)
    assert rerun.returncode == 0, err
    assert_whole(out, 10)
    # The rows of the first run were kept, not folded again.
    assert {r["source"]: r["seconds"] for r in done}.items() <= {r["source"]: r["seconds"]
                                                                 for r in rows_of(out)}.items()


def test_a_full_disk_stops_the_run_with_one_line_and_nothing_partial(tmp_path):
    disk = tmp_path / "disk"
    disk.mkdir()
    if os.geteuid() != 0 or subprocess.run(["mount", "-t", "tmpfs", "-o", "size=192k", "tmpfs", str(disk)],
                                           capture_output=True).returncode != 0:
        pytest.skip("cannot mount a small tmpfs here (needs root and permission to mount)")
    try:
        out = disk / "out"
        run = start_batch(sweep(tmp_path, 12, 6), "--out", out, "--workers", "1", "--steps", "20", "--frames")
        _, err = run.communicate(timeout=300)
        assert run.returncode == 1, err
        last = err.strip().splitlines()[-1]
        assert last.startswith(f"plicata.batch: {out}/") and last.endswith(": No space left on device"), err
        ok = [r for r in rows_of(out) if r["status"] == "ok"]
        assert 0 < len(ok) < 12
        assert_whole(out, len(ok))
    finally:
        subprocess.run(["umount", "-l", str(disk)], check=False)


def start(command, *args):
    return subprocess.Popen([sys.executable, "-m", f"distributed.cli.dask_{command}", *map(str, args)],
                            stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)


def scheduler_and_worker(folder):
    """A scheduler and one worker on 127.0.0.1, and the scheduler's address."""
    info = folder / f"scheduler-{time.monotonic_ns()}.json"
    scheduler = start("scheduler", "--host", "127.0.0.1", "--port", "0", "--no-dashboard",
                      "--scheduler-file", info)
    for _ in range(600):
        if info.exists() and info.stat().st_size:
            break
        time.sleep(0.1)
    address = json.loads(info.read_text())["address"]
    worker = start("worker", address, "--nthreads", "1", "--no-dashboard", "--no-nanny", "--host", "127.0.0.1")
    return [scheduler, worker], address


def test_a_lost_scheduler_stops_the_run_and_a_new_one_finishes_it(tmp_path):
    out = tmp_path / "out"
    sources = sweep(tmp_path, 10, 12)
    processes, address = scheduler_and_worker(tmp_path)
    try:
        run = start_batch(sources, "--out", out, "--scheduler", address, "--steps", "250")
        wait_for_rows(out, run)
        processes[0].kill()
        _, err = run.communicate(timeout=180)
        assert run.returncode == 3, err
        assert f"lost the scheduler {address}" in err.strip().splitlines()[-1]
        done = len(rows_of(out))
        assert 1 <= done < 10
        processes[1].kill()
        more, address = scheduler_and_worker(tmp_path)
        processes += more
        rerun = start_batch(sources, "--out", out, "--scheduler", address, "--steps", "250")
        _, err = rerun.communicate(timeout=300)
        assert rerun.returncode == 0, err
        assert_whole(out, 10)
    finally:
        for p in processes:
            p.kill()
            p.wait()


def test_a_task_past_its_time_gives_a_timeout_row_on_the_running_client(tmp_path, monkeypatch):
    sources = [{"miura": dict(rows=2, cols=2)}, {"miura": dict(rows=90, cols=90)}]
    monkeypatch.setattr(batch, "local_cluster", None)  # the user's client, never a cluster of its own
    with distributed.Client(processes=False, n_workers=1, threads_per_worker=2, dashboard_address=None) as client:
        rows = batch.fold_many(sources, tmp_path, steps=5000, task_timeout=3)
        assert client.status == "running"
    assert [r["status"] for r in rows] == ["ok", "timeout"]
    assert rows[1]["message"].endswith("not done within 3 s")
    assert_whole(tmp_path, 2)
