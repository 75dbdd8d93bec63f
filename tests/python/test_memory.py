"""A sheet under an address-space limit too small for the next pattern."""

import subprocess
import sys
import textwrap

SCRIPT = textwrap.dedent(
    """
    import resource

    import numpy as np
    import plicata

    small = plicata.generate.miura(4, 4)
    small.fold(steps=2)
    before = small.vertices.copy()
    with open("/proc/self/status") as status:
        size_kib = next(int(line.split()[1]) for line in status if line.startswith("VmSize:"))
    soft, hard = resource.getrlimit(resource.RLIMIT_AS)
    resource.setrlimit(resource.RLIMIT_AS, ((size_kib + 24 * 1024) * 1024, hard))
    try:
        plicata.generate.miura(150, 150)
    except MemoryError as e:
        print("MemoryError:", e)
    else:
        print("no MemoryError")
    resource.setrlimit(resource.RLIMIT_AS, (soft, hard))
    small.fold(steps=2)
    assert np.isfinite(small.vertices).all()
    assert not np.array_equal(small.vertices, before)
    print("the earlier sheet still folds")
    """
)


def test_memory_error_keeps_the_interpreter_and_the_loaded_sheet():
    # Its own interpreter: the limit stays there, and a hang is a failure.
    done = subprocess.run(
        [sys.executable, "-c", SCRIPT], capture_output=True, text=True, timeout=600
    )
    assert done.returncode == 0, done.stderr
    assert "MemoryError:" in done.stdout, done.stdout
    assert "the earlier sheet still folds" in done.stdout
