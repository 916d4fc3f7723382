"""Runs a command with its standard error on a pseudo-terminal.

    with_terminal_stderr.py OUTPUT COMMAND...

What the command writes to the terminal is saved in OUTPUT; its standard
output passes through; the exit status is the command's.
"""

import os
import subprocess
import sys

master, slave = os.openpty()
process = subprocess.Popen(sys.argv[2:], stderr=slave)
os.close(slave)
seen = b""
while True:
    try:
        chunk = os.read(master, 4096)
    except OSError:  # the terminal is gone once the command has ended
        break
    if not chunk:
        break
    seen += chunk
with open(sys.argv[1], "wb") as out:
    out.write(seen)
sys.exit(process.wait())
