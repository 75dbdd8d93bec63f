"""python3 -m plicata.batch: fold many crease patterns on a Dask cluster."""

from __future__ import annotations

import argparse
import os
import signal
import sys
from typing import List, Optional, TextIO

import plicata
from plicata.batch import OK, SELF_INTERSECTING, SUMMARY, ClusterLost, Progress, fold_many

DESCRIPTION = """\
Folds every source on the workers of a Dask cluster and writes OUT/<name>.fold
for each (the final state, or every step with --frames) and a row of
OUT/summary.csv as each completes. SOURCES are pattern files, folders (every
pattern file inside, recursively) and sweep files: JSON lists of generator calls
such as [{"miura": {"rows": 20, "cols": 20, "angle_deg": 55}}].

Without --scheduler a local cluster of worker processes starts on 127.0.0.1,
one per core. A rerun skips the sources that a run before it finished (an
error or timeout row counts as finished); --force folds them again. A source
that is no file where it is given is looked for in the bundled examples.

Every step is checked for faces passing through each other: the summary's
first_collision column gives the first step that found some ("none" when none
did), and a source whose final shape passes through itself has the status
self-intersecting (a warning on standard error). The exit status is 0 when
every source folded, 1 when some gave an error or timeout row or the output or
the scheduler could not be reached, 2 for a wrong command line, 3 when the
scheduler was lost during the run (run again to fold the rest), 130 when
interrupted (Ctrl-C), 143 when terminated (SIGTERM)."""


class Terminated(BaseException):
    """SIGTERM arrived: unwinds the run as KeyboardInterrupt does."""


class Bar:
    """Progress on standard error: one line redrawn in place on a terminal,
    a line per tenth of the run otherwise."""

    def __init__(self, stream: TextIO = sys.stderr) -> None:
        self.stream = stream
        self.terminal = stream.isatty()
        self.last_tenth = -1
        self.ended = False

    def __call__(self, p: Progress) -> None:
        finished = p.ok + p.failed
        if p.total == 0 or self.ended:
            return
        self.ended = finished == p.total
        rate = finished / p.elapsed if p.elapsed > 0 else 0.0
        left = (p.total - finished) / rate if rate > 0 else float("nan")
        text = (f"{finished}/{p.total} done, {p.failed} failed, {p.running} running, {rate:.2f}/s, "
                f"{_clock(left)} left")
        if self.terminal:
            width = 30
            filled = width * finished // p.total
            self.stream.write(f"\r[{'#' * filled}{' ' * (width - filled)}] {text}\x1b[K")
            if finished == p.total:
                self.stream.write("\n")
        else:
            tenth = 10 * finished // p.total
            if tenth == self.last_tenth:
                return
            self.last_tenth = tenth
            self.stream.write(f"plicata.batch: {text}\n")
        self.stream.flush()


def _clock(seconds: float) -> str:
    if seconds != seconds:  # not known yet
        return "--:--"
    minutes, s = divmod(int(round(seconds)), 60)
    hours, m = divmod(minutes, 60)
    return f"{hours}:{m:02d}:{s:02d}" if hours else f"{m}:{s:02d}"


def _count(text: str, low: int, high: Optional[int] = None) -> int:
    try:
        value = int(text)
    except ValueError:
        raise argparse.ArgumentTypeError(f"not a whole number: {text}")
    if value < low or (high is not None and value > high):
        raise argparse.ArgumentTypeError(f"{value} is outside {low} to {high if high is not None else 'any'}")
    return value


def _seconds(text: str) -> float:
    try:
        value = float(text)
    except ValueError:
        raise argparse.ArgumentTypeError(f"not a number of seconds: {text}")
    if not 0 < value < 1e9:
        raise argparse.ArgumentTypeError(f"{text} is not a positive number of seconds")
    return value


