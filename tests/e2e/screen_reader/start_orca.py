# SPDX-License-Identifier: MIT
"""Starts Orca through its own start-up script, for one test's session.

That script refuses to start while any other process of the same user is
named orca, anywhere on the machine, and names its own process orca where it
can: beside a user's own Orca, or another test's, the test's Orca would not
start, or would stop another's. The test's Orca serves only the test's own
D-Bus session, so here it neither looks for other Orcas nor takes their name;
everything else is the script's own start-up, unchanged. The arguments are
Orca's.
"""
import sys

START_UP = "/usr/bin/orca"

with open(START_UP, encoding="utf-8") as script:
    code = compile(script.read(), START_UP, "exec")
start_up = {"__name__": "orca_start_up", "__file__": START_UP}
exec(code, start_up)
start_up["otherOrcas"] = lambda: []
start_up["setProcessName"] = lambda name: None
sys.argv[0] = START_UP
sys.exit(start_up["main"]())
