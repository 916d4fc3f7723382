"""Runs the real programs where they can rename nothing but a scratch machine.

The Linux program runs inside private UTS and mount namespaces over a scratch
copy of /etc, so it can replace /etc/hostname and set the host name without
touching the machine the tests run on. Host-name lookups go to the scratch
hosts file only ("hosts: files"), so no probe leaves this machine.

The Windows program runs under Wine, inside the same kind of namespace, in a
prefix made once per test run. Wine reads the C: volume serial from
drive_c/.windows-serial when its server starts, and resets the computer name
from the host name then, so every run starts a server of its own and reads the
computer name back from the registry before that server stops.
"""

from __future__ import annotations

import dataclasses
import os
import subprocess
from pathlib import Path

REPO = Path(__file__).resolve().parents[2]
# VORLANE_LINUX_PROGRAM runs the tests against another build, e.g. build/asan/vorlane.
LINUX_PROGRAM = Path(
    os.environ.get("VORLANE_LINUX_PROGRAM", REPO / "build" / "linux" / "vorlane")
)
WINDOWS_PROGRAM = REPO / "build" / "windows" / "vorlane.exe"
LINUX_RECORD_TOOL = REPO / "build" / "linux" / "tests" / "tools" / "record_tool"
WINDOWS_RECORD_TOOL = REPO / "build" / "windows" / "tests" / "tools" / "record_tool.exe"
WINDOWS_HOLD_FILE = REPO / "build" / "windows" / "tests" / "tools" / "hold_file.exe"
WINE = "/usr/lib/wine/wine64"
WINESERVER = "/usr/lib/wine/wineserver"
COMPUTER_NAME_KEY = r"HKLM\System\CurrentControlSet\Control\ComputerName\ComputerName"
TIMEOUT = 120

# Inside the namespaces: put the scratch /etc in place, name the scratch
# machine, run the command, and note the host name it leaves behind.
_SET_UP = r"""
set -u
mount --bind "$SCRATCH_ETC" /etc || exit 120
hostname "$START_HOSTNAME" || exit 121
if [ -n "${MOUNT_HOSTNAME:-}" ]; then mount --bind "$MOUNT_HOSTNAME" /etc/hostname || exit 122; fi
"""
_ENTER = _SET_UP + r"""
"$@"
rc=$?
hostname > "$SCRATCH_DIR/uts-after"
exit $rc
"""
# The same for a command that is to be signalled: it takes the shell's place.
_ENTER_EXEC = _SET_UP + 'exec "$@"\n'

# Under Wine: a server of this run's own, optionally a program that keeps a
# file open meanwhile, the program, and the computer name read back while the
# same server still runs.
_WINE_RUN = r"""
"$WINESERVER" -k 2>/dev/null; "$WINESERVER" -w
"$WINESERVER" -p 2>/dev/null
if [ -n "${HOLD_PATH:-}" ]; then
    "$WINE" "$HOLD_FILE" "$HOLD_PATH" 600 > "$SCRATCH_DIR/holder" 2>&1 &
    tries=0
    until grep -q held "$SCRATCH_DIR/holder"; do
        tries=$((tries + 1))
        if [ $tries -gt 600 ] || grep -q error "$SCRATCH_DIR/holder"; then
            "$WINESERVER" -k 2>/dev/null; exit 123
        fi
        sleep 0.1
    done
fi
if [ -n "${RUN_DIR:-}" ]; then cd "$RUN_DIR" || exit 124; fi
"$WINE" "$@"
rc=$?
"$WINE" reg query "$NAME_KEY" /v ComputerName > "$SCRATCH_DIR/computer-name" 2>/dev/null
"$WINESERVER" -k 2>/dev/null; "$WINESERVER" -w
exit $rc
"""


@dataclasses.dataclass
class Result:
    stdout: bytes
    stderr: bytes
    code: int  # the exit status as the system shows it (-1 is 255)
    hostname: str  # the running host name after the run
    hostname_file: bytes  # /etc/hostname after the run
    computer_name: str | None  # under Wine: the name in the registry

    @property
    def lines(self) -> list[bytes]:
        """The output split after every CR LF; a trailing part without one stays."""
        parts = self.stdout.split(b"\r\n")
        if parts and parts[-1] == b"":
            parts.pop()
        return parts


