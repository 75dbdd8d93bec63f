"""Plicata: fold crease patterns rigidly from Python.

A :class:`Sheet` is one crease pattern read by the same readers, prepared the
same way and folded by the same step as the ``plicata-fold`` command, so that
its numbers are those of the command to the last bit.

>>> import plicata
>>> sheet = plicata.generate.miura(4, 4)
>>> sheet.fold(steps=20)
>>> sheet.vertices.shape
(25, 3)
"""

from __future__ import annotations

import contextlib
import enum
import os
from typing import Iterator, List, Optional, Union

import numpy as np

from . import _core
from ._files import write_atomically

PathLike = Union[str, "os.PathLike[str]"]

#: Raised when a pattern file cannot be read or built; the message is the
#: reader's one-line reason, naming the file.
PatternError = _core.PatternError
PatternError.__module__ = __name__

#: Most fold steps one call takes.
MAX_STEPS: int = _core.MAX_STEPS
#: Largest fold step setting.
MAX_FOLD_STEP: int = 50


class Kind(enum.IntEnum):
    """What a crease does, as ``Sheet.kinds`` gives it."""

    NEGATIVE_FOLD = _core.KIND_NEGATIVE  #: folds to a negative target angle
    FLAT = _core.KIND_FLAT  #: a flat line: target 0
    POSITIVE_FOLD = _core.KIND_POSITIVE  #: folds to a positive target angle
    DIAGONAL = _core.KIND_DIAGONAL  #: a diagonal added by triangulation


