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
LINUX_PROGRAM = REPO / "build" / "linux" / "vorlane"
WINDOWS_PROGRAM = REPO / "build" / "windows" / "vorlane.exe"
WINE = "/usr/lib/wine/wine64"
WINESERVER = "/usr/lib/wine/wineserver"
COMPUTER_NAME_KEY = r"HKLM\System\CurrentControlSet\Control\ComputerName\ComputerName"
TIMEOUT = 120

# Inside the namespaces: put the scratch /etc in place, name the scratch
# machine, run the command, and note the host name it leaves behind.
_ENTER = r"""
set -u
mount --bind "$SCRATCH_ETC" /etc || exit 120
hostname "$START_HOSTNAME" || exit 121
if [ -n "${MOUNT_HOSTNAME:-}" ]; then mount --bind "$MOUNT_HOSTNAME" /etc/hostname || exit 122; fi
"$@"
rc=$?
hostname > "$SCRATCH_DIR/uts-after"
exit $rc
"""

# Under Wine: a server of this run's own, the program, and the computer name
# read back while the same server still runs.
_WINE_RUN = r"""
"$WINESERVER" -k 2>/dev/null; "$WINESERVER" -w
"$WINESERVER" -p 2>/dev/null
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

    def run_windows(
        self, prefix: "WinePrefix", args: list[str], serial: str = "00001A2B", stdin: bytes = b""
    ) -> Result:
        prefix.set_serial(serial)
        return self._run(
            ["sh", "-c", _WINE_RUN, "sh", str(WINDOWS_PROGRAM), *args],
            stdin,
            prefix.env(),
        )


def _registry_value(text: str) -> str | None:
    for line in text.splitlines():
        parts = line.split()
        if len(parts) >= 3 and parts[0] == "ComputerName" and parts[1] == "REG_SZ":
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


def exit_status(code: int) -> int:
    """The exit status the system shows for a program's exit code."""
    return code & 0xFF


def have_wine() -> bool:
    return Path(WINE).exists() and WINDOWS_PROGRAM.exists()