def main(argv: Optional[List[str]] = None) -> int:
    parser = argparse.ArgumentParser(prog="python3 -m plicata.batch", description=DESCRIPTION,
                                     formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("sources", nargs="+", metavar="SOURCES")
    parser.add_argument("--out", required=True, metavar="DIR", help="folder of the results and summary.csv")
    parser.add_argument("--steps", type=lambda t: _count(t, 0, plicata.MAX_STEPS), default=100, metavar="N",
                        help="fold steps per source (default 100)")
    parser.add_argument("--fold-step", type=lambda t: _count(t, 0, plicata.MAX_FOLD_STEP), default=10,
                        metavar="K", help="fold step setting, 0 to 50 (default 10)")
    parser.add_argument("--frames", action="store_true", help="write every step as a FOLD animation")
    parser.add_argument("--no-triangulate", action="store_true",
                        help="leave facets of more than three sides whole")
    parser.add_argument("--scheduler", metavar="ADDRESS",
                        help="submit to a running dask-scheduler, e.g. tcp://host:8786, whose workers have "
                             "plicata installed and see the pattern files at the same paths")
    parser.add_argument("--workers", type=lambda t: _count(t, 1), metavar="N",
                        help="worker processes of the local cluster (default: one per core)")
    parser.add_argument("--retries", type=lambda t: _count(t, 0), default=2, metavar="R",
                        help="times a task runs again after it failed or its worker died (default 2; a running "
                             "scheduler counts worker deaths by its own allowed-failures setting)")
    parser.add_argument("--task-timeout", type=_seconds, metavar="S",
                        help="seconds a source may take on its worker; one that takes longer gets a timeout row")
    parser.add_argument("--force", action="store_true", help="fold again what an earlier run finished")
    args = parser.parse_args(argv)
    if args.scheduler and args.workers:
        parser.error("--workers sets up the local cluster; a running scheduler has its own workers")

    def terminate(signum: int, frame: object) -> None:
        raise Terminated()

    # A job scheduler stops a run with SIGTERM: the same orderly end as Ctrl-C.
    previous = signal.signal(signal.SIGTERM, terminate)
    interrupted = f"interrupted; the finished rows are in {os.path.join(args.out, SUMMARY)}, a rerun folds the rest"
    try:
        rows = fold_many(args.sources, args.out, steps=args.steps, fold_step=args.fold_step, frames=args.frames,
                         triangulate=not args.no_triangulate, force=args.force, retries=args.retries,
                         workers=args.workers, scheduler=args.scheduler, task_timeout=args.task_timeout,
                         progress=Bar())
    except ClusterLost as e:
        print(f"\nplicata.batch: {e}", file=sys.stderr)
        return 3
    except OSError as e:  # the output folder (a full disk), or a scheduler that cannot be reached
        reason = f"{e.filename}: {e.strerror}" if e.filename and e.strerror else str(e)
        print(f"\nplicata.batch: {reason}", file=sys.stderr)
        return 1
    except KeyboardInterrupt:
        print(f"\nplicata.batch: {interrupted}", file=sys.stderr)
        return 130
    except Terminated:
        print(f"\nplicata.batch: terminated; {interrupted}", file=sys.stderr)
        return 143
    finally:
        signal.signal(signal.SIGTERM, previous)
    ok = sum(r["status"] == OK for r in rows)
    crossing = sum(r["status"] == SELF_INTERSECTING for r in rows)
    timeouts = sum(r["status"] == "timeout" for r in rows)
    errors = len(rows) - ok - crossing - timeouts
    print(f"{len(rows)} sources: {ok} ok, {crossing} self-intersecting, {errors} error, {timeouts} timeout; "
          f"summary in {os.path.join(args.out, SUMMARY)}")
    for r in rows:
        if r["status"] == SELF_INTERSECTING:
            print(f"warning: {r['source']}: {r['message']}", file=sys.stderr)
        elif r["status"] != OK:
            print(f"{r['status']}: {r['message']}", file=sys.stderr)
    return 0 if errors == 0 and timeouts == 0 else 1


if __name__ == "__main__":
    sys.exit(main())
