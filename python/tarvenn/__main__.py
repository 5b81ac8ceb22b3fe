"""`python -m tarvenn` runs the `tarvenn` command."""

import sys

from .cli import main

sys.exit(main())
