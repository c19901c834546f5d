"""``python -m tessarine``: the command line (see ``tessarine --help``)."""

import sys

try:
    from tessarine.cli import main
except KeyboardInterrupt:  # while the datasheets load
    sys.exit(130)

sys.exit(main())
