"""Folds a generated Miura-ori half way and writes its animation, shape and picture.

Run from anywhere: /usr/bin/python3 examples/fold_miura.py [OUT_FOLDER]
"""

import pathlib
import sys

import numpy as np
import numpy.typing as npt

import plicata


def fold_half_way(rows: int, cols: int, out: pathlib.Path) -> plicata.Sheet:
    """A rows x cols Miura-ori folded to half its target angles, its steps recorded."""
    sheet = plicata.generate.miura(rows, cols, angle_deg=70)
    half: npt.NDArray[np.float64] = sheet.targets / 2
    sheet.targets = half
    with sheet.recording(out / "miura_half.fold"):
        sheet.fold(steps=60)
    sheet.to_obj(out / "miura_half.obj")
    return sheet


def main() -> None:
    out = pathlib.Path(sys.argv[1] if len(sys.argv) > 1 else ".")
    out.mkdir(parents=True, exist_ok=True)
    with fold_half_way(10, 10, out) as sheet:
        worst = float(sheet.vertex_closure.max())
        height = float(np.ptp(sheet.vertices[:, 2]))
        print(f"{sheet.recorded_frames} frames, height {height:.3f}, worst vertex closure {worst:.2e} rad")
        if plicata.HAS_PICTURES:
            (out / "miura_half.png").write_bytes(sheet.picture(width=480, height=360, azimuth=30, elevation=20))
        sheet.show().save(out / "miura_half.html")


if __name__ == "__main__":
    main()
