"""The flat-folded state from Python against plicata-fold, and the checks
following the targets."""

import json
import subprocess

import numpy as np
import pytest

import plicata
from conftest import EXAMPLES

MIURA = str(EXAMPLES / "miura_4x4.opx")


def test_layer_orders_are_those_of_plicata_fold(plicata_fold, tmp_path):
    out = tmp_path / "cli.fold"
    lines = subprocess.run([plicata_fold, MIURA, "--steps", "0", "--check", "--folded-form", str(out)],
                           check=True, capture_output=True, text=True).stdout.splitlines()
    frame = json.loads(out.read_text())["file_frames"][0]

    sheet = plicata.load(MIURA)
    checks = sheet.flat_foldability()
    assert f"flat-foldable locally: yes (0 of {len(checks.vertices)} inner vertices fail)" in lines
    assert checks.flat_foldable and checks.positions.shape == (len(checks.vertices), 2)
    layers = sheet.layer_orders()
    assert layers.status == "found" and layers.chosen == 1
    assert f"layer_states={layers.states}" in lines
    assert layers.face_orders.tolist() == frame["faceOrders"]
    assert np.allclose(layers.folded_vertices, frame["vertices_coords"], atol=1e-5)
    assert sheet.layer_orders(state=layers.states + 1).status == "no such state"
    assert sheet.layer_orders(state=1).status == "found"  # the same analysis, the first stacking again
    with pytest.raises(ValueError):
        sheet.layer_orders(time_limit=0)


def test_checks_follow_the_targets():
    # Sectors 60, 100, 110, 90: the alternating sum misses by 20 degrees.
    sheet = plicata.generate.vertex((60.0, 100.0, 110.0, 90.0), types=(2, 3, 2, 2))
    checks = sheet.flat_foldability()
    assert len(checks.vertices) == 1
    assert checks.kawasaki_deg[0] == pytest.approx(20.0, abs=1e-6)
    assert not checks.kawasaki_ok[0] and checks.maekawa_ok[0]
    assert (checks.mountains[0], checks.valleys[0]) in ((3, 1), (1, 3))
    assert sheet.layer_orders().status == "not flat"

    # Two mountains and two valleys: Maekawa fails once the targets say so.
    targets = sheet.targets.copy()
    folds = np.flatnonzero(targets != 0)
    targets[folds] = [3.0, -3.0, 3.0, -3.0]
    sheet.targets = targets
    checks = sheet.flat_foldability()
    assert (checks.mountains[0], checks.valleys[0]) == (2, 2)
    assert not checks.maekawa_ok[0] and not checks.flat_foldable
