"""The name database on both programs: a name looked up and applied, a name
found by pattern and recorded with /w, and the files that cannot be read or
written."""

from __future__ import annotations

import os
import re
import shutil
import stat
import tempfile
from pathlib import Path

import pytest

from sandbox import LINUX_PROGRAM, exit_status, windows_path

# An mtime no run of the program can produce: a rewrite shows even within the
# clock's resolution.
OLD_MTIME_NS = 1_000_000_000 * 1_000_000_000


@pytest.fixture
def files(tmp_path) -> Path:
    """A directory for databases, apart from the scratch machine's own."""
    directory = tmp_path / "files"
    directory.mkdir()
    return directory


def fill(template: str, key: str) -> bytes:
    return template.format(key=key, lkey=key.lower()).encode()


def fatal_open_error(path: str) -> re.Pattern[bytes]:
    return re.compile(
        rb"^Exception EFOpenError in module (vorlane|vorlane\.exe) at [0-9A-F]{8}\.\n"
        + re.escape(f"Cannot open file {path}.".encode())
        + rb"\r\n$"
    )


@pytest.mark.parametrize("extra", [[], ["name=pc?d", "/w"]], ids=["lookup", "write-back"])
def test_name_in_the_file_is_applied_and_the_file_left_alone(target, files, extra):
    # LF breaks only, no break at the end, the key in another case; with /w
    # the name found is applied all the same and nothing is recorded.
    db = files / "names.txt"
    db.write_bytes(fill("# lab\n{lkey}=lab07\n\nDEADBEEF=lab08", target.key))
    os.utime(db, ns=(OLD_MTIME_NS, OLD_MTIME_NS))
    before = db.read_bytes()

    result = target.run([f"file={target.path(db)}", *extra])

    assert result.stdout == b"My name is lab07\r\n"
    assert result.code == 0
    assert target.name(result) == "lab07"
    assert db.read_bytes() == before
    assert db.stat().st_mtime_ns == OLD_MTIME_NS
    assert sorted(os.listdir(files)) == ["names.txt"]


WRITE_BACK_CASES = [
    # before (None: no file), after; {key} is this machine's key, {lkey} it in lowercase
    pytest.param(None, "{key}=pc0\r\n", id="missing-file"),
    pytest.param(
        "# lab machines\n\nDEADBEEF=lab08",
        "# lab machines\r\n\r\nDEADBEEF=lab08\r\n{key}=pc0\r\n",
        id="other-lines-kept",
    ),
    pytest.param(
        "# first\r\n{lkey}=\r\n{key}=lab99\r\n",
        "# first\r\n{key}=pc0\r\n{key}=lab99\r\n",
        id="empty-value-replaced",
    ),
]


@pytest.mark.parametrize("before,after", WRITE_BACK_CASES)
def test_write_back_records_the_name_found(target, files, before, after):
    db = files / "names.txt"
    if before is None:
        # Named relative to the current directory, which is where it goes.
        file_arg = "names.txt"
    else:
        db.write_bytes(fill(before, target.key))
        file_arg = target.path(db)

    result = target.run([f"file={file_arg}", "name=pc?d", "/w"], cwd=files)

    assert result.stdout == b"My name is pc0\r\n"
    assert result.code == 0
    assert target.name(result) == "pc0"
    assert db.read_bytes() == fill(after, target.key)
    assert sorted(os.listdir(files)) == ["names.txt", "names.txt.lock"]


# A directory at file= counts as no file, so the empty name goes to the
# system: Linux refuses it, Wine (unlike Windows) takes it.
EMPTY_NAME_OUTCOME = {
    "linux": ([b"Invalid argument"], 22, "oldname"),
    "windows": ([b"My name is "], 0, ""),
}


def test_directory_counts_as_no_file(target, files):
    directory = files / "names"
    directory.mkdir()
    path = target.path(directory)

    result = target.run([f"file={path}"])
    lines, code, name = EMPTY_NAME_OUTCOME[target.platform]
    assert (result.lines, result.code, target.name(result)) == (lines, code, name)

    result = target.run([f"file={path}", "name=pc?d", "/w"])
    assert result.lines == [
        b"My name is pc0",
        f"Failed to store name into database: Cannot create file {path}".encode(),
    ]
    assert result.code == 0
    assert target.name(result) == "pc0"
    assert list(directory.iterdir()) == []
    assert sorted(os.listdir(files)) == ["names", "names.lock"]


@pytest.fixture
def open_directory():
    """A directory any user can reach (pytest's own are for root only)."""
    directory = Path(tempfile.mkdtemp(prefix="vorlane-db-"))
    directory.chmod(0o755)
    yield directory
    shutil.rmtree(directory)


DATABASE = b"# lab\r\nDEADBEEF=lab08\r\n"


