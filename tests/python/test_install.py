"""pip install of the source tree into a fresh virtual environment, as the
README says, then one fold by the installed package."""

import os
import shutil
import subprocess
import sys

import pytest

from conftest import SOURCE_DIR


def test_pip_install_into_a_fresh_venv_then_fold(tmp_path):
    import importlib.util
    if not all(importlib.util.find_spec(m) for m in ("ensurepip", "pip", "setuptools")):
        pytest.skip("python3-venv, python3-pip or python3-setuptools is missing (tools/install-deps.sh)")
    env = {k: v for k, v in os.environ.items() if k != "PYTHONPATH"}
    # The CMake build beside the test build, so that a rerun compiles only what changed.
    env["PLICATA_PIP_BUILD_DIR"] = os.environ.get("PLICATA_PIP_BUILD_DIR", str(tmp_path / "pip-build"))
    env.setdefault("CMAKE_BUILD_PARALLEL_LEVEL", "2")
    if shutil.which("ccache"):
        env.setdefault("CMAKE_CXX_COMPILER_LAUNCHER", "ccache")
    venv = tmp_path / "venv"
    subprocess.run([sys.executable, "-m", "venv", "--system-site-packages", str(venv)], check=True)
    python = str(venv / "bin" / "python")
    install = subprocess.run([python, "-m", "pip", "install", "--no-build-isolation", "--no-index", str(SOURCE_DIR)],
                             env=env, capture_output=True, text=True)
    assert install.returncode == 0, install.stdout[-3000:] + install.stderr[-3000:]

    fold = ("import pathlib, plicata\n"
            "sheet = plicata.load('miura_4x4.opx')\n"
            "sheet.fold(steps=20)\n"
            "here = pathlib.Path(plicata.__file__).parent\n"
            "print(here, sorted(p.name for p in here.iterdir() if p.suffix in ('.pyi', '.typed')), "
            "sheet.vertices.shape, sheet.residual < 1e-2)\n")
    out = subprocess.run([python, "-c", fold], cwd=SOURCE_DIR / "examples", env=env, capture_output=True,
                         text=True, check=True).stdout.split(" ", 1)
    assert out[0].startswith(str(venv)), out
    assert out[1].strip() == "['_core.pyi', 'py.typed'] (25, 3) True"
