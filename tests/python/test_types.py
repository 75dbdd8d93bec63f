"""Debian's mypy on the README's Python examples and examples/*.py, against
the package's annotations and the extension's stubs."""

import os
import re
import subprocess
import sys

import pytest

from conftest import EXAMPLES, SOURCE_DIR

pytest.importorskip("mypy")


def readme_examples():
    """The Python the README feeds to python3 (its here-documents)."""
    text = (SOURCE_DIR / "README.md").read_text(encoding="utf-8")
    blocks = re.findall(r"python3 - <<'EOF'\n(.*?)\n *EOF\n", text, re.S)
    return [re.sub(r"(?m)^    ", "", b) for b in blocks]


def test_mypy_passes_the_examples_and_sees_the_types(tmp_path):
    files = sorted(map(str, EXAMPLES.glob("*.py")))
    blocks = readme_examples()
    assert len(files) >= 2 and len(blocks) >= 2
    for k, block in enumerate(blocks):
        (tmp_path / f"readme_{k}.py").write_text(block)
        files.append(str(tmp_path / f"readme_{k}.py"))
    # Wrong on purpose: a check that sees no types would pass it.
    (tmp_path / "wrong.py").write_text("import plicata\n"
                                       "sheet: plicata.Sheet = plicata.generate.miura(2, 2)\n"
                                       "count: int = sheet.vertices\n")
    env = dict(os.environ, MYPYPATH=os.environ.get("PYTHONPATH", ""))
    out = subprocess.run([sys.executable, "-m", "mypy", "--cache-dir", str(tmp_path / "cache"),
                          "--no-error-summary", "--hide-error-context", *files, str(tmp_path / "wrong.py")],
                         env=env, capture_output=True, text=True, cwd=tmp_path).stdout
    errors = out.strip().splitlines()
    assert len(errors) == 1 and "wrong.py:3: error: Incompatible types" in errors[0] and "ndarray" in errors[0], out
