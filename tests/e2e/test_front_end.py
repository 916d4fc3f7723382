"""The usage screen and the argument checks, on both programs."""

import pytest

from sandbox import exit_status, root_filesystem_key

REMINDER = b"You forgot to define name= or file= in the command, please choose one and try again"


def usage_screen(program: str, key: str) -> list[bytes]:
    rows = [
        f"Usage: {program} [start=] [end=] [name=] [file=] [/w] [/r] [/re] [/d]",
        "start  Starting number, 0 is default",
        "end    Ending number default is start+255",
        "name   Computernaming, this or file must be specified",
        "/w     Writes to the text file the computer name chosen plus the hdd serial number"
        "(if not found in the database) the filename is from file= parameter.",
        "/re    Reboot the computer on a successful change.",
        "/r     Generates a random number in the name. Only [end=] is the optional parameter"
        " for this switch.",
        "/d     Uses the main harddrive serialnumber",
        "file   Gets computername from a text file and uses harddrive serial number to lookup"
        " the name",
        "Number Format specifers:",
        "?d     Decimal number",
        "?x     Hexadecimal number",
        f"example: {program} start=100 end=199 name=client?d",
        f"This computer's harddrive serial number is {key}",
        "Max. length:15 characters.",
        "Press enter to return...",
    ]
    return [row.encode() for row in rows]


def joined(lines: list[bytes]) -> bytes:
    return b"".join(line + b"\r\n" for line in lines)


@pytest.mark.parametrize("serial", ["00001A2B", "FFFFFFFF", "3E9A07C4"])
def test_windows_usage_screen_shows_the_volume_key(machine, wine_prefix, serial):
    # The serial is written in lowercase: the key must still read in capitals.
    result = machine.run_windows(wine_prefix, [], serial=serial.lower())
    assert result.stdout == joined(usage_screen("vorlane.exe", serial))
    assert result.code == 0


def test_linux_usage_screen_shows_the_root_filesystem_key(machine):
    result = machine.run_linux([])
    assert result.stdout == joined(usage_screen("vorlane", root_filesystem_key()))
    assert result.code == 0


ARGUMENT_CASES = [
    # arguments, a line the output must hold, exit code
    (["/w"], b"The /w command switch needs a name= parameter", -2),
    (["/W"], b"The /w command switch needs a name= parameter", -2),
    (["/w", "file=db.txt"], b"The /w command switch needs a name= parameter", -2),
    (["/w", "name=pc?d"], b"Can't store the name into a file without a filename", -3),
    (["start=5"], REMINDER, 0),
    (["/r"], REMINDER, 0),
    (["name=", "name=pc?d"], REMINDER, 0),
    (["name=my pc?d", "/n"], b"My name would be my pc0", 0),
    (["name=pc?d", "x" * 256], b"Argument 2 is longer than 255 characters: " + b"x" * 40 + b"...",
     -4),
]


@pytest.mark.parametrize("args,line,code", ARGUMENT_CASES)
def test_argument_checks(target, args, line, code):
    result = target.run(args)
    assert line in result.lines
    assert result.code == exit_status(code)
    assert target.name(result) == "oldname"
    assert b"My name is" not in result.stdout


def test_argument_of_255_characters_is_taken_whole(machine):
    # 255 characters pass the argument check; the 250-character name is then
    # refused by the name limit instead.
    result = machine.run_linux(["name=" + "x" * 250])
    assert result.lines == [b'The name "' + b"x" * 64 + b'" is longer than 15 characters']
    assert result.code == exit_status(-5)


def test_windows_empty_quoted_argument_is_no_argument(machine, wine_prefix):
    # An empty quoted argument never becomes an entry, so there is no reminder.
    result = machine.run_windows(wine_prefix, [""])
    assert result.lines[0].startswith(b"Usage: vorlane.exe ")


def test_usage_waits_for_enter_and_reads_no_further(machine):
    result = machine.run_linux([], stdin=b"\r\nrest")
    assert result.lines[-1] == b"Press enter to return..."
    assert result.code == 0
