"""``python -m tessarine``: the command line (see ``tessarine --help``)."""

import sys

from tessarine.cli import main

sys.exit(main())
