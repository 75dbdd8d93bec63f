"""Folding many crease patterns on a Dask cluster.

:func:`fold_many` folds every source on the workers of a Dask distributed
cluster (a local one on this machine's loopback address by default) and
writes, for each source, ``OUT/<name>.fold`` and one row of
``OUT/summary.csv``. ``python3 -m plicata.batch`` is its command line.

Sources are pattern files, folders (every pattern file inside, recursively)
and sweep files: JSON lists of generator calls such as
``{"miura": {"rows": 20, "cols": 20, "angle_deg": 55}}``, each naming one
function of :mod:`plicata.generate` and its arguments. A notebook may also
pass such a dict directly.

Nothing is lost and nothing done twice:

- each result file is written under a temporary name and renamed when
  complete, after its summary row has been flushed;
- a rerun skips a source whose summary row and result file are both there,
  or whose summary row records an error (``force=True`` redoes everything);
- a source that cannot be read or built gives an ``error`` row with the
  reader's reason, and the run goes on;
- every step is checked for faces passing through each other (as
  ``plicata-fold --collisions``): the first step that finds some is the
  row's ``first_collision`` (``none`` when none did), and a source whose
  final shape passes through itself is folded and written but its status is
  ``self-intersecting``, not ``ok``;
- a task whose worker dies is run again on another worker, up to
  ``retries`` times, then ends as an ``error`` row;
- a task that runs past ``task_timeout`` seconds ends as a ``timeout`` row
  (its folding stops at the next step) and the run goes on;
- when the scheduler is lost, the run stops with :class:`ClusterLost` and
  writes nothing more: a rerun against a new scheduler folds the rest;
- the summary holds every source once.

Tasks are pure functions of a pattern path (or a generator call) and the
fold options, so a retried task gives the same result. Workers of a remote
cluster must see pattern files at the same paths; results come back to the
submitting process, which alone writes the output folder.
"""

from __future__ import annotations

import atexit
import concurrent.futures
import contextlib
import csv
import dataclasses
import io
import json
import logging
import os
import re
import tempfile
import threading
import time
import uuid
from typing import Any, Callable, Dict, Iterable, List, Optional, Tuple, Union

import plicata
from plicata._files import write_atomically

#: Columns of summary.csv, in order. ``residual`` is the final closure
#: residual; ``first_collision`` the first step after which faces passed
#: through each other, ``none`` when none did (last, so that readers of
#: summaries from before it find the other columns where they were).
FIELDS = ("source", "status", "message", "result", "vertices", "creases", "steps", "residual",
          "worst_vertex_closure", "seconds", "first_collision")
#: Statuses of a row: folded and written; folded and written, but the final
#: shape passes through itself; not folded (the message says why).
OK, SELF_INTERSECTING, ERROR = "ok", "self-intersecting", "error"
SUMMARY = "summary.csv"
#: Suffixes of the pattern files a folder contributes (the formats the readers read).
PATTERN_SUFFIXES = (".opx", ".xml", ".dxf", ".fold", ".svg", ".cp")
#: Generator functions a sweep may call.
GENERATORS = ("miura", "vertex", "waterbomb")

Row = Dict[str, Any]
SourceLike = Union[str, "os.PathLike[str]", Dict[str, Dict[str, Any]]]


class ClusterLost(RuntimeError):
    """The scheduler went away during a run: the rows written so far stand,
    and a rerun (against a new scheduler) folds the sources left."""


@dataclasses.dataclass(frozen=True)
class Source:
    """One thing to fold: a pattern file, a generator call, or an entry that
    was refused before folding (``problem`` says why)."""

    label: str                  #: the summary's "source": a file's absolute path or the call
    path: Optional[str] = None  #: the pattern file
    call: Optional[Tuple[str, Dict[str, Any]]] = None  #: (generator, arguments)
    problem: Optional[str] = None
    name: str = ""              #: result file stem, unique within the run


@dataclasses.dataclass
class Progress:
    """Counts handed to a progress callback while a run goes on."""

    total: int          #: sources to fold in this run (skipped ones not counted)
    ok: int = 0         #: folded and written (ok or self-intersecting)
    failed: int = 0
    running: int = 0    #: tasks the workers hold at present
    skipped: int = 0    #: sources done by an earlier run
    elapsed: float = 0.0  #: seconds since the first task was submitted


# ---- sources ------------------------------------------------------------------