class Sheet:
    """One crease pattern, prepared for folding.

    Made by :func:`load` or the functions of :mod:`plicata.generate`. Lengths
    are in the pattern file's units (the OBJ files' units), angles in
    radians with the program's sign: a positive fold angle turns the face on
    the left of a crease's half-edge about the directed line, right-handed.

    Every array property returns a fresh read-only copy: assign a whole
    array to ``targets`` to change the targets.

    Several sheets may be loaded and folded in several threads at once; the
    interpreter lock is released while a sheet loads or folds.
    """

    def __init__(self, core: "_core.Sheet", verbose: bool = False) -> None:
        self._core = core
        self._verbose = verbose
        self._printed = 0
        self._recording = False
        self._echo()

    def __repr__(self) -> str:
        return (f"<plicata.Sheet {self.source!r}: {self._core.vertex_count} vertices, "
                f"{self._core.crease_count} creases, {self._core.face_count} faces>")

    def _echo(self) -> None:
        """Prints the messages not printed yet, when the sheet is verbose."""
        if not self._verbose:
            return
        messages = self._core.messages
        for line in messages[self._printed:]:
            print(line)
        self._printed = len(messages)

    # ---- folding ------------------------------------------------------------

    def fold(self, steps: int = 1, fold_step: int = 10, record: bool = False, exact: bool = False,
             contact: bool = False) -> None:
        """Folds towards the targets, as while the space bar is held.

        Parameters
        ----------
        steps : int
            Steps to take, 0 or more.
        fold_step : int
            The fold step setting, 0 to 50: each step moves a crease by at
            most ``fold_step * 0.05`` radians.
        record : bool
            Add the shape after each step to the sheet's FOLD animation (see
            :meth:`to_fold`). Inside :meth:`recording` every step is recorded.
        exact : bool
            Follow each step by Newton corrections on the closure alone, so
            that every inner vertex closes and every facet stays rigid to
            rounding (1e-12 of the paper). A substep whose corrections do
            not converge is taken again at half its size (counted in
            ``last_step["exact_halvings"]``); where even the smallest does
            not close, the rest of the step keeps the ordinary result and is
            counted in :attr:`exact_kept`. Costs about one sparse
            factorisation per step.
        contact : bool
            Faces never pass through each other: where faces that share no
            corner meet (or come within :attr:`thickness`), the creases
            driving them together stop and the others fold on. When nothing
            can move without faces passing through, the fold is locked and
            the call ends at that step (``last_step["locked"]``).

        Raises
        ------
        ValueError
            For a negative step count or a fold step outside 0-50.
        """
        self._step(steps, fold_step, False, record, exact, contact)

    def unfold(self, steps: int = 1, fold_step: int = 10, record: bool = False, exact: bool = False,
               contact: bool = False) -> None:
        """Folds back towards flat, as while 'b' is held; see :meth:`fold`."""
        self._step(steps, fold_step, True, record, exact, contact)

    def _step(self, steps: int, fold_step: int, unfold: bool, record: bool, exact: bool = False,
              contact: bool = False) -> None:
        steps = _whole(steps, "steps")
        fold_step = _whole(fold_step, "fold_step")
        try:
            self._core.fold(steps, fold_step, unfold, record or self._recording, bool(exact), bool(contact))
        finally:
            self._echo()

    def clear(self) -> None:
        """Flattens the sheet: every fold angle 0, as "Clear Fold" does."""
        self._core.clear()

    def open_next(self, path: PathLike, triangulate: bool = True) -> None:
        """Opens another pattern onto the folded model, keeping its shape.

        The new pattern's vertices take their places on the present folded
        shape (as the window's "Next File" does) and the sheet becomes the
        new pattern. A running recording starts again from the new crease
        pattern, as a FOLD file holds one.

        Raises
        ------
        PatternError
            When the file cannot be read or built; the sheet is unchanged.
        """
        try:
            self._core.open_next(_path(path), bool(triangulate))
        finally:
            self._echo()

    # ---- what the sheet holds ----------------------------------------------

    @property
    def source(self) -> str:
        """The file the pattern was read from, or the generator call."""
        return self._core.source

    @property
    def messages(self) -> List[str]:
        """What loading and folding reported, one line per entry."""
        return self._core.messages

    @property
    def vertices(self) -> np.ndarray:
        """vertices : (V, 3) float64, file units. Folded positions, as in the OBJ files."""
        return self._core.vertices

    @property
    def flat_vertices(self) -> np.ndarray:
        """flat_vertices : (V, 2) float64, file units. The crease pattern's points."""
        return self._core.flat_vertices

    @property
    def triangles(self) -> np.ndarray:
        """triangles : (F, 3) int64. Vertex indices of each facet, counter-clockwise.

        Raises
        ------
        ValueError
            When a facet has more than three sides (see :attr:`faces`).
        """
        if not self._core.triangulated:
            raise ValueError("the sheet has facets of more than three sides: use faces")
        return self._core.triangles

    @property
    def faces(self) -> List[np.ndarray]:
        """faces : list of (k,) int64. Vertex indices of each facet, counter-clockwise."""
        return self._core.faces

    @property
    def creases(self) -> np.ndarray:
        """creases : (C, 2) int64. Tail and head vertex of every interior line."""
        return self._core.creases

    @property
    def fold_angles(self) -> np.ndarray:
        """fold_angles : (C,) float64, radians. Present fold angle of each crease."""
        return self._core.fold_angles

    @property
    def kinds(self) -> np.ndarray:
        """kinds : (C,) int8. A :class:`Kind` per crease, from its target's sign."""
        return self._core.kinds

    @property
    def targets(self) -> np.ndarray:
        """targets : (C,) float64, radians. The angle each crease folds towards.

        Assigning a (C,) array sets every crease's target: 0 leaves a crease
        to follow its neighbours, so a script can fold part of a pattern, or
        fold it to a chosen amount. Fold lines start at +-(pi - 0.01).

        Raises
        ------
        ValueError
            On assignment, for another shape or a value that is not finite
            or beyond +-pi; the targets are then unchanged.
        """
        return self._core.targets

    @targets.setter
    def targets(self, value: np.ndarray) -> None:
        self._core.targets = np.asarray(value, dtype=np.float64)

    @property
    def fold_to(self) -> float:
        """The share of its target every crease folds to, 0 to 1 (1 when loaded).

        Folding stops with each crease at ``fold_to`` times its target (the
        window's "fold to" setting, plicata-fold's ``--fold-to``); a pattern
        opened with :meth:`open_next` keeps it. Values outside 0-1 are
        clamped.

        Raises
        ------
        ValueError
            On assignment of NaN.
        """
        return self._core.fold_to

    @fold_to.setter
    def fold_to(self, value: float) -> None:
        self._core.fold_to = float(value)

    @property
    def thickness(self) -> float:
        """The paper's thickness, file units (0 when loaded).

        With ``fold(..., contact=True)``, faces that share no corner keep
        their middles this far apart. A pattern opened with
        :meth:`open_next` keeps it.

        Raises
        ------
        ValueError
            On assignment of a negative or non-finite thickness, or one above
            a quarter of the paper size; the thickness is then unchanged.
        """
        return self._core.thickness

    @thickness.setter
    def thickness(self, value: float) -> None:
        self._core.thickness = float(value)

    @property
    def exact_kept(self) -> int:
        """Steps folded with ``exact=True`` whose correction did not converge."""
        return self._core.exact_kept

    def intersections(self) -> np.ndarray:
        """Pairs of faces that pass through each other in the present shape.

        Returns
        -------
        pairs : (P, 2) int64
            Face indices (as :attr:`faces` numbers them), the lower first,
            sorted. Faces sharing a vertex or a side are never a pair, and
            faces that only touch, or lie on each other nearly flat, within
            a thousandth of the sheet's size are not counted.
        """
        return self._core.intersections()

    @property
    def residual(self) -> float:
        """The closure residual (sum of |g| over every inner vertex's rows), radians."""
        return self._core.residual

    @property
    def vertex_closure(self) -> np.ndarray:
        """vertex_closure : (I,) float64, radians. Closure error of each inner vertex.

        Entry i is the Euclidean size of vertex ``inner_vertices[i]``'s rows
        of the closure residual: to first order, the angle by which the
        facets round it fail to close.
        """
        return self._core.vertex_closure

    @property
    def inner_vertices(self) -> np.ndarray:
        """inner_vertices : (I,) int64. Vertex index of each entry of :attr:`vertex_closure`."""
        return self._core.inner_vertices

    @property
    def last_step(self) -> dict:
        """Figures of the last step taken.

        Keys: ``cg_iterations`` (int), ``max_delta`` (largest angle change,
        radians), ``residual_before`` (closure residual before the step),
        ``milliseconds`` (wall time of the step), ``steps`` (steps of the call
        that took it), ``newton_iterations``, ``exact_kept`` and
        ``exact_halvings`` (exact mode's corrections of the step, whether it
        kept the ordinary result, and how many of its substeps were taken
        again at half their size), ``active_contacts`` (pairs of faces
        contact held apart in the step; 0 without contact) and ``locked``
        (contact locked the fold there).
        """
        return self._core.last_step

    @property
    def steps_taken(self) -> int:
        """Fold and unfold steps taken since the sheet was made."""
        return self._core.steps_taken

    # ---- files --------------------------------------------------------------

    def to_obj(self, path: PathLike) -> None:
        """Writes the folded shape as a Wavefront OBJ file, as plicata-fold --obj does.

        The file appears complete or not at all (written under a temporary
        name, then renamed).
        """
        write_atomically(path, self._core.save_obj)

    def to_fold(self, path: PathLike) -> None:
        """Writes a FOLD file: the crease pattern as frame 0, then the folded frames.

        The folded frames are the recorded ones (``record=True`` or
        :meth:`recording`), or, when none were recorded, the present shape.
        Written under a temporary name, then renamed.
        """
        write_atomically(path, self._core.save_fold)

    @property
    def recorded_frames(self) -> int:
        """Folded frames recorded for the FOLD animation so far."""
        return self._core.recorded_frames

    @contextlib.contextmanager
    def recording(self, path: Optional[PathLike] = None) -> Iterator["Sheet"]:
        """Records every step taken inside the block as one FOLD animation.

        Starts a new recording (frames recorded before are dropped); on
        leaving the block without an exception the animation is written to
        ``path`` when one is given, and stays available to :meth:`to_fold`.

        >>> with sheet.recording("folding.fold"):
        ...     sheet.fold(steps=30)
        """
        self._core.start_recording()
        self._recording = True
        try:
            yield self
        finally:
            self._recording = False
        if path is not None:
            self.to_fold(path)