class Machine:
    """A scratch machine: its own /etc, host name and hosts that answer."""

    def __init__(self, directory: Path, hostname: str = "oldname"):
        self.dir = directory
        self.etc = directory / "etc"
        self.start_hostname = hostname
        if not self.etc.exists():
            directory.mkdir(parents=True, exist_ok=True)
            subprocess.run(["cp", "-a", "/etc", str(self.etc)], check=True)
        (self.etc / "nsswitch.conf").write_text(
            "passwd: files\ngroup: files\nshadow: files\nhosts: files\n"
        )
        (self.etc / "hostname").write_text(hostname + "\n")
        self.set_hosts([])

    def set_hosts(self, names: list[str]) -> None:
        """Makes exactly these names (and localhost) answer a lookup."""
        lines = ["127.0.0.1 localhost"]
        lines += [f"127.0.{1 + i // 250}.{1 + i % 250} {name}" for i, name in enumerate(names)]
        (self.etc / "hosts").write_text("\n".join(lines) + "\n")

    def _run(self, command: list[str], stdin: bytes, env: dict[str, str]) -> Result:
        for stale in ("uts-after", "computer-name"):
            (self.dir / stale).unlink(missing_ok=True)
        full_env = dict(os.environ)
        full_env.update(
            # A restart request never reaches this machine's own bus.
            DBUS_SYSTEM_BUS_ADDRESS=f"unix:path={self.dir}/no-system-bus",
            SCRATCH_ETC=str(self.etc),
            SCRATCH_DIR=str(self.dir),
            START_HOSTNAME=self.start_hostname,
        )
        full_env.update(env)
        proc = subprocess.run(
            ["unshare", "--uts", "--mount", "--propagation", "private", "sh", "-c", _ENTER, "sh"]
            + command,
            input=stdin,
            capture_output=True,
            env=full_env,
            timeout=TIMEOUT,
        )
        uts = self.dir / "uts-after"
        name_file = self.dir / "computer-name"
        return Result(
            stdout=proc.stdout,
            stderr=proc.stderr,
            code=proc.returncode,
            hostname=uts.read_text().strip() if uts.exists() else "",
            hostname_file=(self.etc / "hostname").read_bytes(),
            computer_name=_registry_value(name_file.read_text()) if name_file.exists() else None,
        )

    def run_linux(
        self,
        args: list[str],
        stdin: bytes = b"",
        cwd: Path | None = None,
        system_bus: str | None = None,
    ) -> Result:
        """Runs the Linux program; its restart requests go to system_bus, or
        to a bus that is not there."""
        command = [str(LINUX_PROGRAM), *args]
        if cwd is not None:
            command = ["sh", "-c", 'cd "$0" && exec "$@"', str(cwd), *command]
        return self._run(command, stdin, {"DBUS_SYSTEM_BUS_ADDRESS": system_bus} if system_bus else {})

    def run_linux_with_mounted_hostname(self, hostname_file: Path, args: list[str]) -> Result:
        """Runs with hostname_file mounted over /etc/hostname, as in a container."""
        return self._run(
            [str(LINUX_PROGRAM), *args],
            b"",
            {"MOUNT_HOSTNAME": str(hostname_file)},
        )

    def run_command(
        self, command: list[str], stdin: bytes = b"", as_nobody: bool = False
    ) -> Result:
        """Runs any Linux command (a test tool, say) on the scratch machine;
        as_nobody drops to uid and gid 65534 once the machine is set up, so
        that file permissions apply to the command."""
        if as_nobody:
            command = ["setpriv", "--reuid=65534", "--regid=65534", "--clear-groups", *command]
        return self._run(command, stdin, {})

    def spawn(
        self, command: list[str], prefix: "WinePrefix | None" = None, **popen
    ) -> subprocess.Popen:
        """Starts command on the scratch machine and returns at once. The
        command takes the place of the shell that set the machine up, so the
        process returned is the command itself and a signal reaches it. With
        a prefix the Wine environment is set (no server is started). It runs
        in a session of its own, so that it and its children can be ended as
        one process group."""
        env = dict(os.environ)
        env.update(SCRATCH_ETC=str(self.etc), SCRATCH_DIR=str(self.dir),
                   START_HOSTNAME=self.start_hostname)
        if prefix is not None:
            env.update(prefix.env())
        return subprocess.Popen(
            ["unshare", "--uts", "--mount", "--propagation", "private", "sh", "-c", _ENTER_EXEC,
             "sh", *command],
            env=env,
            start_new_session=True,
            **popen,
        )

    @property
    def full(self) -> Path:
        """Where run_on_full_filesystem mounts its tmpfs."""
        return self.dir / "full"

    def run_on_full_filesystem(
        self,
        args: list[str],
        files: dict[str, bytes],
        prefix: "WinePrefix | None" = None,
        serial: str = "00001A2B",
        size: str = "64k",
    ) -> tuple[Result, dict[str, bytes]]:
        """Runs the Linux program, or with a prefix the Windows one, with a
        tmpfs of the given size mounted at self.full in the run's own mount
        namespace (outside, self.full stays an empty directory). The tmpfs
        holds files and, taking all the space left, a file "filler". Returns
        the result and the tmpfs's files after the run, the filler left out."""
        staging = self.dir / "full-before"
        after = self.dir / "full-after"
        subprocess.run(["rm", "-rf", str(staging), str(after)], check=True)
        staging.mkdir()
        after.mkdir()
        self.full.mkdir(exist_ok=True)
        for name, data in files.items():
            (staging / name).write_bytes(data)
        script = r"""
full=$1; staging=$2; after=$3; shift 3
mount -t tmpfs -o "size=$FULL_SIZE" vorlane-full "$full" || exit 125
cp -a "$staging/." "$full/" || exit 126
dd if=/dev/zero of="$full/filler" bs=512 2>/dev/null
"$@"
rc=$?
rm -f "$full/filler"
cp -a "$full/." "$after/"
exit $rc
"""
        program = [str(LINUX_PROGRAM), *args]
        env = {"FULL_SIZE": size}
        if prefix is not None:
            prefix.set_serial(serial)
            program = ["sh", "-c", _WINE_RUN, "sh", str(WINDOWS_PROGRAM), *args]
            env.update(prefix.env())
        result = self._run(
            ["sh", "-c", script, "sh", str(self.full), str(staging), str(after), *program],
            b"",
            env,
        )
        return result, {path.name: path.read_bytes() for path in after.iterdir()}

    def run_windows(
        self,
        prefix: "WinePrefix",
        args: list[str],
        serial: str = "00001A2B",
        stdin: bytes = b"",
        cwd: Path | None = None,
        hold: str | None = None,
        program: Path = WINDOWS_PROGRAM,
    ) -> Result:
        """Runs the Windows program (or another build of it) under Wine. cwd
        becomes its current directory; hold is a Windows path that
        hold_file.exe keeps open, sharing nothing, for the whole run."""
        prefix.set_serial(serial)
        env = prefix.env()
        if cwd is not None:
            env["RUN_DIR"] = str(cwd)
        if hold is not None:
            env.update(HOLD_PATH=hold, HOLD_FILE=str(WINDOWS_HOLD_FILE))
        return self._run(["sh", "-c", _WINE_RUN, "sh", str(program), *args], stdin, env)