def _call_label(kind: str, args: Dict[str, Any]) -> str:
    return f"{kind}({', '.join(f'{k}={args[k]!r}' for k in sorted(args))})"


def _generator_source(entry: Any, where: str) -> Source:
    """A sweep entry {"miura": {...}} as a Source (refused when malformed)."""
    if (not isinstance(entry, dict) or len(entry) != 1 or next(iter(entry)) not in GENERATORS
            or not isinstance(next(iter(entry.values())), dict)):
        return Source(label=where, problem=f"{where}: not a generator call such as "
                                           f'{{"miura": {{"rows": 20, "cols": 20}}}} '
                                           f"(generators: {', '.join(GENERATORS)})")
    kind, args = next(iter(entry.items()))
    return Source(label=_call_label(kind, args), call=(kind, dict(args)))


def _sweep_sources(path: str) -> List[Source]:
    try:
        with open(path, encoding="utf-8") as f:
            entries = json.load(f)
    except (OSError, UnicodeDecodeError, ValueError) as e:
        return [Source(label=path, problem=f"{path}: cannot read the sweep: {e}")]
    if not isinstance(entries, list):
        return [Source(label=path, problem=f"{path}: a sweep is a JSON list of generator calls")]
    where = os.path.abspath(path)
    return [_generator_source(entry, f"{where}[{k}]") for k, entry in enumerate(entries)]


def _folder_sources(folder: str, skip: str) -> List[Source]:
    found = []
    for root, dirs, files in os.walk(folder):
        dirs[:] = sorted(d for d in dirs if os.path.realpath(os.path.join(root, d)) != skip)
        found += [os.path.join(root, f) for f in sorted(files)
                  if os.path.splitext(f)[1] in PATTERN_SUFFIXES and not f.startswith(".")]
    return [Source(label=os.path.abspath(p), path=os.path.abspath(p)) for p in found]


def _unique_names(sources: List[Source]) -> List[Source]:
    """Gives every source a result file stem of its own: a file's stem, made
    longer (suffix, then parent folders) while two sources share one; a
    generator call's arguments."""
    def candidate(source: Source, level: int) -> str:
        if source.call is not None:
            kind, args = source.call
            text = "_".join([kind] + [f"{k}-{args[k]}" for k in sorted(args)])
        elif source.path is not None:
            parts = source.path.split(os.sep)
            stem, suffix = os.path.splitext(parts[-1])
            text = stem if level == 0 else "_".join(parts[-level:-1] + [stem + "_" + suffix.lstrip(".")])
        else:
            text = "refused"
        return re.sub(r"[^A-Za-z0-9._-]+", "_", text).strip("._") or "pattern"

    levels = [0] * len(sources)
    while True:
        names = [candidate(s, lv) for s, lv in zip(sources, levels)]
        clashes = {n for n in names if names.count(n) > 1}
        grown = False
        for k, n in enumerate(names):
            path = sources[k].path
            if n in clashes and path is not None and levels[k] < path.count(os.sep):
                levels[k] += 1
                grown = True
        if not grown:
            break
    # Whatever still clashes (identical generator names) is numbered in order.
    seen: Dict[str, int] = {}
    out = []
    for s, n in zip(sources, names):
        seen[n] = seen.get(n, 0) + 1
        out.append(dataclasses.replace(s, name=n if seen[n] == 1 else f"{n}-{seen[n]}"))
    return out


def expand_sources(sources: Iterable[SourceLike], out_dir: str = "") -> List[Source]:
    """The sources to fold, in order, each once, each with a unique name.

    Folders give their pattern files (by suffix, recursively, sorted, the
    output folder left out), ``.json`` files their generator calls, dicts
    one generator call; any other path is a pattern file.
    """
    skip = os.path.realpath(out_dir) if out_dir else ""
    found: List[Source] = []
    for source in sources:
        if isinstance(source, dict):
            found.append(_generator_source(source, repr(source)))
            continue
        path = os.fspath(source)
        if not os.path.exists(path):
            # A name that is nothing here may be one of the bundled examples.
            try:
                path = plicata.find_pattern(path)
            except plicata.PatternError as e:
                found.append(Source(label=os.path.abspath(path), problem=str(e)))
                continue
            except ValueError as e:  # a null character in the path
                found.append(Source(label=repr(path), problem=f"{path!r}: {e}"))
                continue
        if os.path.isdir(path):
            found += _folder_sources(path, skip)
        elif path.endswith(".json"):
            found += _sweep_sources(path)
        else:
            found.append(Source(label=os.path.abspath(path), path=os.path.abspath(path)))
    once: Dict[str, Source] = {}
    for s in found:
        once.setdefault(s.label, s)
    return _unique_names(list(once.values()))


