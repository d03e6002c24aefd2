# SPDX-License-Identifier: MIT
# Loaded by Orca from its preferences folder at start-up. The test reads what
# Orca says from its debug log as it is said, so each line is written out as
# soon as it is complete rather than a block at a time.
from orca import debug

if debug.debugFile is not None:
    debug.debugFile.reconfigure(line_buffering=True)
