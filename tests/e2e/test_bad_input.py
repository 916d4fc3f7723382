"""Input a careless or hostile operator, or a damaged file, can hand either
program: every case ends in exact output and status, and leaves the machine
name and the database as they should be.

Cases covered elsewhere are not repeated here: a UTF-8 byte above 127 in
name= on Linux (test_rename.py), arguments over 255 characters and names far
over 15 characters (test_front_end.py), and unreadable files, FIFOs, devices,
directories, bytes after a NUL with /w and files over 256 MiB
(test_database.py)."""

from __future__ import annotations

import os
import re

import pytest

from sandbox import exit_status


def numbered_database(key: str, nul: bool = False) -> bytes:
    """100,000 lines, this machine's key on the last; with nul, a NUL byte
    in the middle ends the text before the key."""
    others = [k for k in (f"{n:08X}" for n in range(100_000)) if k != key][:99_999]
    lines = [f"{k}=lab{n}".encode() for n, k in enumerate(others)]
    if nul:
        lines[50_000] = b"\x00"
    lines.append(f"{key}=lab07".encode())
    return b"".join(line + b"\r\n" for line in lines)


def value_database(value: bytes):
    return lambda key: b"DEADBEEF=lab08\r\n" + key.encode() + b"=" + value + b"\r\n"


MISSING_DIRECTORY = "missing-directory"  # file= names a file in a directory that is not there

# The empty name goes to the system: Linux refuses it; Wine takes it.
EMPTY_NAME = {"linux": ([b"Invalid argument"], 22, "oldname"), "windows": ([b"My name is "], 0, "")}
REFUSED = ([b"Invalid argument"], 22, "oldname")  # Linux: not a valid host name
FULL_RANGE = [f"pc{n}" for n in range(-2147483648, -2147483648 + 256)]