# ---- the task -------------------------------------------------------------------


# The folds run in threads of their own for a time limit. One past its time
# is told to stop, and ends at its next step; until then it may be inside
# the core with the interpreter's lock released. The interpreter does not
# wait for such daemon threads, and one that wakes into a finalised
# interpreter takes the process down: at exit each is stopped and waited
# for, a little while.
_timed: "Dict[threading.Thread, threading.Event]" = {}
_timed_lock = threading.Lock()
_EXIT_WAIT_SECONDS = 30.0


def _stop_timed_folds() -> None:
    with _timed_lock:
        running = list(_timed.items())
    for _, stop in running:
        stop.set()
    deadline = time.monotonic() + _EXIT_WAIT_SECONDS
    for thread, _ in running:
        thread.join(max(0.0, deadline - time.monotonic()))


atexit.register(_stop_timed_folds)


def fold_source(source: Source, steps: int, fold_step: int, frames: bool, triangulate: bool,
                task_timeout: Optional[float] = None) -> Tuple[Row, Optional[bytes]]:
    """Folds one source: its summary row and its FOLD file's bytes (None on error).

    Runs on a worker. A source that cannot be read or built gives an error
    row; with ``task_timeout`` (seconds), a source not done by then gives a
    ``timeout`` row, its folding stopped at the next step (a file read that
    blocks stays blocked in its thread); any other failure raises, so that
    the scheduler may retry it.
    """
    start = time.perf_counter()
    row: Row = {"source": source.label, "status": ERROR, "message": source.problem or "", "result": "",
                "vertices": "", "creases": "", "steps": 0, "residual": "", "worst_vertex_closure": "",
                "seconds": 0.0, "first_collision": ""}
    if source.problem is not None:
        return row, None
    if task_timeout is None:
        return _fold(source, steps, fold_step, frames, triangulate, row, start, None)
    stop = threading.Event()
    done: "concurrent.futures.Future[Tuple[Row, Optional[bytes]]]" = concurrent.futures.Future()

    def work() -> None:
        try:
            done.set_result(_fold(source, steps, fold_step, frames, triangulate, dict(row), start, stop))
        except BaseException as e:  # handed to the task below
            done.set_exception(e)
        finally:
            with _timed_lock:
                _timed.pop(threading.current_thread(), None)

    thread = threading.Thread(target=work, name=f"plicata-fold {source.name}", daemon=True)
    with _timed_lock:
        _timed[thread] = stop
    thread.start()
    try:
        return done.result(timeout=task_timeout)
    except concurrent.futures.TimeoutError:
        stop.set()
        row.update(status="timeout", message=f"{source.label}: not done within {task_timeout:g} s",
                   seconds=round(time.perf_counter() - start, 4))
        return row, None


def _fold(source: Source, steps: int, fold_step: int, frames: bool, triangulate: bool, row: Row, start: float,
          stop: Optional[threading.Event]) -> Tuple[Row, Optional[bytes]]:
    """fold_source's work; with stop, folds in short calls and ends early
    (returning nothing) once stop is set."""
    try:
        if source.call is not None:
            kind, args = source.call
            sheet = getattr(plicata.generate, kind)(**args, triangulate=triangulate)
        else:
            assert source.path is not None
            sheet = plicata.load(source.path, triangulate=triangulate)
    except plicata.PatternError as e:
        # Also a missing or unreadable file (FileNotFoundError, PermissionError).
        row["message"] = str(e) if not isinstance(e, OSError) else f"{source.label}: cannot open: {e.strerror}"
        return row, None
    except ValueError as e:
        # Arguments out of range: the generator names its call.
        row["message"] = str(e)
        return row, None
    except TypeError as e:
        # Arguments the generator does not take.
        row["message"] = f"{source.label}: {e}"
        return row, None
    with sheet:
        sheet.collisions = True
        if stop is None:
            sheet.fold(steps, fold_step=fold_step, record=frames)
        else:
            # Calls of about a hundredth of a second, so that a stop is seen soon.
            taken, chunk = 0, 1
            while taken < steps:
                if stop.is_set():
                    return row, None
                began = time.perf_counter()
                n = min(chunk, steps - taken)
                sheet.fold(n, fold_step=fold_step, record=frames)
                taken += n
                if time.perf_counter() - began < 0.01:
                    chunk *= 2
        closure = sheet.vertex_closure
        pairs = len(sheet.intersections())
        with tempfile.TemporaryDirectory(prefix="plicata-batch-") as folder:
            result = os.path.join(folder, "result.fold")
            sheet.to_fold(result)
            with open(result, "rb") as f:
                data = f.read()
        first = sheet.first_collision
        row.update(status=SELF_INTERSECTING if pairs else OK,
                   message=(f"{pairs} pair{'s' if pairs != 1 else ''} of faces pass through each other in the "
                            f"final shape (the first from step {first})" if pairs else ""),
                   vertices=len(sheet.flat_vertices), creases=len(sheet.creases),
                   steps=sheet.steps_taken, residual=sheet.residual,
                   worst_vertex_closure=float(closure.max()) if len(closure) else 0.0,
                   seconds=round(time.perf_counter() - start, 4), first_collision=first if first else "none")
    return row, data


