"""The exceptions of tessarine's public API."""

__all__ = ["Cancelled", "DataError", "ExportError", "NotFoundError", "TessarineError"]


class TessarineError(Exception):
    """Base class of the failures tessarine reports.

    Bad arguments (an empty name, an unknown tier word, an array of the wrong
    shape) raise the built-in ``ValueError`` or ``TypeError`` instead, as
    numpy and scipy do.
    """

    __module__ = "tessarine"


class NotFoundError(TessarineError, KeyError):
    """No datasheet (or no numeric property of one) answers to a name.

    Attributes
    ----------
    name : str
        The name that was looked up.
    tier : str or None
        The tier searched, or None when every tier was.
    suggestions : tuple of str
        Close names, symbols or aliases (or property names) that do exist,
        best first; the message ends with them as "did you mean ...?".
    """

    __module__ = "tessarine"

    def __init__(self, message: str, name: str, tier: str | None = None, suggestions: tuple[str, ...] = ()) -> None:
        super().__init__(message)
        self.name = name
        self.tier = tier
        self.suggestions = suggestions

    def __str__(self) -> str:  # KeyError would quote the message
        return str(self.args[0])

    def __reduce__(self) -> tuple[type["NotFoundError"], tuple[str, str, str | None, tuple[str, ...]]]:
        return (type(self), (str(self.args[0]), self.name, self.tier, self.suggestions))


class DataError(TessarineError, ValueError):
    """A datasheet, or the JSON text given for one, cannot be used."""

    __module__ = "tessarine"


class ExportError(TessarineError, OSError):
    """An exporter could not write a file.

    ``errno``, ``strerror`` and ``filename`` are set as for ``OSError``; for
    the OBJ exporter and the raw volume, ``filename`` is the one of the two
    files whose writing failed.
    """

    __module__ = "tessarine"


class Cancelled(TessarineError):
    """A long call stopped because its ``cancel`` event was set.

    A cancelled export leaves no file behind (an existing target is left as it
    was), and nothing else changes.
    """

    __module__ = "tessarine"
