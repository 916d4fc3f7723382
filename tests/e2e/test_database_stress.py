"""The record step under load and under crashes: many writers at once, native
and under Wine, while readers keep reading the file; and writers killed at
random moments. The figures of each run are printed (see them with -s)."""

from __future__ import annotations

import ctypes
import json
import os
import random
import re
import select
import signal
import struct
import subprocess
import sys
import time
from pathlib import Path

from sandbox import LINUX_RECORD_TOOL, WINDOWS_RECORD_TOOL, WINESERVER, windows_path

HEADER = b"# names"
RECORD = re.compile(rb"[0-9A-F]{8}=[a-z0-9]+")


def record_line(key: str, name: str) -> bytes:
    return f"{key}={name}\r\n".encode()


def parse(data: bytes) -> list[bytes]:
    """The lines of a database as the record step writes it: each one whole
    and followed by CR LF, the header first."""
    assert data.endswith(b"\r\n"), data[-80:]
    lines = data.split(b"\r\n")[:-1]
    assert lines[0] == HEADER, lines[:3]
    bad = [line for line in lines[1:] if not RECORD.fullmatch(line)]
    assert not bad, bad[:5]
    return lines[1:]


def running_tools(program: Path, marker: str) -> list[int]:
    """The processes that run program with marker among their arguments."""
    found = []
    for entry in os.listdir("/proc"):
        if not entry.isdigit():
            continue
        try:
            # A program rebuilt while it runs shows as deleted.
            if os.readlink(f"/proc/{entry}/exe").removesuffix(" (deleted)") != str(program):
                continue
            with open(f"/proc/{entry}/cmdline", "rb") as cmdline:
                if marker.encode() in cmdline.read():
                    found.append(int(entry))
        except OSError:
            continue
    return found


def wait_for(condition, what: str, limit: float) -> None:
    deadline = time.monotonic() + limit
    while not condition():
        assert time.monotonic() < deadline, f"gave up waiting for {what}"
        time.sleep(0.002)


class DirectoryOpens:
    """Notes which of some directories have been opened (through inotify): a
    Wine writer opens its start file's directory to look for the file, so
    the first open of it shows that the writer has started and waits."""

    IN_OPEN = 0x20
    HEADER = struct.Struct("iIII")

    def __init__(self, directories: list[Path]):
        self._libc = ctypes.CDLL(None, use_errno=True)
        self._fd = self._libc.inotify_init1(os.O_NONBLOCK | os.O_CLOEXEC)
        assert self._fd >= 0, os.strerror(ctypes.get_errno())
        self._watches = {}
        for directory in directories:
            watch = self._libc.inotify_add_watch(self._fd, bytes(directory), self.IN_OPEN)
            assert watch >= 0, os.strerror(ctypes.get_errno())
            self._watches[watch] = directory
        self._opened = set()

    def wait_for_all(self, limit: float) -> None:
        deadline = time.monotonic() + limit
        while len(self._opened) < len(self._watches):
            left = deadline - time.monotonic()
            assert left > 0, f"only {len(self._opened)} of {len(self._watches)} started"
            if not select.select([self._fd], [], [], left)[0]:
                continue
            events = os.read(self._fd, 65536)
            offset = 0
            while offset < len(events):
                watch, _, _, length = self.HEADER.unpack_from(events, offset)
                self._opened.add(watch)
                offset += self.HEADER.size + length

    def close(self) -> None:
        os.close(self._fd)


# Reads the database over and over until told to stop, and tells how often
# it was missing, how often it read as no whole database, and how often a
# record seen before had gone.
READER = r"""
import json, os, re, sys, time
path, stop, limit = sys.argv[1], sys.argv[2], float(sys.argv[3])
record = re.compile(rb"[0-9A-F]{8}=[a-z0-9]+")
counts = {"reads": 0, "missing": 0, "partial": 0, "lost": 0}
examples = []
seen = set()
deadline = time.monotonic() + limit
while not os.path.exists(stop) and time.monotonic() < deadline and counts["reads"] < 2000000:
    counts["reads"] += 1
    try:
        with open(path, "rb") as database:
            data = database.read()
    except FileNotFoundError:
        counts["missing"] += 1
        continue
    lines = data.split(b"\r\n")
    if (not data.endswith(b"\r\n") or lines[0] != b"# names"
            or not all(record.fullmatch(line) for line in lines[1:-1])):
        counts["partial"] += 1
        if len(examples) < 3:
            examples.append(repr(data[-120:]))
        continue
    records = set(lines[1:-1])
    if not seen <= records:
        counts["lost"] += 1
    seen = records
counts["examples"] = examples
print(json.dumps(counts))
"""