# ---- the summary ------------------------------------------------------------------


def _read_summary(path: str) -> Dict[str, Row]:
    try:
        with open(path, newline="", encoding="utf-8") as f:
            return {r["source"]: r for r in csv.DictReader(f) if r.get("source") and r.get("status")}
    except FileNotFoundError:
        return {}


def _write_summary(path: str, rows: Iterable[Row]) -> None:
    def write(temporary: str) -> int:
        with open(temporary, "w", newline="", encoding="utf-8") as f:
            w = csv.DictWriter(f, FIELDS, extrasaction="ignore")
            w.writeheader()
            w.writerows(rows)
        return 0
    try:
        write_atomically(path, write)
    except OSError as e:
        raise _naming(e, path) from None


def _append_row(fd: int, path: str, row: Row) -> None:
    """Appends row to the summary open as fd, whole or not at all: a row
    cut short by a full disk is cut off again, since a rerun would read what
    is left of it as a finished source."""
    line = io.StringIO()
    csv.DictWriter(line, FIELDS, extrasaction="ignore").writerow(row)
    data = line.getvalue().encode("utf-8")
    size = os.lseek(fd, 0, os.SEEK_END)
    try:
        done = 0
        while done < len(data):
            done += os.write(fd, data[done:])
    except OSError as e:
        with contextlib.suppress(OSError):
            os.ftruncate(fd, size)
        raise _naming(e, path) from None


def _naming(error: OSError, path: str) -> OSError:
    """error as the same kind of OSError naming path (a write that failed
    names no file, a temporary file's name means nothing to the user)."""
    if error.errno is None:
        return error
    return type(error)(error.errno, error.strerror, path)


def folded(row: Row) -> bool:
    """True for a row whose source was folded and written (ok or self-intersecting)."""
    return row.get("status") in (OK, SELF_INTERSECTING)


def _done(row: Optional[Row], out_dir: str) -> bool:
    """True when an earlier run finished the source of row: an error row, or
    a folded row whose result file (by the name that run gave it) is there.
    A folded row without a first_collision (a summary from before the
    collision check) was never checked, and is folded again."""
    if row is None:
        return False
    if not folded(row):
        return True
    if not row.get("first_collision"):
        return False
    return bool(row.get("result")) and os.path.isfile(os.path.join(out_dir, row["result"]))


def _error_row(source: Source, message: str) -> Row:
    row, _ = fold_source(dataclasses.replace(source, problem=message), 0, 0, False, False)
    return row


# ---- the run -----------------------------------------------------------------------


def local_cluster(workers: Optional[int] = None, retries: int = 2) -> Any:
    """A Dask cluster of worker processes on this machine, one thread each.

    Scheduler, workers and dashboard listen on 127.0.0.1 only, so nothing
    else on the network can submit work to it. ``workers`` defaults to one
    per core. A task may see ``retries`` workers die before it fails.
    """
    import dask
    from dask.distributed import LocalCluster

    with dask.config.set({"distributed.scheduler.allowed-failures": retries}):
        return LocalCluster(n_workers=workers or os.cpu_count() or 1, threads_per_worker=1, processes=True,
                            host="127.0.0.1", dashboard_address="127.0.0.1:0", silence_logs=logging.ERROR)


