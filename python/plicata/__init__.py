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
import dataclasses
import enum
import os
from types import TracebackType
from typing import Any, Dict, Iterator, List, NamedTuple, Optional, Sequence, Tuple, Type, Union

import numpy as np
import numpy.typing as npt

from . import _core
from ._files import write_atomically
from ._view import FoldView

PathLike = Union[str, "os.PathLike[str]"]

#: Raised when a pattern cannot be read or built: a malformed file, a name
#: that names no format, a pattern with no facet. A ValueError; the message
#: is the reader's one-line reason, naming the file.
PatternError = _core.PatternError
#: A pattern file that does not exist: a FileNotFoundError, and a
#: PatternError for code that caught every loading failure as one.
PatternNotFoundError = _core.PatternNotFoundError
#: A pattern file that may not be read: a PermissionError and a PatternError.
PatternPermissionError = _core.PatternPermissionError
#: A pattern file that cannot be opened for another reason: an OSError and
#: a PatternError.
PatternUnreadableError = _core.PatternUnreadableError
for _error in (PatternError, PatternNotFoundError, PatternPermissionError, PatternUnreadableError):
    _error.__module__ = __name__

#: The version of Plicata this package belongs to (the programs' --version).
__version__: str = _core.__version__

#: Most fold steps one call takes.
MAX_STEPS: int = _core.MAX_STEPS
#: Largest fold step setting.
MAX_FOLD_STEP: int = 50
#: True where this build draws pictures (Sheet.picture, a notebook's view
#: of a sheet): it has Mesa's off-screen OpenGL.
HAS_PICTURES: bool = _core.HAS_PICTURES
#: A notebook's picture of a sheet draws the lines up to this many faces.
_EDGES_UP_TO = 5000


class Kind(enum.IntEnum):
    """What a crease does, as ``Sheet.kinds`` gives it."""

    NEGATIVE_FOLD = _core.KIND_NEGATIVE  #: folds to a negative target angle
    FLAT = _core.KIND_FLAT  #: a flat line: target 0
    POSITIVE_FOLD = _core.KIND_POSITIVE  #: folds to a positive target angle
    DIAGONAL = _core.KIND_DIAGONAL  #: a diagonal added by triangulation


class FlatFoldability(NamedTuple):
    """The local flat-foldability of every inner vertex (see :meth:`Sheet.flat_foldability`).

    Every array has one entry per inner vertex, in vertex order (I entries).
    Fold lines are the creases of negative or positive target, folded to
    +-180 degrees; flat lines and triangulation diagonals split no sector.

    Attributes
    ----------
    vertices : (I,) int64
        Vertex index (as :attr:`Sheet.flat_vertices` numbers them).
    positions : (I, 2) float64, file units
        The vertex's place in the crease pattern.
    kawasaki_deg : (I,) float64, degrees
        Absolute alternating sum of the angles between consecutive fold
        lines: 0 where Kawasaki holds; NaN for an odd number of folds.
    mountains, valleys : (I,) int64
        Fold lines of negative (mountain) and positive (valley) target there.
    kawasaki_ok : (I,) bool
        ``kawasaki_deg`` within 0.001 degrees of 0.
    maekawa_ok : (I,) bool
        Mountains and valleys differ by two (or the vertex has no folds).
    """

    vertices: np.ndarray
    positions: np.ndarray
    kawasaki_deg: np.ndarray
    mountains: np.ndarray
    valleys: np.ndarray
    kawasaki_ok: np.ndarray
    maekawa_ok: np.ndarray

    @property
    def ok(self) -> np.ndarray:
        """ok : (I,) bool. The vertex passes both conditions."""
        return self.kawasaki_ok & self.maekawa_ok

    @property
    def flat_foldable(self) -> bool:
        """Every inner vertex passes both conditions."""
        return bool(np.all(self.ok))