CASES = [
    # args ("{db}" stands for the database path), database, names hosts answer to,
    # expected (lines, status, machine name after), per platform when they differ;
    # None: covered in another file. A pattern must match the whole line or name.
    pytest.param(
        ["x"] * 10_000 + ["name=pc?d", "/n"], None, [],
        ([b"pc0 is free", b"My name would be pc0"], 0, "oldname"),
        # 20,000 characters: within the 32,767 of a Windows command line.
        id="ten-thousand-arguments",
    ),
    pytest.param(
        ["name=pc\x01?d"], None, [],
        # Windows splits the command line at any byte up to a blank, so the
        # name ends where the control character stood.
        {"linux": REFUSED, "windows": ([b"My name is pc"], 0, "pc")},
        id="control-character-in-name",
    ),
    pytest.param(
        ["name=pc\x7f?d"], None, [],
        # Wine puts "_" for what a computer name cannot hold.
        {"linux": REFUSED, "windows": ([b"My name is pc\x7f0"], 0, "pc_0")},
        id="delete-character-in-name",
    ),
    pytest.param(
        ["name=pc\xe9?d"], None, [],
        # Handed over as UTF-8; Wine gives the program the ANSI byte E9.
        {"linux": None, "windows": ([b"My name is pc\xe90"], 0, "pc_0")},
        id="letter-above-127-in-name",
    ),
    pytest.param(
        [b"name=pc\xe9?d"], None, [],
        # Not UTF-8: Wine turns the byte into "?", which makes "??" a literal "%".
        {"linux": REFUSED, "windows": ([b"My name is pc%d"], 0, "pc%d")},
        id="stray-byte-above-127-in-name",
    ),
    pytest.param(
        ["file={db}"], value_database(b"pc\xe9"), [],
        {"linux": REFUSED, "windows": ([b"My name is pc\xe9"], 0, "pc_")},
        id="byte-above-127-in-database-value",
    ),
    pytest.param(
        ["file={db}"], value_database(b"pc\x1bx"), [],
        {"linux": REFUSED, "windows": ([b"My name is pc\x1bx"], 0, "pc_x")},
        id="control-character-in-database-value",
    ),
    pytest.param(
        ["name=?"], None, [],
        # A lone mark is an unfinished directive and expands to nothing. Wine
        # finds the empty name taken, this machine answering to it.
        {"linux": REFUSED, "windows": ([b"All spots taken."], exit_status(-1), "oldname")},
        id="empty-expansion",
    ),
    pytest.param(
        ["name=abcdefghijklmn?d"], None, [],
        ([b"My name is abcdefghijklmn0"], 0, "abcdefghijklmn0"),
        id="name-of-15-characters",
    ),
    pytest.param(
        ["name=abcdefghijklmno?d", "/n"], None, [],
        # With /n each probe prints a line: there is none.
        ([b'The name "abcdefghijklmno0" is longer than 15 characters'], exit_status(-5),
         "oldname"),
        id="name-of-16-characters",
    ),
    pytest.param(
        ["start=2147483647", "name=pc?d", "/n"], None, [],
        # The default end, start+255, wraps below start: no number to probe.
        ([b"All spots taken."], exit_status(-1), "oldname"),
        id="start-at-32-bit-limit",
    ),
    pytest.param(
        ["start=2147483648", "name=pc?d", "/n"], None, [],
        ([b"pc0 is free", b"My name would be pc0"], 0, "oldname"),
        id="start-past-32-bit-limit",
    ),
    pytest.param(
        ["end=-1", "/r", "name=pc?d"], None, [],
        ([re.compile(rb"My name is pc-?\d{1,10}")], 0, re.compile(r"pc-?\d{1,10}")),
        id="random-below-end-of-minus-1",
    ),
    pytest.param(
        ["start=-2147483648", "end=2147483647", "name=pc?d", "/n"], None, FULL_RANGE,
        # end - start wraps to -1, so end becomes start+255.
        ([f"{name} is taken".encode() for name in FULL_RANGE] + [b"All spots taken."],
         exit_status(-1), "oldname"),
        id="whole-32-bit-range",
    ),
    pytest.param(
        ["file={db}"], MISSING_DIRECTORY, [], EMPTY_NAME,
        id="file-in-missing-directory",
    ),
    pytest.param(
        ["file={db}", "name=pc?d", "/w"], MISSING_DIRECTORY, [],
        ([b"My name is pc0",
          b"Failed to store name into database: Cannot open lock file {db}.lock"], 0, "pc0"),
        id="file-in-missing-directory-write-back",
    ),
    pytest.param(
        ["file={db}"], numbered_database, [],
        ([b"My name is lab07"], 0, "lab07"),
        id="key-on-line-100000",
    ),
    pytest.param(
        ["file={db}", "name=pc?d", "/w", "/n"], lambda key: numbered_database(key, nul=True), [],
        ([b"pc0 is free", b"My name would be pc0"], 0, "oldname"),
        id="key-after-a-nul",
    ),
]


def fits(actual, expected) -> bool:
    if isinstance(expected, re.Pattern):
        return actual is not None and expected.fullmatch(actual) is not None
    return actual == expected


@pytest.mark.parametrize("args,database,hosts,expected", CASES)
def test_bad_input_gives_a_clear_outcome_and_changes_nothing_else(
    target, tmp_path, args, database, hosts, expected
):
    if isinstance(expected, dict):
        expected = expected[target.platform]
        if expected is None:
            pytest.skip("covered in another file")
    files = tmp_path / "files"
    files.mkdir()
    db = files / "names.txt"
    if database == MISSING_DIRECTORY:
        db = files / "missing" / "names.txt"
    elif database is not None:
        db.write_bytes(database(target.key))
    before = db.read_bytes() if db.exists() else None
    listing = sorted(os.listdir(files))
    path = target.path(db)
    target.machine.set_hosts(hosts)

    result = target.run([a.replace("{db}", path) if isinstance(a, str) else a for a in args])

    lines, code, name = expected
    lines = [line.replace(b"{db}", path.encode()) if isinstance(line, bytes) else line
             for line in lines]
    assert len(result.lines) == len(lines) and all(map(fits, result.lines, lines)), result.stdout
    assert result.code == code
    assert fits(target.name(result), name), target.name(result)
    assert (db.read_bytes() if db.exists() else None) == before
    assert sorted(os.listdir(files)) == listing
