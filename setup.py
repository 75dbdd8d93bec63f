"""Builds the extension plicata._core with CMake for pip (see pyproject.toml).

The CMake build is the project's own, configured in Release for the
interpreter that runs pip, and only its target plicata_python is built.
CMAKE_BUILD_PARALLEL_LEVEL (default: the processor count) sets the jobs;
CMAKE_CXX_COMPILER_LAUNCHER=ccache in the environment reuses compiled
objects. The build goes to build/pip/ (out of the way of a CMake build
folder named build/), or to PLICATA_PIP_BUILD_DIR when set.
"""

import os
import re
import shutil
import subprocess
import sys
from pathlib import Path

from setuptools import Extension, setup
from setuptools.command.build_ext import build_ext

ROOT = Path(__file__).resolve().parent


class CMakeExtension(Extension):
    """An extension whose sources CMake knows, not setuptools."""

    def __init__(self, name: str) -> None:
        super().__init__(name, sources=[])


class BuildWithCMake(build_ext):
    def build_extension(self, ext: Extension) -> None:
        if shutil.which("cmake") is None:
            sys.exit("plicata: cmake is needed to build the extension (bash tools/install-deps.sh installs it)")
        build = Path(self.build_temp).resolve() / "cmake"
        build.mkdir(parents=True, exist_ok=True)
        configure = ["cmake", "-S", str(ROOT), "-B", str(build), "-DCMAKE_BUILD_TYPE=Release",
                     f"-DPython_EXECUTABLE={sys.executable}", "-DBUILD_TESTING=OFF", "-DPLICATA_BENCH=OFF",
                     "-DPLICATA_PYTHON=ON"]
        jobs = os.environ.get("CMAKE_BUILD_PARALLEL_LEVEL") or str(os.cpu_count() or 1)
        subprocess.run(configure, check=True)
        subprocess.run(["cmake", "--build", str(build), "--target", "plicata_python", "-j", jobs], check=True)
        built = sorted((build / "python" / "plicata").glob("_core*.so"))
        if not built:
            sys.exit(f"plicata: the CMake build made no extension in {build / 'python' / 'plicata'} "
                     "(is pybind11-dev installed for this interpreter?)")
        target = Path(self.get_ext_fullpath(ext.name))
        target.parent.mkdir(parents=True, exist_ok=True)
        shutil.copyfile(built[0], target)


def version() -> str:
    """The project's version, as the top CMakeLists.txt declares it."""
    text = (ROOT / "CMakeLists.txt").read_text(encoding="utf-8")
    found = re.search(r"project\(plicata\s+VERSION\s+([0-9.]+)", text)
    return found.group(1) if found else "0"


BUILD_BASE = os.environ.get("PLICATA_PIP_BUILD_DIR") or os.path.join("build", "pip")
os.makedirs(BUILD_BASE, exist_ok=True)
setup(version=version(), ext_modules=[CMakeExtension("plicata._core")], cmdclass={"build_ext": BuildWithCMake},
      options={"build": {"build_base": BUILD_BASE}, "egg_info": {"egg_base": BUILD_BASE}})
