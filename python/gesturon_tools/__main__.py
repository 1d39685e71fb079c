"""`python3 -m gesturon_tools` runs the `gesturon` command."""

import sys

from .cli import main

sys.exit(main())