class LayerOrders(NamedTuple):
    """The folded form and one valid stacking of its layers (see :meth:`Sheet.layer_orders`).

    Attributes
    ----------
    status : str
        ``"found"`` (stacking ``chosen`` is given), ``"none"`` (proven: no
        valid stacking), ``"not flat"`` (a vertex fails locally or the
        folded form tears; not solved), ``"out of time"`` (the time limit
        ran out first) or ``"no such state"`` (fewer stackings than asked).
    reason : str
        Why, for every status but ``"found"``; there a note on the limits
        or empty.
    states : int
        Valid stackings counted, at most 1 000 000 (a lower bound unless
        ``states_exact``).
    states_exact : bool
        The count is complete (neither the cap nor the time limit stopped it).
    chosen : int
        The stacking given below, 1-based; 0 for none.
    face_orders : (K, 3) int64
        FOLD ``faceOrders`` of the chosen stacking: ``[f, g, s]`` for every
        two overlapping faces, f < g, s = +1 when face f lies on the side of
        face g its normal points to, -1 on the other. (0, 3) without one.
    folded_vertices : (V, 2) float64, file units
        The folded form: every vertex's place when each fold line is folded
        to +-180 degrees, the fixed face in place.
    face_up : (F,) int8
        +1 for a face showing its front side up (as the fixed face), -1 for
        one turned over.
    gap : float, file units
        Largest distance between two places of one vertex in the folded form
        (0 for a pattern that folds flat).
    seconds : float
        Wall time of the analysis that ordered the layers.
    """

    status: str
    reason: str
    states: int
    states_exact: bool
    chosen: int
    face_orders: np.ndarray
    folded_vertices: np.ndarray
    face_up: np.ndarray
    gap: float
    seconds: float


@dataclasses.dataclass(frozen=True)
class Mobility:
    """What a folded state can do, as :meth:`Sheet.mobility` finds it.

    The counts come from the singular values of the closure Jacobian C
    (three rows per inner vertex, a column per fold line), analysed at the
    closed state nearest the present one: its rank is the number of
    singular values above ``tolerance`` (1e-8 of the largest).

    Attributes
    ----------
    dof : int
        Independent ways the state can move: fold lines analysed less the
        rank (1 for a folded Miura-ori).
    redundant : int
        Closure equations implied by the others: rows less the rank.
    rank : int
        The numerical rank of C.
    flat : bool
        The sheet is flat: the counts are first-order ones (a degree-4
        vertex has 2 there, 1 once folded) and most such motions do not
        extend to finite ones.
    closed : bool
        The analysis closed the state first (False: it could not, and the
        state was analysed as it is).
    sure : bool
        The singular values stand at least a hundredfold either side of
        ``tolerance``, so the count does not hang on it.
    diagonals : bool
        The triangulation's diagonals counted as hinges (False: held flat,
        the pattern as drawn, and their rows of ``modes`` are 0).
    tolerance : float
        The rank threshold, in the singular values' units (radians of
        closure per radian of fold).
    singular_values : (k,) float64
        Ascending: all of them on small sheets, the smallest found by the
        sparse iteration on large ones; zeros included.
    modes : (C, dof) float64
        An orthonormal basis of the first-order motions, column j the j-th
        mode (:meth:`Sheet.fold` ``mode=j + 1``): radians of each crease's
        fold per unit of motion, rows by crease as :attr:`Sheet.creases`.
        The same state gives the same columns in the same order: mode 1
        leads with the crease that moves most, positive, mode 2 with the
        one that moves most while that one holds still, and so on.
    """

    dof: int
    redundant: int
    rank: int
    flat: bool
    closed: bool
    sure: bool
    diagonals: bool
    tolerance: float
    singular_values: np.ndarray
    modes: np.ndarray


