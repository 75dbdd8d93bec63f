"""The plicata package against plicata-fold, and its refusals."""

import os
import subprocess
import threading

import numpy as np
import pytest

import plicata
from conftest import EXAMPLES

MIURA = str(EXAMPLES / "miura_4x4.opx")
WATERBOMB = str(EXAMPLES / "waterbomb_3x3.opx")
VERTEX = str(EXAMPLES / "degree4_vertex.opx")


@pytest.mark.parametrize("phases,fold_step,unfold", [
    ([(WATERBOMB, 25)], 10, False),
    ([(MIURA, 12), (VERTEX, 6)], 7, False),   # a pattern opened onto a folded one
    ([(MIURA, 5)], 50, True),
])
def test_same_files_as_plicata_fold(plicata_fold, tmp_path, phases, fold_step, unfold):
    command = [plicata_fold, "--fold-step", str(fold_step), "--obj", str(tmp_path / "cli.obj"),
               "--fold-out", str(tmp_path / "cli.fold")] + (["--unfold"] if unfold else [])
    for k, (path, steps) in enumerate(phases):
        command += ([path] if k == 0 else ["--next", path]) + ["--steps", str(steps)]
    report = subprocess.run(command, check=True, capture_output=True, text=True).stdout.splitlines()[-1]

    sheet = plicata.load(phases[0][0])
    for k, (path, steps) in enumerate(phases):
        if k > 0:
            sheet.open_next(path)
        step = sheet.unfold if unfold else sheet.fold
        step(steps, fold_step=fold_step, record=True)
    sheet.to_obj(tmp_path / "py.obj")
    sheet.to_fold(tmp_path / "py.fold")

    assert (tmp_path / "py.obj").read_bytes() == (tmp_path / "cli.obj").read_bytes()
    assert (tmp_path / "py.fold").read_bytes() == (tmp_path / "cli.fold").read_bytes()
    assert f"residual={sheet.residual:.3e} max_delta={sheet.last_step['max_delta']:.6f}" in report
    assert sheet.recorded_frames == phases[-1][1]


def test_examples_by_name_from_any_folder(tmp_path, monkeypatch):
    monkeypatch.chdir(tmp_path)
    sheet = plicata.load("miura_4x4.opx")
    assert sheet.source.endswith("/miura_4x4.opx") and len(sheet.vertices) == 25
    with pytest.raises(plicata.PatternError) as raised:
        plicata.load("no_such_pattern.opx")
    assert f"here ({os.path.realpath(tmp_path / 'no_such_pattern.opx')})" in str(raised.value)
    assert "examples folder" in str(raised.value)


def test_version_is_the_programs(plicata_fold):
    shown = subprocess.run([plicata_fold, "--version"], capture_output=True, text=True, check=True).stdout
    assert shown == f"plicata-fold {plicata.__version__}\n"


def test_generated_sheet_is_the_generated_file(plicata_gen, tmp_path):
    path = tmp_path / "miura.opx"
    subprocess.run([plicata_gen, "miura", "--rows", "3", "--cols", "5", "--angle", "55", "-o", str(path)], check=True)
    loaded, made = plicata.load(path), plicata.generate.miura(3, 5, angle_deg=55)
    loaded.fold(15)
    made.fold(15)
    assert np.array_equal(loaded.vertices, made.vertices)
    assert np.array_equal(loaded.triangles, made.triangles)


def test_targets_fold_only_the_chosen_creases():
    # One row of parallelograms: three zig-zag creases that meet no inner
    # vertex, so each folds on its own.
    sheet = plicata.generate.miura(1, 4)
    targets = np.zeros(len(sheet.creases))
    chosen = np.flatnonzero(sheet.kinds != plicata.Kind.DIAGONAL)[1]
    targets[chosen] = 1.2
    sheet.targets = targets
    assert np.array_equal(sheet.targets, targets)
    sheet.fold(200)
    others = np.delete(sheet.fold_angles, chosen)
    assert sheet.fold_angles[chosen] == pytest.approx(1.2, abs=1e-3)
    assert np.abs(others).max() < 1e-9
    # Read-only copies: writing into one must not look as if it worked.
    with pytest.raises(ValueError):
        sheet.targets[0] = 1.0
    sheet.clear()
    assert not sheet.fold_angles.any()
    assert np.allclose(sheet.vertices, np.c_[sheet.flat_vertices, np.zeros(len(sheet.flat_vertices))], atol=1e-9)


def test_bad_arguments_raise_value_error_and_change_nothing():
    sheet = plicata.generate.miura(2, 2)
    before = sheet.targets
    for bad in (before[:-1], before.reshape(-1, 1), np.where(np.arange(len(before)) == 3, np.nan, before),
                before + 4.0):
        with pytest.raises(ValueError):
            sheet.targets = bad
    assert np.array_equal(sheet.targets, before)
    for call in (lambda: sheet.fold(-1), lambda: sheet.fold(1, fold_step=51), lambda: sheet.unfold(1, fold_step=-1),
                 lambda: plicata.generate.miura(0, 3)):
        with pytest.raises(ValueError):
            call()
    assert sheet.steps_taken == 0


