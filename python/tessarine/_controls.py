"""Cancelling a long call from another thread, and reporting its progress.

The native core asks the calling thread's poll hook (set with
``_tessarine_ext.set_poll_hook``) every few milliseconds while a long call
works, with the work done so far as ``(done, total)``; an exception the hook
raises ends the call. :func:`controlled` sets a hook for the calls made inside
it from the ``cancel=`` and ``progress=`` arguments of the public API.
"""

from __future__ import annotations

import importlib
from collections.abc import Callable, Iterator
from contextlib import contextmanager
from typing import Any, Protocol, Union, cast

from tessarine import _tessarine_ext as ext
from tessarine._errors import Cancelled


class CancelEvent(Protocol):
    """What ``cancel=`` takes: a ``threading.Event`` or anything with ``is_set()``."""

    def is_set(self) -> bool: ...


Progress = Union[bool, Callable[[int, int], object], None]
"""What ``progress=`` takes: True for a tqdm bar, a callable given ``(done, total)``, or None/False for nothing."""


def _reporter(progress: Progress, unit: str, what: str) -> tuple[Callable[[int, int], object] | None, Any]:
    """The callable that receives (done, total), and the tqdm bar to close afterwards, if any."""
    if progress is None or progress is False:
        return None, None
    if progress is True:
        try:
            tqdm = importlib.import_module("tqdm").tqdm
        except ImportError:
            raise ImportError(
                "progress=True shows a tqdm bar, but tqdm is not installed: "
                "pip install 'tessarine[progress]' (or pip install tqdm)"
            ) from None
        bar = tqdm(total=None, unit=unit, unit_scale=True, desc=what, leave=False)
        shown = [0]

        def update(done: int, total: int) -> None:
            if bar.total != total:
                bar.total = total
            bar.update(done - shown[0])
            shown[0] = done

        return update, bar
    if callable(progress):
        return progress, None
    raise TypeError(
        f"progress must be True, False, None or a callable taking (done, total), not {type(progress).__name__}"
    )


def check_cancel(cancel: object) -> CancelEvent | None:
    if cancel is None:
        return None
    if not callable(getattr(cancel, "is_set", None)):
        raise TypeError(f"cancel must be a threading.Event or an object with is_set(), not {type(cancel).__name__}")
    return cast("CancelEvent", cancel)


@contextmanager
def controlled(cancel: object, progress: Progress, unit: str, what: str) -> Iterator[None]:
    """Runs the block with `cancel` and `progress` applied to the long calls it makes on this thread."""
    event = check_cancel(cancel)
    report, bar = _reporter(progress, unit, what)
    if event is None and report is None:
        yield
        return
    last = [0, 0]

    def hook(done: int, total: int, final: bool) -> None:
        if not final and event is not None and event.is_set():
            raise Cancelled(f"{what} was cancelled")
        if report is not None and total and (done, total) != (last[0], last[1]):
            last[0], last[1] = done, total
            report(done, total)

    ext.set_poll_hook(hook)
    try:
        yield
    finally:
        ext.set_poll_hook(None)
        if bar is not None:
            bar.close()
