"""Writing files so that they appear complete or not at all."""

from __future__ import annotations

import contextlib
import os
import secrets
from typing import Callable, Optional, Union

PathLike = Union[str, "os.PathLike[str]"]


def write_atomically(path: PathLike, write: Callable[[str], int],
                     before_rename: Optional[Callable[[], None]] = None) -> None:
    """Calls ``write(temporary_path)`` and renames the result to ``path``.

    The temporary file sits in the same folder, so the rename is atomic: a
    reader (or a rerun after a crash) sees the old file, the new one whole,
    or none. ``write`` returns 0 on success; ``before_rename`` (optional) is
    called once the file is complete, before it takes its name. The file gets
    the permissions a plain ``open(path, "w")`` would give it.

    Raises
    ------
    OSError
        When the folder cannot take the file or ``write`` failed; nothing is
        left behind.
    """
    path = os.fspath(path)
    folder, name = os.path.split(os.path.abspath(path))
    temporary = os.path.join(folder, f".{name}.{os.getpid()}.{secrets.token_hex(6)}.part")
    os.close(os.open(temporary, os.O_WRONLY | os.O_CREAT | os.O_EXCL, 0o666))
    try:
        if write(temporary) != 0:
            raise OSError(f"{path}: writing failed")
        if before_rename is not None:
            before_rename()
        os.replace(temporary, path)
    except BaseException:
        with contextlib.suppress(OSError):
            os.unlink(temporary)
        raise
