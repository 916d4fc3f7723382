from __future__ import annotations

import dataclasses
from pathlib import Path
from typing import Callable

import pytest

from sandbox import (
    LINUX_PROGRAM,
    Machine,
    Result,
    WinePrefix,
    have_wine,
    root_filesystem_key,
    windows_path,
)

WINDOWS_KEY = "00001A2B"  # the volume serial a Wine run is given unless a test says otherwise


@pytest.fixture(scope="session")
def wine_prefix(tmp_path_factory):
    if not have_wine():
        pytest.fail("Wine or build/windows/vorlane.exe is missing; run the setup first")
    return WinePrefix(tmp_path_factory.mktemp("wineprefix"))


@pytest.fixture
def machine(tmp_path):
    if not LINUX_PROGRAM.exists():
        pytest.fail("build/linux/vorlane is missing; run the setup first")
    return Machine(tmp_path / "machine")


@dataclasses.dataclass
class Target:
    """One of the two programs with what a test needs to drive it."""

    platform: str
    key: str  # this machine's key, as the program computes it
    run: Callable[..., Result]  # run(args, cwd=None)
    path: Callable[[Path], str]  # a Linux path as the program is given it
    machine: Machine
    prefix: WinePrefix | None = None

    def name(self, result: Result) -> str | None:
        """The machine's name after the run, in lowercase. On Linux the
        running name and /etc/hostname must agree."""
        if self.platform == "windows":
            return None if result.computer_name is None else result.computer_name.lower()
        if result.hostname_file != f"{result.hostname}\n".encode():
            return f"running {result.hostname!r} but /etc/hostname {result.hostname_file!r}"
        return result.hostname


@pytest.fixture(params=["linux", "windows"])
def target(request, machine) -> Target:
    """Each test that takes it runs once with each program."""
    if request.param == "linux":
        return Target("linux", root_filesystem_key(), machine.run_linux, str, machine)
    prefix = request.getfixturevalue("wine_prefix")

    def run(args, **options):
        options.setdefault("serial", WINDOWS_KEY)
        return machine.run_windows(prefix, args, **options)

    return Target("windows", WINDOWS_KEY, run, windows_path, machine, prefix)
