"""The status line while names are probed: only on a terminal."""

import sys
from pathlib import Path

from sandbox import LINUX_PROGRAM

WRAPPER = Path(__file__).resolve().parent / "with_terminal_stderr.py"


def test_status_line_is_rewritten_in_place_and_erased_on_a_terminal(machine):
    machine.set_hosts(["pc0", "pc1"])
    seen = machine.dir / "terminal"
    result = machine.run_command(
        [sys.executable, str(WRAPPER), str(seen), str(LINUX_PROGRAM), "name=pc?d", "/n"]
    )
    assert result.code == 0
    assert result.lines[-1] == b"My name would be pc2"
    terminal = seen.read_bytes()
    assert b"\n" not in terminal
    for place, name in enumerate([b"pc0", b"pc1", b"pc2"], start=1):
        assert b"\rProbing " + name + b" (" + str(place).encode() + b" of 256)" in terminal
    # Every status line is erased before the line that follows it.
    assert terminal.endswith(b"\r" + b" " * len(b"Probing pc2 (3 of 256)") + b"\r")


def test_nothing_goes_to_standard_error_when_it_is_no_terminal(machine):
    machine.set_hosts(["pc0", "pc1"])
    result = machine.run_linux(["name=pc?d"])
    assert result.stdout == b"My name is pc2\r\n"
    assert result.stderr == b""
