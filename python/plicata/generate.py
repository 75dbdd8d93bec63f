"""Crease patterns made by rule, the families ``plicata-gen`` writes.

Each function builds the pattern exactly as loading ``plicata-gen``'s XML
output would, and returns it prepared for folding, flat. The sheet is
centred on the origin with its longer side 400 file units long. Line type 2
folds to the positive target, type 3 to the negative one.
"""

from __future__ import annotations

from typing import Optional, Sequence

from . import Sheet, _core

def miura(rows: int, cols: int, angle_deg: float = 60.0, ratio: float = 1.0, assign: str = "standard",
          triangulate: bool = True) -> Sheet:
    """A Miura-ori of ``rows`` x ``cols`` parallelograms.

    Parameters
    ----------
    rows, cols : int
        Parallelograms along Y and along X, 1 or more.
    angle_deg : float
        Acute angle of the parallelograms, degrees, above 0 and at most 90.
    ratio : float
        Zig-zag side length over straight side length, above 0.
    assign : str
        How fold lines are typed: 'standard', 'swapped' (types 2 and 3
        exchanged), 'positive' (every fold line type 2) or 'negative'.
    triangulate : bool
        Cut the parallelograms into triangles.

    Raises
    ------
    ValueError
        For parameters out of range, with the generator's reason.
    """
    name = f"miura(rows={rows}, cols={cols}, angle_deg={angle_deg}, ratio={ratio}, assign={assign!r})"
    return Sheet(_core.miura(rows, cols, float(angle_deg), float(ratio), assign, bool(triangulate), name))


def vertex(sectors_deg: Sequence[float] = (70.0, 100.0, 110.0, 80.0), types: Optional[Sequence[int]] = None,
           rotation_deg: float = 0.0, triangulate: bool = True) -> Sheet:
    """A single inner vertex at the centre of a square sheet.

    Parameters
    ----------
    sectors_deg : sequence of float
        Angles between consecutive creases, degrees, counter-clockwise: 3 to
        16 of them, each in (0, 180], summing to 360.
    types : sequence of int, optional
        Line type of each crease, 0 to 3 (0 and 1 flat, 2 and 3 the fold
        types). Default: (2, 3, 2, 2) for the default sectors, every crease
        type 2 otherwise.
    rotation_deg : float
        Direction of the first crease, degrees counter-clockwise from +X.
    triangulate : bool
        Cut facets of more than three sides into triangles.

    Raises
    ------
    ValueError
        For sectors or types out of range, with the generator's reason.
    """
    sectors = [float(s) for s in sectors_deg]
    if types is None:
        types = (2, 3, 2, 2) if sectors == [70.0, 100.0, 110.0, 80.0] else [2] * len(sectors)
    kinds = [int(t) for t in types]
    if any(k != t for k, t in zip(kinds, types)):
        raise ValueError("line types are whole numbers")
    name = f"vertex(sectors_deg={sectors}, types={kinds}, rotation_deg={rotation_deg})"
    return Sheet(_core.vertex(sectors, kinds, float(rotation_deg), bool(triangulate), name))


def waterbomb(rows: int = 2, cols: int = 2, assign: str = "standard", triangulate: bool = True) -> Sheet:
    """The waterbomb tessellation on a sheet of ``cols`` x ``rows`` squares.

    Every facet is a right isosceles triangle; in the standard assignment
    the diagonals are type 2 and the horizontal lines type 3.

    Parameters
    ----------
    rows, cols : int
        Squares along Y and along X, 1 or more.
    assign : str
        'standard', 'swapped' (types 2 and 3 exchanged), 'positive' (every
        fold line type 2) or 'negative'.

    Raises
    ------
    ValueError
        For parameters out of range, with the generator's reason.
    """
    name = f"waterbomb(rows={rows}, cols={cols}, assign={assign!r})"
    return Sheet(_core.waterbomb(rows, cols, assign, bool(triangulate), name))
