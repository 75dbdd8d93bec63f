"""The folding as a web page for notebooks (what :meth:`plicata.Sheet.show` returns)."""

from __future__ import annotations

import html
import os
from typing import Union

from ._files import write_atomically


class FoldView:
    """A self-contained web page that plays a folding: drag to turn, the
    wheel to zoom, play and pause, a slider over the recorded steps.

    Jupyter shows it in a frame (``_repr_html_``); elsewhere, :meth:`save`
    writes the page for a browser. Nothing is fetched: three.js is in it.
    """

    def __init__(self, page: str, width: int = 900, height: int = 500) -> None:
        #: The whole page, as plicata-fold --html writes it.
        self.html = page
        self.width = width
        self.height = height

    def _repr_html_(self) -> str:
        # A frame of its own keeps the page's script and style apart from
        # the notebook's; srcdoc carries the page, so nothing is served.
        return (f'<iframe srcdoc="{html.escape(self.html, quote=True)}" width="{self.width}" '
                f'height="{self.height}" style="border: none" sandbox="allow-scripts"></iframe>')

    def save(self, path: Union[str, "os.PathLike[str]"]) -> None:
        """Writes the page to path, complete or not at all."""
        def write(temporary: str) -> int:
            with open(temporary, "w", encoding="utf-8") as f:
                f.write(self.html)
            return 0
        write_atomically(path, write)

    def __repr__(self) -> str:
        return f"<plicata.FoldView: a web page of {len(self.html)} characters>"