@pytest.mark.parametrize("name,content", [
    ("missing.opx", None),
    ("truncated.opx", b"<?xml version=\"1.0\"?>\n<java><object class=\"oripa.DataSet\"><void property=\"lines\">"),
    ("noise.fold", bytes(range(256)) * 4),
    ("empty.svg", b""),
    ("drawing.txt", b"0 0 1 1"),
], ids=lambda v: v if isinstance(v, str) else None)
def test_hostile_files_raise_with_the_reason(tmp_path, name, content):
    path = tmp_path / name
    if content is not None:
        path.write_bytes(content)
    with pytest.raises(plicata.PatternError) as raised:
        plicata.load(path)
    message = str(raised.value)
    if content is None:
        # The OSError Python users catch, and still a PatternError.
        assert isinstance(raised.value, FileNotFoundError) and raised.value.filename == str(path)
        assert str(path) in message
    else:
        assert isinstance(raised.value, ValueError) and not isinstance(raised.value, OSError)
        assert message.startswith(f"{path}: ") and len(message) > len(str(path)) + 2 and "\n" not in message
    # Opening it onto a folded sheet leaves the sheet as it was.
    sheet = plicata.load(MIURA)
    sheet.fold(5)
    shape = sheet.vertices
    with pytest.raises(plicata.PatternError):
        sheet.open_next(path)
    assert np.array_equal(sheet.vertices, shape) and sheet.source == MIURA