def _registry_value(text: str) -> str | None:
    for line in text.splitlines():
        parts = line.split()
        if len(parts) >= 2 and parts[0] == "ComputerName" and parts[1] == "REG_SZ":
            return line.split("REG_SZ", 1)[1].strip()
    return None


class WinePrefix:
    """A Wine prefix of the test run's own, made once."""

    def __init__(self, directory: Path):
        self.dir = directory
        env = dict(os.environ, **self.env())
        subprocess.run([WINE, "wineboot", "-i"], env=env, check=True, capture_output=True,
                       timeout=300)
        subprocess.run([WINESERVER, "-w"], env=env, check=True, timeout=120)

    def env(self) -> dict[str, str]:
        return {
            "WINEPREFIX": str(self.dir),
            "WINEDEBUG": "-all",
            "WINEDLLOVERRIDES": "mscoree,mshtml=",
            "WINE": WINE,
            "WINESERVER": WINESERVER,
            "NAME_KEY": COMPUTER_NAME_KEY,
            "DISPLAY": "",
        }

    def set_serial(self, serial: str) -> None:
        (self.dir / "drive_c" / ".windows-serial").write_text(serial)

    def drive_c(self) -> Path:
        return self.dir / "drive_c"


def windows_path(path: Path) -> str:
    """The path under which Wine programs see a Linux path (drive Z: is /)."""
    return "Z:" + str(path).replace("/", "\\")


def root_filesystem_key() -> str:
    """The Linux program's machine key: the first 32-bit word of the root
    filesystem's ID as 8 uppercase hex digits."""
    fsid = subprocess.run(["stat", "-f", "-c", "%i", "/"], capture_output=True, text=True,
                          check=True).stdout.strip()
    return fsid.rjust(16, "0")[:8].upper()


def exit_status(code: int) -> int:
    """The exit status the system shows for a program's exit code."""
    return code & 0xFF


def have_wine() -> bool:
    return Path(WINE).exists() and WINDOWS_PROGRAM.exists()