def load(path: PathLike, triangulate: bool = True, verbose: bool = False) -> Sheet:
    """Reads a crease-pattern file and prepares it for folding, flat.

    Parameters
    ----------
    path : str or os.PathLike
        The pattern, read by what its name contains: ``.opx`` or ``.xml``
        (XML), ``.dxf``, ``.fold``, ``.svg``, ``.cp`` (ORIPA text).
    triangulate : bool
        Cut facets of more than three sides into triangles (as plicata-fold
        does unless ``--no-triangulate``).
    verbose : bool
        Also print the loader's messages to standard output; they are in
        :attr:`Sheet.messages` either way.

    Returns
    -------
    Sheet

    Raises
    ------
    PatternError
        When the file cannot be opened, read or built: ``"FILE: reason"``.
    """
    return Sheet(_core.Sheet.load(_path(path), bool(triangulate)), verbose)


def _path(path: PathLike) -> str:
    """path as text for the core; ValueError where it would be cut short."""
    text = os.fspath(path)
    if not isinstance(text, str):
        text = os.fsdecode(text)
    if "\0" in text:
        raise ValueError("embedded null character in path")
    return text


def _whole(value: int, name: str) -> int:
    """value as an int: TypeError for a non-integral number, ValueError for
    one too large for the core to be given (it checks the range itself)."""
    if isinstance(value, bool) or not isinstance(value, (int, np.integer)):
        raise TypeError(f"{name} must be a whole number, not {value!r}")
    if abs(int(value)) > 2**62:
        raise ValueError(f"{name} is out of range: {value}")
    return int(value)


from . import generate  # noqa: E402  (generate builds Sheets)

__all__ = ["Kind", "MAX_FOLD_STEP", "MAX_STEPS", "PatternError", "Sheet", "generate", "load"]