def fold_many(sources: Iterable[SourceLike], out_dir: Union[str, "os.PathLike[str]"], client: Any = None, *,
              steps: int = 100, fold_step: int = 10, frames: bool = False, triangulate: bool = True,
              force: bool = False, retries: int = 2, workers: Optional[int] = None,
              scheduler: Optional[str] = None, task_timeout: Optional[float] = None,
              progress: Optional[Callable[[Progress], None]] = None) -> List[Row]:
    """Folds every source on a Dask cluster; returns the summary rows.

    Parameters
    ----------
    sources : iterable of str, os.PathLike or dict
        Pattern files, folders, sweep files (``.json``) and generator calls.
    out_dir : str or os.PathLike
        Receives ``<name>.fold`` per source and ``summary.csv``; made if missing.
    client : dask.distributed.Client, optional
        The cluster to use. Without one: a client of ``scheduler`` (an
        address such as ``tcp://host:8786``) when given, else the client
        already running in this process (``distributed.get_client()``, as
        made by ``Client(...)`` in a notebook), else a new local cluster of
        ``workers`` processes (see :func:`local_cluster`). What this call
        makes, it closes at the end; a client it was given or found stays.
    steps, fold_step : int
        Fold steps per source and the fold step setting (0-50).
    frames : bool
        Write every step as a FOLD animation instead of the final state.
    triangulate : bool
        Cut facets of more than three sides into triangles.
    force : bool
        Fold sources that an earlier run finished again.
    retries : int
        Times a task may be run again after it failed, and, on a cluster
        this call starts, after its worker died. A running scheduler (a given
        ``client`` or ``scheduler``) counts worker deaths against its own
        ``distributed.scheduler.allowed-failures`` setting instead.
    task_timeout : float, optional
        Seconds a source may take on its worker; one that takes longer gets
        a ``timeout`` row (finished for a rerun, as an error row is) and
        its folding stops at its next step.
    progress : callable, optional
        Called with a :class:`Progress` when the run starts and each time a
        source is done.

    Raises
    ------
    ClusterLost
        When the scheduler went away during the run: the rows written so
        far stand, and a rerun folds the rest.
    OSError
        When the output folder cannot be written or the scheduler cannot
        be reached.

    Returns
    -------
    list of dict
        One row per source in the order of the sources, with the keys of
        :data:`FIELDS`; rows of skipped sources come from the summary.
    """
    from dask.distributed import Client

    if task_timeout is not None and not (isinstance(task_timeout, (int, float)) and 0 < task_timeout < 1e9):
        raise ValueError("task_timeout must be a positive number of seconds")
    if isinstance(steps, bool) or not isinstance(steps, int) or not 0 <= steps <= plicata.MAX_STEPS:
        raise ValueError(f"steps must be a whole number from 0 to {plicata.MAX_STEPS}")
    if isinstance(fold_step, bool) or not isinstance(fold_step, int) or not 0 <= fold_step <= plicata.MAX_FOLD_STEP:
        raise ValueError(f"fold_step must be a whole number from 0 to {plicata.MAX_FOLD_STEP}")
    if isinstance(retries, bool) or not isinstance(retries, int) or retries < 0:
        raise ValueError("retries must be a whole number, 0 or more")
    out_dir = os.fspath(out_dir)
    os.makedirs(out_dir, exist_ok=True)
    summary_path = os.path.join(out_dir, SUMMARY)
    todo = expand_sources(sources, out_dir)
    earlier = _read_summary(summary_path)
    rows: Dict[str, Row] = {}
    run: List[Source] = []
    for s in todo:
        if not force and _done(earlier.get(s.label), out_dir):
            rows[s.label] = earlier[s.label]
        else:
            run.append(s)
    counts = Progress(total=len(run), skipped=len(todo) - len(run))
    if not run:
        if progress:
            progress(counts)
        return [rows[s.label] for s in todo]

    # The summary keeps the rows of earlier runs except those about to be
    # redone, so that every source stays in it once.
    redo = {s.label for s in run}
    _write_summary(summary_path, [r for label, r in earlier.items() if label not in redo])

    try:
        summary = os.open(summary_path, os.O_WRONLY | os.O_APPEND)
    except OSError as e:
        raise _naming(e, summary_path) from None
    own_cluster = own_client = None
    try:
        if client is None and scheduler is not None:
            # A running scheduler may serve others too: worker deaths are
            # counted against its own limit, which this run leaves as it is.
            own_client = client = Client(scheduler)
        if client is None:
            client = running_client()
        if client is None:
            own_cluster = local_cluster(workers, retries)
            own_client = client = Client(own_cluster)

        def record(source: Source, row: Row, data: Optional[bytes]) -> None:
            def flush_row() -> None:
                _append_row(summary, summary_path, row)
            result = os.path.join(out_dir, f"{source.name}.fold")
            if data is None:
                flush_row()
                # A result of an earlier run would contradict the row.
                if os.path.exists(result):
                    os.unlink(result)
            else:
                row["result"] = os.path.basename(result)
                payload = data

                def write(temporary: str) -> int:
                    with open(temporary, "wb") as f:
                        f.write(payload)
                    return 0
                try:
                    write_atomically(result, write, before_rename=flush_row)
                except OSError as e:
                    raise _naming(e, summary_path if e.filename == summary_path else result) from None
            rows[source.label] = row
            if folded(row):
                counts.ok += 1
            else:
                counts.failed += 1

        _run_tasks(client, run, record, counts, progress,
                   dict(steps=steps, fold_step=fold_step, frames=frames, triangulate=triangulate,
                        task_timeout=task_timeout), retries)
    finally:
        os.close(summary)
        if own_client is not None:
            own_client.close()
        if own_cluster is not None:
            own_cluster.close()
    return [rows[s.label] for s in todo]


