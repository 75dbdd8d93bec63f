"""Shared fixtures of the Python package's tests: the built programs and the
bundled examples. CTest passes their places in the environment."""

import os
import pathlib

import pytest

SOURCE_DIR = pathlib.Path(os.environ.get("PLICATA_SOURCE_DIR", pathlib.Path(__file__).resolve().parents[2]))
EXAMPLES = SOURCE_DIR / "examples"


def _program(variable):
    path = os.environ.get(variable)
    if not path or not os.access(path, os.X_OK):
        pytest.skip(f"{variable} does not name the built program (run the tests through ctest)")
    return path


@pytest.fixture
def plicata_fold():
    return _program("PLICATA_FOLD")


@pytest.fixture
def plicata_gen():
    return _program("PLICATA_GEN")
