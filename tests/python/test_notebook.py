"""The example notebook, run by a real kernel as Jupyter would run it."""

import base64
import os

import pytest

from conftest import EXAMPLES

nbclient = pytest.importorskip("nbclient")
nbformat = pytest.importorskip("nbformat")
pytest.importorskip("ipykernel")


def test_example_notebook_runs_and_shows_the_sheet(monkeypatch):
    # The kernel runs in the examples folder: the package's place must not be relative.
    monkeypatch.setenv("PYTHONPATH", os.pathsep.join(map(os.path.abspath, os.environ.get("PYTHONPATH", "").split(
        os.pathsep))))
    notebook = nbformat.read(EXAMPLES / "folding.ipynb", as_version=4)
    nbclient.NotebookClient(notebook, timeout=300, kernel_name="python3",
                            resources={"metadata": {"path": str(EXAMPLES)}}).execute()
    outputs = [o for cell in notebook.cells if cell.cell_type == "code" for o in cell.outputs]
    assert not [o for o in outputs if o.output_type == "error"]
    pictures = [base64.b64decode(o.data["image/png"]) for o in outputs if "image/png" in o.get("data", {})]
    assert len(pictures) == 1 and pictures[0].startswith(b"\x89PNG")
    views = [o.data["text/html"] for o in outputs if "text/html" in o.get("data", {})]
    # The page, with its slider over the 40 recorded steps, in a frame of its own.
    assert len(views) == 1 and views[0].startswith("<iframe srcdoc=") and "range" in views[0]
    assert any("'ok'" in o.data.get("text/plain", "") for o in outputs if "data" in o)