def running_client() -> Any:
    """The Dask client this process made and still runs (the one
    ``distributed.get_client()`` gives outside a task), or None."""
    from distributed import get_client

    try:
        client = get_client()
    except ValueError:  # no client in this process
        return None
    return client if client.status == "running" else None


def _run_tasks(client: Any, run: List[Source], record: Callable[[Source, Row, Optional[bytes]], None],
               counts: Progress, progress: Optional[Callable[[Progress], None]], options: Dict[str, Any],
               retries: int) -> None:
    """Submits the tasks and records each result as it completes, waiting
    on the futures themselves (no polling)."""
    from dask.distributed import as_completed

    start = time.monotonic()
    # Keys of their own, so that runs sharing a client never share futures.
    token = uuid.uuid4().hex[:12]
    keys = [f"plicata-fold-{token}-{k}-{s.name}" for k, s in enumerate(run)]
    threads = max(1, sum(client.nthreads().values()))
    futures = client.map(fold_source, run, key=keys, retries=retries, pure=False, **options)
    source_of = {f.key: s for f, s in zip(futures, run)}

    def report() -> None:
        if progress:
            finished = counts.ok + counts.failed
            counts.running = min(threads, counts.total - finished) if finished < counts.total else 0
            counts.elapsed = time.monotonic() - start
            progress(counts)

    report()
    try:
        for future in as_completed(futures):
            source = source_of[future.key]
            if future.cancelled():
                # Nobody here cancels a future: the client lost its
                # scheduler, which took every task with it.
                raise ClusterLost(_lost_message(client, counts))
            try:
                row, data = future.result()
            except Exception as e:  # the task failed on every try, or its workers died
                if _scheduler_lost(client, e):
                    raise ClusterLost(_lost_message(client, counts)) from e
                row, data = _error_row(source, _failure_message(source, e, retries)), None
            record(source, row, data)
            future.release()
            report()
    except BaseException:
        if client.status == "running":
            client.cancel(futures)
        raise


def _scheduler_lost(client: Any, error: BaseException) -> bool:
    """True when error says that the client lost its scheduler, not that a
    task failed."""
    from distributed.comm.core import CommClosedError

    return client.status != "running" and isinstance(error, (concurrent.futures.CancelledError, CommClosedError,
                                                             OSError))


def _lost_message(client: Any, counts: Progress) -> str:
    address = getattr(client.scheduler, "address", None) or "the scheduler"
    left = counts.total - counts.ok - counts.failed
    return (f"lost the scheduler {address} with {left} of {counts.total} sources not done; the finished rows "
            f"are kept: run again (against a running scheduler) to fold the rest")


def _failure_message(source: Source, error: BaseException, retries: int) -> str:
    from distributed import KilledWorker
    from distributed.comm.core import CommClosedError

    if isinstance(error, (KilledWorker, CommClosedError)):
        return f"{source.label}: the worker folding it died each time it was tried"
    return f"{source.label}: folding failed {retries + 1} times: {type(error).__name__}: {error}"