# On the scratch machine: one Wine server for all Wine writers, every writer
# of the plan started in the background, and the wait for all of them.
STORM = r"""
plan=$1; out=$2; native_tool=$3; windows_tool=$4
"$WINESERVER" -k 2>/dev/null; "$WINESERVER" -w
"$WINESERVER" -p 2>/dev/null
while read -r kind id key name db start; do
    if [ "$kind" = native ]; then
        "$native_tool" record "$db" "$key" "$name" "$start" > "$out/$id" 2>&1 &
    else
        "$WINE" "$windows_tool" record "$db" "$key" "$name" "$start" > "$out/$id" 2>&1 &
    fi
done < "$plan"
wait
"$WINESERVER" -k 2>/dev/null; "$WINESERVER" -w
"""

WRITERS_PER_KIND = 25  # native and under Wine, so 50 at once
ROUNDS = 3
READERS = 2


def test_writers_at_once_each_add_their_record_and_readers_see_whole_files(
    machine, wine_prefix, tmp_path
):
    (tmp_path / "files").mkdir()
    db = tmp_path / "files" / "names.txt"
    db.write_bytes(HEADER + b"\r\n")
    expected: set[bytes] = set()
    figures = []

    for round_number in range(1, ROUNDS + 1):
        round_dir = tmp_path / f"round{round_number}"
        out = round_dir / "out"
        out.mkdir(parents=True)
        # Each writer waits for gate/<id>/go. gate points at closed/, where
        # the writers' directories are empty, and is then turned to open/,
        # where each holds a go, in one rename: all are released at once.
        writers = []
        for kind in ("native", "wine"):
            for index in range(WRITERS_PER_KIND):
                writer_id = f"{kind}{index}"
                number = (0xA0000000 if kind == "native" else 0xB0000000) + (
                    round_number << 8) + index
                name = f"{kind[0]}{round_number}x{index}"
                (round_dir / "closed" / writer_id).mkdir(parents=True)
                (round_dir / "open" / writer_id).mkdir(parents=True)
                (round_dir / "open" / writer_id / "go").touch()
                writers.append((kind, writer_id, f"{number:08X}", name))
        (round_dir / "gate").symlink_to("closed")

        def path_for(kind: str, path: Path) -> str:
            return str(path) if kind == "native" else windows_path(path)

        plan = round_dir / "plan"
        plan.write_text("".join(
            f"{kind} {writer_id} {key} {name} {path_for(kind, db)} "
            f"{path_for(kind, round_dir / 'gate' / writer_id / 'go')}\n"
            for kind, writer_id, key, name in writers
        ))
        opens = DirectoryOpens([round_dir / "closed" / w[1] for w in writers if w[0] == "wine"])

        started = time.monotonic()
        storm = machine.spawn(
            ["sh", "-c", STORM, "sh", str(plan), str(out), str(LINUX_RECORD_TOOL),
             str(WINDOWS_RECORD_TOOL)],
            prefix=wine_prefix,
        )
        readers = []
        try:
            wait_for(lambda: len(running_tools(LINUX_RECORD_TOOL, str(db))) == WRITERS_PER_KIND,
                     "the native writers", 30)
            opens.wait_for_all(90)
            ready = time.monotonic()

            stop = round_dir / "stop"
            readers = [
                subprocess.Popen([sys.executable, "-c", READER, str(db), str(stop), "120"],
                                 stdout=subprocess.PIPE)
                for _ in range(READERS)
            ]
            new_gate = round_dir / "gate.new"
            new_gate.symlink_to("open")
            released = time.monotonic()
            new_gate.rename(round_dir / "gate")
            storm.wait(timeout=90)
            done = time.monotonic()
            stop.touch()
            seen = [json.loads(reader.communicate(timeout=30)[0]) for reader in readers]
        finally:
            opens.close()
            if storm.poll() is None:
                os.killpg(storm.pid, signal.SIGKILL)
                storm.wait()
                # The Wine server left its parent's group when it started.
                subprocess.run([WINESERVER, "-k"], env=dict(os.environ, **wine_prefix.env()),
                               timeout=60)
            for reader in readers:
                if reader.poll() is None:
                    reader.kill()
                    reader.wait()

        answers = {writer_id: (out / writer_id).read_bytes() for _, writer_id, _, _ in writers}
        failed = {w: a for w, a in answers.items() if a.strip() != b"ok"}
        assert not failed, failed
        for reader in seen:
            assert (reader["missing"], reader["partial"], reader["lost"]) == (0, 0, 0), reader

        expected |= {record_line(key, name).rstrip(b"\r\n") for _, _, key, name in writers}
        records = parse(db.read_bytes())
        keys = [line.split(b"=")[0] for line in records]
        assert len(keys) == len(set(keys)), "a key was recorded twice"
        assert set(records) == expected
        assert sorted(os.listdir(db.parent)) == ["names.txt", "names.txt.lock"]

        figures.append({
            "round": round_number,
            "start-up s": round(ready - started, 2),
            "storm s": round(done - released, 2),
            "reads": sum(reader["reads"] for reader in seen),
            "records": len(records),
        })
    print(f"\n{2 * WRITERS_PER_KIND} writers x {ROUNDS} rounds: {figures}")


