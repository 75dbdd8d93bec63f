"""Costs of the Python package against plicata-fold, measured in one run.

1. A fold step of a triangulated 100 x 100 Miura-ori: through Python
   (``Sheet.fold``) and through ``plicata-fold``. Both fold the same file
   from flat; the steps from ``--skip`` to ``--skip + --steps`` are timed.
   plicata-fold's share is the difference of two whole runs (``--steps skip``
   and ``--steps skip+steps``), so that loading cancels. plicata-fold also
   evaluates the closure residual after every step for its progress line, so
   Python is timed both bare and with ``sheet.residual`` after each step.
2. Reading ``Sheet.vertices`` of the same sheet (a snapshot shared until
   the next step), and of a 200 x 200 Miura-ori: its first read after a
   step (one copy out of the core) against ``numpy.copy`` of the array.

Rounds alternate between the two, and the fastest round of each counts: on
a shared machine the slowest rounds measure the neighbours. Where the
machine is too busy for wall time to mean much, ``--callgrind`` also counts
the instructions of the same steps under valgrind's callgrind, which are
the same whatever else runs (OpenBLAS on one thread, so that no spinning
helper thread is counted; fixed hash seed for Python). Each count is the
difference of two runs, which cancels loading and start-up.

Run from the project root after building:

    PYTHONPATH=build/python /usr/bin/python3 bench/python_bench.py
"""

import argparse
import os
import subprocess
import sys
import tempfile
import time
import timeit

import plicata


def fold_cli(program, pattern, steps):
    """Wall seconds of one plicata-fold run of `steps` steps."""
    start = time.perf_counter()
    subprocess.run([program, pattern, "--steps", str(steps)], check=True, stdout=subprocess.DEVNULL,
                   stderr=subprocess.DEVNULL)
    return time.perf_counter() - start


def fold_python(pattern, skip, steps, with_residual):
    """Seconds per step of steps skip+1 .. skip+steps through Python."""
    sheet = plicata.load(pattern)
    sheet.fold(skip)
    start = time.perf_counter()
    if with_residual:
        for _ in range(steps):
            sheet.fold(1)
            sheet.residual
    else:
        sheet.fold(steps)
    return (time.perf_counter() - start) / steps


def instructions(command, env):
    """Instructions callgrind counts for one run of command."""
    run = subprocess.run(["valgrind", "--tool=callgrind", "--callgrind-out-file=/dev/null"] + command,
                         env=env, check=True, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE, text=True)
    for line in run.stderr.splitlines():
        if "Collected :" in line:
            return int(line.split(":")[-1])
    raise RuntimeError("callgrind reported no count:\n" + run.stderr)


def count_steps(fold, pattern, skip, steps):
    """Instructions per step of steps skip+1 .. skip+steps: plicata-fold,
    Python bare, Python with the residual after each step."""
    env = dict(os.environ, OPENBLAS_NUM_THREADS="1", PYTHONHASHSEED="0")
    bare = "import sys, plicata; plicata.load(sys.argv[1]).fold(int(sys.argv[2]))"
    checked = ("import sys, plicata\ns = plicata.load(sys.argv[1])\n"
               "for _ in range(int(sys.argv[2])):\n    s.fold(1)\n    s.residual\n")

    def cli(n):
        return instructions([fold, pattern, "--steps", str(n)], env)

    def python(script, n):
        return instructions([sys.executable, "-c", script, pattern, str(n)], env)

    return ((cli(skip + steps) - cli(skip)) / steps,
            (python(bare, skip + steps) - python(bare, skip)) / steps,
            (python(checked, skip + steps) - python(checked, skip)) / steps)


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--build", default="build", help="build folder holding plicata-fold and plicata-gen")
    parser.add_argument("--size", type=int, default=100, help="Miura-ori rows and columns")
    parser.add_argument("--skip", type=int, default=10, help="steps folded before the timed ones")
    parser.add_argument("--steps", type=int, default=20, help="steps timed")
    parser.add_argument("--rounds", type=int, default=3)
    parser.add_argument("--callgrind", action="store_true",
                        help="also count the instructions of steps 3-4 under callgrind (minutes)")
    args = parser.parse_args()
    fold = os.path.join(args.build, "plicata-fold")
    gen = os.path.join(args.build, "plicata-gen")

    with tempfile.TemporaryDirectory() as folder:
        pattern = os.path.join(folder, f"miura_{args.size}.opx")
        subprocess.run([gen, "miura", "--rows", str(args.size), "--cols", str(args.size), "-o", pattern], check=True)
        cli, bare, checked = [], [], []
        for _ in range(args.rounds):
            before = fold_cli(fold, pattern, args.skip)
            after = fold_cli(fold, pattern, args.skip + args.steps)
            cli.append((after - before) / args.steps)
            bare.append(fold_python(pattern, args.skip, args.steps, False))
            checked.append(fold_python(pattern, args.skip, args.steps, True))

        sheet = plicata.load(pattern)
        sheet.fold(args.skip)
        reads = timeit.repeat(lambda: sheet.vertices, number=100, repeat=20)
        vertex_count = sheet.vertices.shape[0]
        counted = count_steps(fold, pattern, 2, 2) if args.callgrind else None

    large = plicata.generate.miura(200, 200)
    large.fold(1)
    first = []
    for _ in range(20):
        large.fold(1)  # a new shape: the next read copies it out of the core
        start = time.perf_counter()
        array = large.vertices
        first.append(time.perf_counter() - start)
    copies = timeit.repeat(lambda: array.copy(), number=10, repeat=20)

    best_cli, best_bare, best_checked = min(cli), min(bare), min(checked)
    print(f"Miura-ori {args.size} x {args.size}, triangulated: steps {args.skip + 1}-{args.skip + args.steps}, "
          f"best of {args.rounds} rounds")
    print(f"  plicata-fold (step + residual)   {best_cli * 1e3:9.2f} ms/step")
    print(f"  Python fold()                    {best_bare * 1e3:9.2f} ms/step  "
          f"({(best_bare / best_cli - 1) * 100:+.1f}%)")
    print(f"  Python fold(1) + residual        {best_checked * 1e3:9.2f} ms/step  "
          f"({(best_checked / best_cli - 1) * 100:+.1f}%)")
    print(f"  sheet.vertices ({vertex_count} x 3)      {min(reads) / 100 * 1e3:9.4f} ms")
    print(f"  200 x 200: first sheet.vertices after a step ({array.shape[0]} x 3) {min(first) * 1e3:.4f} ms, "
          f"numpy copy of it {min(copies) / 10 * 1e3:.4f} ms")
    if counted is not None:
        print(f"  instructions per step (steps 3-4, callgrind): plicata-fold {counted[0] / 1e6:.1f} M, "
              f"Python fold() {counted[1] / 1e6:.1f} M ({(counted[1] / counted[0] - 1) * 100:+.2f}%), "
              f"with residual {counted[2] / 1e6:.1f} M ({(counted[2] / counted[0] - 1) * 100:+.2f}%)")
    print(f"  load: {os.getloadavg()[0]:.2f} {os.getloadavg()[1]:.2f} {os.getloadavg()[2]:.2f}")
    return 0


if __name__ == "__main__":
    sys.exit(main())
