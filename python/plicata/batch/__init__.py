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
- the summary holds every source once.

Tasks are pure functions of a pattern path (or a generator call) and the
fold options, so a retried task gives the same result. Workers of a remote
cluster must see pattern files at the same paths; results come back to the
submitting process, which alone writes the output folder.
"""

from __future__ import annotations

import csv
import dataclasses
import json
import logging
import os
import re
import tempfile
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
            if n in clashes and sources[k].path is not None and levels[k] < sources[k].path.count(os.sep):
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


def fold_source(source: Source, steps: int, fold_step: int, frames: bool,
                triangulate: bool) -> Tuple[Row, Optional[bytes]]:
    """Folds one source: its summary row and its FOLD file's bytes (None on error).

    Runs on a worker. A source that cannot be read or built gives an error
    row; any other failure raises, so that the scheduler may retry it.
    """
    start = time.perf_counter()
    row: Row = {"source": source.label, "status": ERROR, "message": source.problem or "", "result": "",
                "vertices": "", "creases": "", "steps": 0, "residual": "", "worst_vertex_closure": "",
                "seconds": 0.0, "first_collision": ""}
    if source.problem is not None:
        return row, None
    try:
        if source.call is not None:
            kind, args = source.call
            sheet = getattr(plicata.generate, kind)(**args, triangulate=triangulate)
        else:
            sheet = plicata.load(source.path, triangulate=triangulate)
    except plicata.PatternError as e:
        row["message"] = str(e)
        return row, None
    except ValueError as e:
        # Arguments out of range: the generator names its call.
        row["message"] = str(e)
        return row, None
    except TypeError as e:
        # Arguments the generator does not take.
        row["message"] = f"{source.label}: {e}"
        return row, None
    sheet.collisions = True
    sheet.fold(steps, fold_step=fold_step, record=frames)
    closure = sheet.vertex_closure
    pairs = len(sheet.intersections())
    with tempfile.TemporaryDirectory(prefix="plicata-batch-") as folder:
        result = os.path.join(folder, "result.fold")
        sheet.to_fold(result)
        with open(result, "rb") as f:
            data = f.read()
    first = sheet.first_collision
    row.update(status=SELF_INTERSECTING if pairs else OK,
               message=(f"{pairs} pair{'s' if pairs != 1 else ''} of faces pass through each other in the final "
                        f"shape (the first from step {first})" if pairs else ""),
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
    write_atomically(path, write)


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


def local_cluster(workers: Optional[int] = None, retries: int = 2):
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


def fold_many(sources: Iterable[SourceLike], out_dir: Union[str, "os.PathLike[str]"], client=None, *,
              steps: int = 100, fold_step: int = 10, frames: bool = False, triangulate: bool = True,
              force: bool = False, retries: int = 2, workers: Optional[int] = None,
              scheduler: Optional[str] = None,
              progress: Optional[Callable[[Progress], None]] = None) -> List[Row]:
    """Folds every source on a Dask cluster; returns the summary rows.

    Parameters
    ----------
    sources : iterable of str, os.PathLike or dict
        Pattern files, folders, sweep files (``.json``) and generator calls.
    out_dir : str or os.PathLike
        Receives ``<name>.fold`` per source and ``summary.csv``; made if missing.
    client : dask.distributed.Client, optional
        The cluster to use. Without one, a client of ``scheduler`` (an
        address such as ``tcp://host:8786``) or of a new local cluster of
        ``workers`` processes (see :func:`local_cluster`), closed at the end.
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
    progress : callable, optional
        Called with a :class:`Progress` as the run goes on.

    Returns
    -------
    list of dict
        One row per source in the order of the sources, with the keys of
        :data:`FIELDS`; rows of skipped sources come from the summary.
    """
    from dask.distributed import Client

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

    own_cluster = own_client = None
    if client is None:
        if scheduler is None:
            own_cluster = local_cluster(workers, retries)
            own_client = client = Client(own_cluster)
        else:
            # A running scheduler may serve others too: worker deaths are
            # counted against its own limit, which this run leaves as it is.
            own_client = client = Client(scheduler)
    try:
        with open(summary_path, "a", newline="", encoding="utf-8") as summary:
            writer = csv.DictWriter(summary, FIELDS, extrasaction="ignore")

            def record(source: Source, row: Row, data: Optional[bytes]) -> None:
                def flush_row() -> None:
                    writer.writerow(row)
                    summary.flush()
                result = os.path.join(out_dir, f"{source.name}.fold")
                if data is None:
                    flush_row()
                    # A result of an earlier run would contradict the row.
                    if os.path.exists(result):
                        os.unlink(result)
                else:
                    row["result"] = os.path.basename(result)

                    def write(temporary: str) -> int:
                        with open(temporary, "wb") as f:
                            f.write(data)
                        return 0
                    write_atomically(result, write, before_rename=flush_row)
                rows[source.label] = row
                if folded(row):
                    counts.ok += 1
                else:
                    counts.failed += 1

            _run_tasks(client, run, record, counts, progress,
                       dict(steps=steps, fold_step=fold_step, frames=frames, triangulate=triangulate), retries)
    finally:
        if own_client is not None:
            own_client.close()
        if own_cluster is not None:
            own_cluster.close()
    return [rows[s.label] for s in todo]


def _run_tasks(client, run: List[Source], record, counts: Progress, progress, options: Dict[str, Any],
               retries: int) -> None:
    """Submits the tasks and records each result as it completes."""
    from dask.distributed import as_completed

    start = time.monotonic()
    # Keys of their own, so that runs sharing a client never share futures.
    token = uuid.uuid4().hex[:12]
    keys = [f"plicata-fold-{token}-{k}-{s.name}" for k, s in enumerate(run)]
    futures = client.map(fold_source, run, key=keys, retries=retries, pure=False, **options)
    source_of = {f.key: s for f, s in zip(futures, run)}
    pending = as_completed(futures)
    polled = 0.0
    held = 0
    try:
        while not pending.is_empty():
            finished = pending.next_batch(block=False)
            for future in finished:
                source = source_of[future.key]
                try:
                    row, data = future.result()
                except Exception as e:  # the task failed on every try, or its workers died
                    row, data = _error_row(source, _failure_message(source, e, retries)), None
                record(source, row, data)
                future.release()
            now = time.monotonic()
            if progress and (finished or now - polled > 0.5):
                if now - polled > 0.5:
                    # Tasks a worker holds beyond its threads wait in its queue.
                    processing, threads = client.processing(), client.nthreads()
                    held = sum(min(len(keys), threads.get(w, 1)) for w, keys in processing.items())
                    polled = now
                counts.running = min(held, counts.total - counts.ok - counts.failed)
                counts.elapsed = now - start
                progress(counts)
            if not finished:
                time.sleep(0.05)
    except BaseException:
        client.cancel(futures)
        raise
    counts.running = 0
    counts.elapsed = time.monotonic() - start
    if progress:
        progress(counts)


def _failure_message(source: Source, error: BaseException, retries: int) -> str:
    if type(error).__name__ == "KilledWorker":
        return f"{source.label}: the worker folding it died each time it was tried"
    return f"{source.label}: folding failed {retries + 1} times: {type(error).__name__}: {error}"