def test_two_threads_agree_with_one():
    def run(make, steps, out, key, start=None):
        if start is not None:
            start.wait()
        sheet = make()
        sheet.fold(steps)
        sheet.unfold(steps // 3)
        out[key] = (sheet.vertices, sheet.fold_angles, sheet.residual, sheet.messages)

    jobs = {"miura": (lambda: plicata.generate.miura(14, 14), 40),
            "waterbomb": (lambda: plicata.generate.waterbomb(12, 12), 40)}
    alone, together = {}, {}
    for key, (make, steps) in jobs.items():
        run(make, steps, alone, key)
    start = threading.Barrier(len(jobs))
    threads = [threading.Thread(target=run, args=(make, steps, together, key, start))
               for key, (make, steps) in jobs.items()]
    for t in threads:
        t.start()
    for t in threads:
        t.join()
    for key in jobs:
        vertices, angles, residual, messages = together[key]
        assert messages == alone[key][3], key  # and so no memory address among them
        assert np.array_equal(vertices, alone[key][0]), key
        assert np.array_equal(angles, alone[key][1]) and residual == alone[key][2], key


@pytest.mark.parametrize("option,setting", [("--exact", {"exact": True}), ("--fold-to 40", {"fold_to": 0.4})])
def test_steering_matches_plicata_fold(plicata_fold, tmp_path, option, setting):
    subprocess.run([plicata_fold, *option.split(), "--steps", "30", "--obj", str(tmp_path / "cli.obj"), VERTEX],
                   check=True, capture_output=True)
    sheet = plicata.load(VERTEX)
    sheet.fold_to = setting.get("fold_to", 1.0)
    sheet.fold(30, exact=setting.get("exact", False))
    sheet.to_obj(tmp_path / "py.obj")
    assert (tmp_path / "py.obj").read_bytes() == (tmp_path / "cli.obj").read_bytes()
    if "exact" in setting:
        assert sheet.vertex_closure.max() < 1e-11 and sheet.exact_kept == 0
        sheet.fold(3)  # the call's exact mode ends with it
        assert sheet.vertex_closure.max() > 1e-9


def test_intersections_appear_at_the_collision_step(plicata_fold):
    out = subprocess.run([plicata_fold, "--collisions", "--steps", "40", WATERBOMB],
                         check=True, capture_output=True, text=True).stdout
    step = int(next(line for line in out.splitlines() if line.startswith("collision")).split()[1][5:])
    sheet = plicata.load(WATERBOMB)
    sheet.fold(step - 1)
    assert sheet.intersections().shape == (0, 2)
    sheet.fold(1)
    pairs = sheet.intersections()
    assert len(pairs) > 0 and (pairs[:, 0] < pairs[:, 1]).all() and pairs.max() < len(sheet.faces)


def test_contact_folds_as_plicata_fold_and_never_crosses(plicata_fold, tmp_path):
    subprocess.run([plicata_fold, "--contact", "--thickness", "4", "--steps", "60", "--obj", str(tmp_path / "cli.obj"),
                    WATERBOMB], check=True, capture_output=True)
    sheet = plicata.load(WATERBOMB)
    with pytest.raises(ValueError, match="thickness"):
        sheet.thickness = 101  # above a quarter of the 400-unit paper
    with pytest.raises(ValueError, match="thickness"):
        sheet.thickness = -1
    assert sheet.thickness == 0
    sheet.thickness = 4
    sheet.fold(60, contact=True)
    sheet.to_obj(tmp_path / "py.obj")
    assert (tmp_path / "py.obj").read_bytes() == (tmp_path / "cli.obj").read_bytes()
    assert sheet.intersections().shape == (0, 2)
    assert sheet.last_step["active_contacts"] > 0 and not sheet.last_step["locked"]
    sheet.fold(10)  # the call's contact ends with it: the flaps pass through
    assert len(sheet.intersections()) > 0 and sheet.last_step["active_contacts"] == 0


def test_a_locked_fold_ends_the_call(tmp_path):
    # Two flaps either side of a middle face, leaning in until their edges meet.
    edge = [(-100, -100), (-50, -100), (50, -100), (200, -100), (100, 100), (50, 100), (-50, 100), (-200, 100)]
    lines = [f"1 {a[0]} {a[1]} {b[0]} {b[1]}" for a, b in zip(edge, edge[1:] + edge[:1])]
    (tmp_path / "flaps.cp").write_text("\n".join(lines + ["3 -50 -100 -50 100", "3 50 -100 50 100"]) + "\n")
    sheet = plicata.load(tmp_path / "flaps.cp", triangulate=False)
    sheet.fold(100, contact=True)
    assert sheet.last_step["locked"] and sheet.last_step["active_contacts"] == 1
    assert sheet.last_step["steps"] < 100 and sheet.intersections().shape == (0, 2)


def test_mobility_of_a_miura_ori_and_folding_along_its_mode(plicata_fold, tmp_path):
    sheet = plicata.load(MIURA)  # 4 x 4 parallelograms, triangulated
    flat = sheet.mobility()
    assert flat.flat and flat.dof > 1 and flat.modes.shape == (len(sheet.creases), flat.dof)
    assert np.allclose(flat.modes.T @ flat.modes, np.eye(flat.dof))
    sheet.fold(12)
    folded = sheet.mobility()
    assert (folded.dof, folded.redundant, folded.flat, folded.sure) == (1, 4, False, True)
    mode = folded.modes[:, 0]
    assert mode.dtype == np.float64 and np.linalg.norm(mode) == pytest.approx(1.0)
    assert not mode[sheet.kinds == plicata.Kind.DIAGONAL].any()  # held flat: the pattern as drawn

    # A mode it does not have: refused with the count, nothing folded.
    with pytest.raises(ValueError, match="mode 2 does not exist: the state has 1 mode$"):
        sheet.fold(1, mode=2)
    assert sheet.steps_taken == 12
    # A step along a mode does not stop at contact: the two are refused together.
    with pytest.raises(ValueError, match="contact and mode cannot be used together"):
        sheet.fold(1, contact=True, mode=1)
    assert sheet.steps_taken == 12
    # Along the mode, in two calls: the motion of the mode, the sheet as
    # closed as the ordinary step keeps it, and plicata-fold's very shape.
    before = sheet.fold_angles
    sheet.fold(4, mode=1)
    sheet.fold(4, mode=1)
    moved = sheet.fold_angles - before
    assert abs(moved @ mode) > 0.99 * np.linalg.norm(moved) > 0.1
    assert sheet.vertex_closure.max() < 1e-3
    subprocess.run([plicata_fold, "--steps", "12", "--mode", "1", "--steps", "8", "--obj", str(tmp_path / "cli.obj"),
                    MIURA], check=True, capture_output=True)
    sheet.to_obj(tmp_path / "py.obj")
    assert (tmp_path / "py.obj").read_bytes() == (tmp_path / "cli.obj").read_bytes()


def test_one_sheet_from_two_threads_is_never_seen_half_way():
    sheet = plicata.generate.miura(24, 24)
    states = [sheet.vertices.tobytes()]
    seen = []
    done = threading.Event()

    def folder():
        for _ in range(25):
            sheet.fold(1)
            states.append(sheet.vertices.tobytes())
        done.set()

    def reader():
        while not done.is_set():
            seen.append(np.array(sheet._core.vertices).tobytes())  # a fresh read of the core each time

    threads = [threading.Thread(target=folder), threading.Thread(target=reader)]
    for t in threads:
        t.start()
    for t in threads:
        t.join()
    assert len(seen) > 1 and set(seen) <= set(states)
    assert sheet.steps_taken == 25


def test_a_closed_sheet_refuses_every_use(tmp_path):
    with plicata.load(MIURA) as sheet:
        sheet.fold(3)
    assert sheet.closed and "closed" in repr(sheet)
    uses = [lambda: sheet.fold(1), lambda: sheet.vertices, lambda: sheet.messages, lambda: sheet.vertex_closure,
            lambda: sheet.to_obj(tmp_path / "shape.obj"), lambda: sheet.open_next(MIURA), lambda: sheet.show(),
            lambda: sheet.picture(width=8, height=8), lambda: setattr(sheet, "targets", np.zeros(3)),
            lambda: sheet.thickness, lambda: setattr(sheet, "thickness", 1.0)]
    for use in uses:
        with pytest.raises(ValueError, match="closed"):
            use()
    assert list(tmp_path.iterdir()) == []
    sheet.close()  # again: nothing
