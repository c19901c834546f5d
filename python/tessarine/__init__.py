"""tessarine: a catalogue of material and biochemical datasheets.

The native core ``tessarine._tessarine_core`` loads every datasheet shipped
under ``tessarine/data/active/`` when it is first imported; its functions are
re-exported here.
"""

from tessarine import _tessarine_core
from tessarine._tessarine_core import *  # noqa: F401,F403
from tessarine._tessarine_core import __version__

__all__ = [*_tessarine_core.__all__]