class Sheet:
    """One crease pattern, prepared for folding.

    Made by :func:`load` or the functions of :mod:`plicata.generate`. Lengths
    are in the pattern file's units (the OBJ files' units), angles in
    radians with the program's sign: a positive fold angle turns the face on
    the left of a crease's half-edge about the directed line, right-handed.

    Arrays are read-only: :attr:`vertices` and :attr:`fold_angles` are
    snapshots shared by every read until the sheet changes, every other
    array a fresh copy per read. Assign a whole array to ``targets`` to
    change the targets.

    Several sheets may be loaded and folded in several threads at once; the
    interpreter lock is released while a sheet loads, folds or draws. One
    sheet used from several threads takes one call at a time: each call
    waits for the one running, and sees the sheet before or after it, never
    half way.

    A sheet holds its pattern until :meth:`close` (or the end of a ``with``
    block); a closed sheet raises ValueError when used.

    In a notebook a sheet shows itself as a picture (:meth:`picture`);
    :meth:`show` gives a view to turn, zoom and play.
    """

    def __init__(self, core: "_core.Sheet", verbose: bool = False) -> None:
        self._core = core
        self._verbose = verbose
        self._printed = 0
        self._recording = False
        self._snapshots: Dict[str, Tuple[int, "npt.NDArray[Any]"]] = {}
        self._echo()

    def __repr__(self) -> str:
        if self._core.closed:
            return "<plicata.Sheet (closed)>"
        return (f"<plicata.Sheet {self.source!r}: {self._core.vertex_count} vertices, "
                f"{self._core.crease_count} creases, {self._core.face_count} faces>")

    def close(self) -> None:
        """Frees the pattern and all the sheet holds, at once.

        A call running in another thread finishes first. Every later use
        raises ValueError; closing again does nothing. ``with`` closes the
        sheet at the end of its block.
        """
        self._core.close()
        self._snapshots.clear()

    @property
    def closed(self) -> bool:
        """True once :meth:`close` was called."""
        return self._core.closed

    def __enter__(self) -> "Sheet":
        return self

    def __exit__(self, kind: Optional[Type[BaseException]], error: Optional[BaseException],
                 traceback: Optional[TracebackType]) -> None:
        self.close()

    def _snapshot(self, name: str) -> "npt.NDArray[Any]":
        """The array property name of the core, read once per change of the
        sheet and shared by the reads until the next (a view that cannot be
        made writeable)."""
        version = self._core.version
        kept = self._snapshots.get(name)
        if kept is None or kept[0] != version:
            # Read after the version: an array read at a later version is
            # replaced on the next read, never taken for a newer one.
            kept = (version, getattr(self._core, name))
            self._snapshots[name] = kept
        return kept[1].view()

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
             contact: bool = False, mode: int = 0) -> None:
        """Folds towards the targets, or along a fold mode, as while the space bar is held.

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
        mode : int
            0 heads for the targets. K from 1 moves along the K-th column of
            ``mobility().modes`` at the state reached (its leading crease
            towards its target; back along it with :meth:`unfold`), the step
            then projected and limited as an ordinary one; later steps, in
            this call and in later calls with the same mode, follow the
            motion started, until an ordinary step, :meth:`clear` or
            :meth:`open_next`. Costs a mobility analysis per step. The
            modes are the rigid facets' motions: a mode from 1 does not go
            with ``solver = "compliant"`` (ValueError).

        Raises
        ------
        ValueError
            For a negative step count, a fold step outside 0-50, a mode
            the state does not have ("mode 3 does not exist: the state has 2
            modes"; nothing is folded), contact with a mode above 0 (a step
            along a mode does not stop at contact; nothing is folded), or a
            closed sheet.
        RuntimeError
            When the motion followed ends (the sheet locks or turns away
            from it) or the analysis fails; the steps before stay taken.
        """
        self._step(steps, fold_step, False, record, exact, contact, mode)

    def unfold(self, steps: int = 1, fold_step: int = 10, record: bool = False, exact: bool = False,
               contact: bool = False, mode: int = 0) -> None:
        """Folds back towards flat, as while 'b' is held, or back along a mode; see :meth:`fold`."""
        self._step(steps, fold_step, True, record, exact, contact, mode)

    def _step(self, steps: int, fold_step: int, unfold: bool, record: bool, exact: bool = False,
              contact: bool = False, mode: int = 0) -> None:
        steps = _whole(steps, "steps")
        fold_step = _whole(fold_step, "fold_step")
        mode = _whole(mode, "mode")
        try:
            self._core.fold(steps, fold_step, unfold, record or self._recording, bool(exact), bool(contact), mode)
        finally:
            self._echo()

    def mobility(self, diagonals: bool = False) -> Mobility:
        """What the present state can do: degrees of freedom and fold modes.

        Parameters
        ----------
        diagonals : bool
            Count the triangulation's diagonals as hinges (the facets may
            bend along them) instead of holding them flat.

        Returns
        -------
        Mobility
            The counts, singular values and ``modes`` of shape (C, dof),
            C the number of creases.

        Raises
        ------
        RuntimeError
            When the analysis fails (a factorisation runs out of memory,
            or a flat sheet with diagonals as hinges has over a thousand
            ways to move).

        Notes
        -----
        The sheet's shape is unchanged. Asking again without folding costs
        nothing; an analysis takes milliseconds on a 10 x 10 Miura-ori,
        about 0.05 s at 30 x 30 and 1 to 4 s at 100 x 100.
        """
        return Mobility(**self._core.mobility(bool(diagonals)))

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
        FileNotFoundError, PermissionError, PatternError
            When the file cannot be opened, read or built (as :func:`load`);
            the sheet is unchanged.
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
    def vertices(self) -> "npt.NDArray[np.float64]":
        """vertices : (V, 3) float64, file units. Folded positions, as in the OBJ files.

        A read-only snapshot: every read until the sheet next changes (a
        step, :meth:`clear`, :meth:`open_next`) shares one array, read from
        the sheet once, so reading it in a loop costs nothing; an array kept
        across a step keeps the positions it had. ``np.array(sheet.vertices)``
        gives a copy of your own.
        """
        return self._snapshot("vertices")

    @property
    def flat_vertices(self) -> "npt.NDArray[np.float64]":
        """flat_vertices : (V, 2) float64, file units. The crease pattern's points (a fresh read-only copy)."""
        return self._core.flat_vertices

    @property
    def triangles(self) -> "npt.NDArray[np.int64]":
        """triangles : (F, 3) int64. Vertex indices of each facet, counter-clockwise (a fresh read-only copy).

        Raises
        ------
        ValueError
            When a facet has more than three sides (see :attr:`faces`).
        """
        return self._core.triangles

    @property
    def faces(self) -> "List[npt.NDArray[np.int64]]":
        """faces : list of (k,) int64. Vertex indices of each facet, counter-clockwise (fresh read-only copies)."""
        return self._core.faces

    @property
    def creases(self) -> "npt.NDArray[np.int64]":
        """creases : (C, 2) int64. Tail and head vertex of every interior line (a fresh read-only copy)."""
        return self._core.creases

    @property
    def fold_angles(self) -> "npt.NDArray[np.float64]":
        """fold_angles : (C,) float64, radians. Present fold angle of each crease.

        A read-only snapshot shared by every read until the sheet changes,
        as :attr:`vertices`.
        """
        return self._snapshot("fold_angles")

    @property
    def kinds(self) -> "npt.NDArray[np.int8]":
        """kinds : (C,) int8. A :class:`Kind` per crease, from its target's sign (a fresh read-only copy)."""
        return self._core.kinds

    @property
    def targets(self) -> "npt.NDArray[np.float64]":
        """targets : (C,) float64, radians. The angle each crease folds towards (a fresh read-only copy).

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
    def targets(self, value: "npt.ArrayLike") -> None:
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

    @property
    def solver(self) -> str:
        """How the sheet folds from the next step on: ``"rigid"`` or ``"compliant"``.

        ``"rigid"`` (the default) keeps every facet rigid, as plicata-fold
        does. ``"compliant"`` folds the triangulated sheet as a bar-and-hinge
        structure (plicata-fold ``--solver compliant``): bars along every
        line, springs across every inner line, the fold lines' rest angles
        moving towards their targets step by step, each step's equilibrium
        found by Newton's method. Facets then bend a little and the paper
        stretches a very little where the pattern cannot fold rigidly; see
        :attr:`bar_strain` and :attr:`facet_bending`. The compliant solver
        needs a triangulated sheet and does not go with ``exact=True``,
        ``contact=True`` or a fold ``mode``.

        Raises
        ------
        ValueError
            On assignment of another name.
        """
        return self._core.solver

    @solver.setter
    def solver(self, value: str) -> None:
        self._core.solver = str(value)

    @property
    def stiffness(self) -> Tuple[float, float, float]:
        """stiffness : (fold, facet, axial) floats. The compliant model's constants.

        ``fold`` and ``facet`` are moments per radian per unit of line
        length (a spring of length L is ``fold * L`` or ``facet * L``),
        ``axial`` is the bars' modulus times section (a bar of flat length L
        pulls with ``axial / L`` per unit of stretch), in the pattern's
        units. Default ``(1.0, 10.0, 1e4)``; only the ratios shape the fold.

        Raises
        ------
        ValueError
            On assignment, unless there are three numbers, each positive and
            finite; the constants are then unchanged.
        """
        return self._core.stiffness

    @stiffness.setter
    def stiffness(self, value: Sequence[float]) -> None:
        self._core.stiffness = [float(v) for v in value]

    @property
    def compliant_kept(self) -> int:
        """Compliant steps that did not converge and kept the last shape."""
        return self._core.compliant_kept

    @property
    def bars(self) -> "npt.NDArray[np.int64]":
        """bars : (B, 2) int64. Each line of the sheet as its two vertex indices.

        Every line of the sheet: the B = C creases first, in the order of
        :attr:`creases`, then the lines of the outline. Entry k of
        :attr:`bar_strain` is bar k's.
        """
        return self._core.bars

    @property
    def bar_strain(self) -> "npt.NDArray[np.float64]":
        """bar_strain : (B,) float64, dimensionless. Each bar's change of length.

        Folded length over flat length, less one, from the present vertex
        positions, in the order of :attr:`bars` (its first C entries are the
        creases'). Positive: stretched. Zero to rounding for a rigid fold;
        with ``solver = "compliant"`` it shows where the paper had to give.
        A fresh read-only copy.
        """
        return self._core.bar_strain

    @property
    def facet_bending(self) -> "npt.NDArray[np.float64]":
        """facet_bending : (C,) float64, radians. How far each crease bends a facet.

        In the order of :attr:`creases`: the |fold angle| of each diagonal
        and flat line (the lines that belong inside a facet), 0 for the fold
        lines. A fresh read-only copy.
        """
        return self._core.facet_bending

    @property
    def collisions(self) -> bool:
        """Whether every step looks for faces passing through each other.

        As ``plicata-fold --collisions``: after each step the pairs of
        :meth:`intersections` are counted (O(F log F) in the faces F), and the
        first step that finds some is kept in :attr:`first_collision`. False
        when a sheet is made; setting it applies from the next step on.
        """
        return self._core.collisions

    @collisions.setter
    def collisions(self, value: bool) -> None:
        self._core.collisions = bool(value)

    @property
    def first_collision(self) -> int:
        """The first step (as :attr:`steps_taken` counts them) after which faces
        passed through each other, found while :attr:`collisions` was on; 0 when
        none was found."""
        return self._core.first_collision

    def intersections(self) -> "npt.NDArray[np.int64]":
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
    def vertex_closure(self) -> "npt.NDArray[np.float64]":
        """vertex_closure : (I,) float64, radians. Closure error of each inner vertex (a fresh read-only copy).

        Entry i is the Euclidean size of vertex ``inner_vertices[i]``'s rows
        of the closure residual: to first order, the angle by which the
        facets round it fail to close.
        """
        return self._core.vertex_closure

    @property
    def inner_vertices(self) -> "npt.NDArray[np.int64]":
        """inner_vertices : (I,) int64. Vertex index of each entry of :attr:`vertex_closure` (a fresh read-only copy)."""
        return self._core.inner_vertices

    @property
    def last_step(self) -> Dict[str, Any]:
        """Figures of the last step taken.

        Keys: ``cg_iterations`` (int), ``max_delta`` (largest angle change,
        radians), ``residual_before`` (closure residual before the step),
        ``milliseconds`` (wall time of the step), ``steps`` (steps of the call
        that took it), ``newton_iterations``, ``exact_kept`` and
        ``exact_halvings`` (exact mode's corrections of the step, whether it
        kept the ordinary result, and how many of its substeps were taken
        again at half their size), ``solver`` (``"rigid"`` or
        ``"compliant"``), ``active_contacts`` (pairs of faces contact held
        apart in the step; 0 without contact) and ``locked`` (contact locked
        the fold there). After a compliant step ``newton_iterations`` are its
        Newton iterations, ``compliant_kept`` says it did not converge and
        kept the last shape, ``max_strain`` is the largest |bar strain| and
        ``max_bending`` the largest facet bend (radians) of the shape kept;
        they are False and 0 after a rigid one.
        """
        return self._core.last_step

    @property
    def steps_taken(self) -> int:
        """Fold and unfold steps taken since the sheet was made."""
        return self._core.steps_taken

    # ---- the flat-folded state ----------------------------------------------

    def flat_foldability(self) -> FlatFoldability:
        """Kawasaki and Maekawa at every inner vertex, as plicata-fold --check.

        Reads the crease pattern and the targets' signs (the pattern's own
        mountains and valleys, or the targets assigned since), never the
        present fold.

        Returns
        -------
        FlatFoldability
            Per-vertex arrays of shape (I,) over the I inner vertices.
        """
        return FlatFoldability(**self._core.flat_checks())

    def layer_orders(self, state: int = 1, time_limit: float = 10.0) -> LayerOrders:
        """The folded form and the order of its layers, as plicata-fold --folded-form.

        The valid stackings of the folded form's layers (two faces joined by
        a fold wrap as the fold; no face between a fold and its neighbour
        where another fold lies between them; above-ness transitive) are
        counted up to 1 000 000 and stacking ``state`` is given. The
        analysis is kept for the pattern: asking for another state only
        chooses it. A pattern that does not fold flat gets its folded form
        and status ``"not flat"`` with the reason, never a long wait.

        Parameters
        ----------
        state : int
            The stacking to give, 1-based (1, the first, by default).
        time_limit : float
            Seconds the layer order may take at most, above 0 (the analysis,
            its search and its count together).

        Returns
        -------
        LayerOrders

        Raises
        ------
        ValueError
            For a state below 1 or a time limit not above 0.
        """
        state = _whole(state, "state")
        if state < 1:
            raise ValueError(f"state must be 1 or more, not {state}")
        return LayerOrders(**self._core.layer_orders(state, float(time_limit)))

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

    # ---- pictures and notebooks ----------------------------------------------

    def picture(self, width: int = 640, height: int = 480, view: str = "object", azimuth: float = 0.0,
                elevation: float = 0.0, zoom: float = 1.0, edges: bool = True, closure: bool = False) -> bytes:
        """The present shape drawn as plicata-fold --picture draws it: a PNG file's bytes.

        Drawn off-screen (Mesa's software OpenGL, no display needed) by the
        window's own drawing, framed to the shape with a margin of a
        twentieth; faces that pass through each other are hatched in red.

        Parameters
        ----------
        width, height : int
            Pixels, 1 to 8192 each.
        view : str
            'object' (the folded model, the window's start-up camera), 'top'
            (seen from above) or 'cp' (the crease pattern, shaded by the fold).
        azimuth, elevation : float
            Degrees the object view is turned and tilted (-100 to 100), as a
            right-button drag turns it.
        zoom : float
            Enlarges from the framing, 0.25 to 64.
        edges : bool
            Draw the lines (leave them out on sheets of thousands of facets).
        closure : bool
            Colour the sheet by each vertex's closure error, with its legend.

        Raises
        ------
        ValueError
            For options out of range.
        RuntimeError
            When this build has no off-screen OpenGL (``libosmesa6-dev``).
        """
        return self._core.picture(_whole(width, "width"), _whole(height, "height"), str(view), float(azimuth),
                                  float(elevation), float(zoom), bool(edges), bool(closure))

    def _repr_png_(self) -> Optional[bytes]:
        """What a notebook shows for the sheet: its picture, or nothing
        (the text form) where pictures cannot be drawn or it is closed."""
        if not _core.HAS_PICTURES or self._core.closed:
            return None
        return self.picture(width=480, height=360, edges=self._core.face_count <= _EDGES_UP_TO)

    def show(self, width: int = 900, height: int = 500) -> FoldView:
        """A view of the folding to turn, zoom and play, for a notebook.

        The recorded steps (``record=True`` or :meth:`recording`) play
        beside the crease pattern, with a slider over them; without a
        recording, the present shape. It is plicata-fold --html's page
        (three.js written into it, nothing fetched), shown in a frame of
        ``width`` x ``height`` pixels by Jupyter; ``FoldView.html`` is the
        page and ``FoldView.save(path)`` writes it.

        Raises
        ------
        RuntimeError
            When three.js (Debian's ``libjs-three``) is not installed.
        """
        title = os.path.basename(self.source) or "Plicata"
        return FoldView(self._core.page(title), _whole(width, "width"), _whole(height, "height"))


def load(path: PathLike, triangulate: bool = True, verbose: bool = False) -> Sheet:
    """Reads a crease-pattern file and prepares it for folding, flat.

    Parameters
    ----------
    path : str or os.PathLike
        The pattern, read by what its name contains: ``.opx`` or ``.xml``
        (XML), ``.dxf``, ``.fold``, ``.svg``, ``.cp`` (ORIPA text). A
        relative path that names nothing is looked for in the bundled
        examples (see :func:`find_pattern`): ``plicata.load("miura_4x4.opx")``.
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
    FileNotFoundError, PermissionError
        When the file does not exist or may not be read (``filename`` is the
        path). Both are also :class:`PatternError`.
    PatternError
        A ValueError, when the file cannot be read or built as a crease
        pattern: ``"FILE: reason"``.
    """
    return Sheet(_core.Sheet.load(_path(path), bool(triangulate)), verbose)


def find_pattern(path: PathLike) -> str:
    """The file a pattern's name stands for, as the programs look for it.

    ``path`` itself when anything is there (or it is absolute); otherwise
    the entry of that relative name in the bundled examples folder: the
    folder named by the environment variable ``PLICATA_EXAMPLES``, the
    installed ``share/plicata/examples``, or the source tree's ``examples/``.

    Raises
    ------
    PatternError
        When neither exists; the message names both places looked in.
    """
    return _core.find_pattern(_path(path))


def _path(path: PathLike) -> str:
    """path as text for the core; ValueError where it would be cut short."""
    text = os.fspath(path)
    if not isinstance(text, str):
        text = os.fsdecode(text)
    if "\0" in text:
        raise ValueError("embedded null character in path")
    return text


def _whole(value: Any, name: str) -> int:
    """value as an int: TypeError for a non-integral number, ValueError for
    one too large for the core to be given (it checks the range itself)."""
    if isinstance(value, bool) or not isinstance(value, (int, np.integer)):
        raise TypeError(f"{name} must be a whole number, not {value!r}")
    if abs(int(value)) > 2**62:
        raise ValueError(f"{name} is out of range: {value}")
    return int(value)


from . import generate  # noqa: E402  (generate builds Sheets)

__all__ = ["FlatFoldability", "FoldView", "HAS_PICTURES", "Kind", "LayerOrders", "MAX_FOLD_STEP", "MAX_STEPS",
           "Mobility", "PatternError", "PatternNotFoundError", "PatternPermissionError", "PatternUnreadableError",
           "Sheet", "find_pattern", "generate", "load"]