@pytest.mark.parametrize("extra", [[], ["name=pc?d", "/w"]], ids=["lookup", "write-back"])
@pytest.mark.parametrize("how", ["unreadable", "fifo", "device"])
def test_linux_file_that_cannot_be_opened_ends_in_the_fatal_report(
    machine, open_directory, how, extra
):
    db = open_directory / "names.txt"
    if how == "unreadable":
        db.write_bytes(DATABASE)
        db.chmod(0)
    elif how == "fifo":
        os.mkfifo(db)  # opened blocking, it would wait for a writer forever
    else:
        db = Path("/dev/null")

    result = machine.run_command([str(LINUX_PROGRAM), f"file={db}", *extra],
                                 as_nobody=how == "unreadable")

    assert fatal_open_error(str(db)).match(result.stdout), result.stdout
    assert result.code == 1
    assert (result.hostname, result.hostname_file) == ("oldname", b"oldname\n")
    if how == "unreadable":
        assert db.read_bytes() == DATABASE
    if how == "fifo":
        assert stat.S_ISFIFO(db.stat().st_mode)
    assert sorted(os.listdir(open_directory)) == ([] if how == "device" else ["names.txt"])


@pytest.mark.parametrize("extra", [[], ["name=pc?d", "/w"]], ids=["lookup", "write-back"])
@pytest.mark.parametrize("how", ["held", "fifo", "device"])
def test_windows_file_that_cannot_be_opened_ends_in_the_fatal_report(
    machine, wine_prefix, files, how, extra
):
    db = files / "names.txt"
    hold = None
    if how == "held":
        db.write_bytes(DATABASE)
        path = hold = windows_path(db)
    elif how == "fifo":
        os.mkfifo(db)
        path = windows_path(db)
    else:
        path = "NUL"

    result = machine.run_windows(wine_prefix, [f"file={path}", *extra], hold=hold)

    assert fatal_open_error(path).match(result.stdout), result.stdout
    assert result.code == 1
    assert result.computer_name == "OLDNAME"
    if how == "held":
        assert db.read_bytes() == DATABASE
    if how == "fifo":
        assert stat.S_ISFIFO(db.stat().st_mode)
    assert sorted(os.listdir(files)) == ([] if how == "device" else ["names.txt"])


@pytest.mark.parametrize("preview", [False, True], ids=["change", "preview"])
def test_write_back_never_hands_out_a_name_the_file_gives_another_machine(
    target, files, preview
):
    # No host answers to pc0: only the file says it is taken, in another case.
    db = files / "names.txt"
    db.write_bytes(b"DEADBEEF=PC0\r\n")

    preview_flag = ["/n"] if preview else []
    result = target.run([f"file={target.path(db)}", "name=pc?d", "/w", *preview_flag])

    assert result.code == 0
    if preview:
        assert result.lines == [b"pc0 is taken", b"pc1 is free", b"My name would be pc1"]
        assert target.name(result) == "oldname"
        assert db.read_bytes() == b"DEADBEEF=PC0\r\n"
    else:
        assert result.lines == [b"My name is pc1"]
        assert target.name(result) == "pc1"
        assert db.read_bytes() == fill("DEADBEEF=PC0\r\n{key}=pc1\r\n", target.key)


def test_write_back_leaves_a_file_with_bytes_after_a_nul_untouched(target, files):
    # Those bytes are not read, so a rewrite would drop them.
    db = files / "names.txt"
    contents = b"# lab\r\nDEADBEEF=lab08\r\n\x00\x01hidden=1\r\n"
    db.write_bytes(contents)
    path = target.path(db)

    result = target.run([f"file={path}", "name=pc?d", "/w"])

    assert result.lines == [
        b"My name is pc0",
        f"Failed to store name into database: The file {path} holds bytes after a NUL byte"
        " and was left unchanged".encode(),
    ]
    assert result.code == 0
    assert target.name(result) == "pc0"
    assert db.read_bytes() == contents
    assert sorted(os.listdir(files)) == ["names.txt", "names.txt.lock"]


def test_database_over_256_mib_is_not_read(target, files):
    db = files / "names.txt"
    with db.open("wb") as sparse:
        sparse.truncate((256 << 20) + 1)
    path = target.path(db)

    result = target.run([f"file={path}", "name=pc?d", "/w"])

    assert result.lines == [f"The database {path} is larger than 256 MiB".encode()]
    assert result.code == exit_status(-6)
    assert target.name(result) == "oldname"
    assert db.stat().st_size == (256 << 20) + 1


def test_write_back_on_a_full_filesystem_keeps_the_old_file(target):
    # The tmpfs exists only in the run's own mount namespace.
    path = target.path(target.machine.full / "names.txt")

    result, after = target.machine.run_on_full_filesystem(
        [f"file={path}", "name=pc?d", "/w"], {"names.txt": DATABASE},
        prefix=target.prefix, serial=target.key,
    )

    assert result.lines[0] == b"My name is pc0"
    assert result.lines[1:] in (
        [b"Failed to store name into database: Stream write error"],
        [f"Failed to store name into database: Cannot create file {path}".encode()],
    )
    assert result.code == 0
    assert target.name(result) == "pc0"
    assert after == {"names.txt": DATABASE, "names.txt.lock": b""}
