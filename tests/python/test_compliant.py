"""The compliant solver from Python: the same folding as plicata-fold's, its
strain arrays, and its refusals."""

import subprocess

import numpy as np
import pytest

import plicata
from conftest import EXAMPLES

MIURA = str(EXAMPLES / "miura_4x4.opx")


@pytest.fixture
def hypar(plicata_gen, tmp_path):
    path = tmp_path / "hypar.opx"
    subprocess.run([plicata_gen, "hypar", "--rings", "4", "-o", str(path)], check=True)
    return str(path)


def test_same_files_as_plicata_fold(plicata_fold, tmp_path, hypar):
    subprocess.run([plicata_fold, "--solver", "compliant", "--stiffness", "1,20,1e4", "--fold-to", "90",
                    "--steps", "4", "--obj", str(tmp_path / "cli.obj"), "--fold-out", str(tmp_path / "cli.fold"),
                    hypar], check=True, capture_output=True)
    sheet = plicata.load(hypar)
    sheet.solver = "compliant"
    sheet.stiffness = (1, 20, 1e4)
    sheet.fold_to = 0.9
    sheet.fold(4, record=True)
    sheet.to_obj(tmp_path / "py.obj")
    sheet.to_fold(tmp_path / "py.fold")
    assert (tmp_path / "py.obj").read_bytes() == (tmp_path / "cli.obj").read_bytes()
    assert (tmp_path / "py.fold").read_bytes() == (tmp_path / "cli.fold").read_bytes()
    step = sheet.last_step
    assert step["solver"] == "compliant" and step["newton_iterations"] > 0 and not step["compliant_kept"]

    # The hypar cannot fold rigidly: its facets bend and its bars give a little.
    creases = len(sheet.creases)
    assert sheet.bars.shape == (len(sheet.bar_strain), 2) and np.array_equal(sheet.bars[:creases], sheet.creases)
    strain, bending = np.abs(sheet.bar_strain), sheet.facet_bending
    assert strain.max() == pytest.approx(step["max_strain"]) and 1e-6 < strain.max() < 0.05
    folds = (sheet.kinds == plicata.Kind.POSITIVE_FOLD) | (sheet.kinds == plicata.Kind.NEGATIVE_FOLD)
    assert bending.shape == (creases,) and (bending[folds] == 0).all() and bending.max() > 0.01
    assert bending.max() == pytest.approx(step["max_bending"])


def test_rigid_fold_has_no_strain_and_refusals_change_nothing():
    sheet = plicata.load(MIURA)
    sheet.fold(10, exact=True)  # closed to rounding: the placed faces meet exactly
    assert sheet.last_step["solver"] == "rigid" and np.abs(sheet.bar_strain).max() < 1e-9
    for name, value, reason in [("solver", "soft", "rigid"), ("stiffness", (1, -1, 1e4), "facet -1"),
                                ("stiffness", (1, 10, float("inf")), "axial inf"), ("stiffness", (1, 10), "three")]:
        with pytest.raises(ValueError, match=reason):
            setattr(sheet, name, value)
    assert sheet.solver == "rigid" and sheet.stiffness == (1.0, 10.0, 1e4)
    sheet.solver = "compliant"
    with pytest.raises(ValueError, match="exact"):
        sheet.fold(1, exact=True)
    with pytest.raises(ValueError, match="mode .*compliant"):
        sheet.fold(1, mode=1)
    assert sheet.steps_taken == 10