KILLS = 100


def test_a_writer_killed_at_any_moment_leaves_the_old_or_the_new_file(machine, tmp_path):
    (tmp_path / "files").mkdir()
    db = tmp_path / "files" / "names.txt"
    db.write_bytes(HEADER + b"\r\n")
    seed = int.from_bytes(os.urandom(4), "little")
    chance = random.Random(seed)

    def start_writer(key: str, name: str, go: Path) -> subprocess.Popen:
        writer = machine.spawn([str(LINUX_RECORD_TOOL), "record", str(db), key, name, str(go)],
                               stdout=subprocess.PIPE)
        # Once the tool runs in the spawned process's place it waits for go.
        def running() -> bool:
            assert writer.poll() is None, (writer.returncode, writer.communicate())
            return running_tools(LINUX_RECORD_TOOL, str(db)) == [writer.pid]

        wait_for(running, "the writer to start", 10)
        return writer

    def lock_is_free() -> bool:
        probe = machine.run_command([str(LINUX_RECORD_TOOL), "lock", str(db), "0"])
        return probe.stdout == b"locked\n"

    # How long a record takes from the release, so that the kills fall all
    # over it.
    durations = []
    for index in range(7):
        go = tmp_path / f"warm{index}.go"
        writer = start_writer(f"C000{index:04X}", f"warm{index}", go)
        released = time.monotonic()
        go.touch()
        assert writer.communicate(timeout=30)[0] == b"ok\n"
        durations.append(time.monotonic() - released)
    span = sorted(durations)[len(durations) // 2] * 1.5

    outcomes = {"killed, old file": 0, "killed, new file": 0, "finished": 0}
    for index in range(KILLS):
        key, name = f"D000{index:04X}", f"k{index}"
        old = db.read_bytes()
        go = tmp_path / f"kill{index}.go"
        writer = start_writer(key, name, go)
        go.touch()
        time.sleep(chance.uniform(0, span))
        writer.send_signal(signal.SIGKILL)
        answer = writer.communicate(timeout=30)[0]
        now = db.read_bytes()
        context = f"kill {index}, seed {seed}, answer {answer!r}"
        if writer.returncode == 0:
            assert answer == b"ok\n" and now == old + record_line(key, name), context
            outcomes["finished"] += 1
        else:
            assert writer.returncode == -signal.SIGKILL, context
            assert now in (old, old + record_line(key, name)), context
            outcomes["killed, old file" if now == old else "killed, new file"] += 1
        assert lock_is_free(), context
        go.unlink()

    # The next writer after all that gets through, and its record is whole.
    go = tmp_path / "last.go"
    go.touch()
    last = machine.run_command([str(LINUX_RECORD_TOOL), "record", str(db), "EEEEEEEE", "last",
                                str(go)])
    assert last.stdout == b"ok\n"
    records = parse(db.read_bytes())
    assert records[-1] == b"EEEEEEEE=last"
    keys = [line.split(b"=")[0] for line in records]
    assert len(keys) == len(set(keys))

    killed = outcomes["killed, old file"] + outcomes["killed, new file"]
    left = sorted(set(os.listdir(db.parent)) - {"names.txt", "names.txt.lock"})
    assert all(re.fullmatch(r"names\.txt\.[A-Za-z0-9]{6}", name) for name in left), left
    assert len(left) <= killed, left
    print(f"\n{KILLS} kills within {span * 1000:.1f} ms of the release (seed {seed}): "
          f"{outcomes}; temporary files left by killed writers: {len(left)}")
