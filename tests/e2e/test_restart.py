"""The restart request after a change: logind over a private system bus on
Linux, the system's own request under Wine. Nothing here restarts anything."""

import os
import signal
import subprocess
import time
from pathlib import Path

import pytest

HERE = Path(__file__).resolve().parent
NOTICE = b"The computer is now called ws0\r\nBut failed to reboot\r\n"


class Logind:
    """A private bus with python-dbusmock standing in for logind."""

    def __init__(self, directory: Path):
        address_file = directory / "bus-address"
        with open(address_file, "w") as out:
            self.bus = subprocess.Popen(
                ["dbus-daemon", "--session", "--nofork", "--print-address=1"],
                stdout=out,
                stderr=subprocess.DEVNULL,
            )
        deadline = time.monotonic() + 10
        while not address_file.read_text().strip():
            assert time.monotonic() < deadline, "the private bus did not start"
            time.sleep(0.05)
        self.address = address_file.read_text().strip()
        env = dict(os.environ, DBUS_SYSTEM_BUS_ADDRESS=self.address)
        self.mock = subprocess.Popen(
            ["/usr/bin/python3", "-m", "dbusmock", "--system", "--template",
             str(HERE / "logind_standin.py")],
            env=env, stdout=subprocess.DEVNULL,
        )
        while not self.calls(allow_missing=True) == []:
            assert time.monotonic() < deadline, "the logind stand-in did not start"
            time.sleep(0.05)

    def calls(self, allow_missing: bool = False):
        import dbus

        try:
            bus = dbus.bus.BusConnection(self.address)
            manager = bus.get_object("org.freedesktop.login1", "/org/freedesktop/login1")
            calls = manager.GetCalls(dbus_interface="org.freedesktop.DBus.Mock")
            bus.close()
        except dbus.exceptions.DBusException:
            if allow_missing:
                return None
            raise
        return [(int(stamp), str(method), list(args)) for stamp, method, args in calls]

    def stop(self):
        for process in (self.mock, self.bus):
            process.send_signal(signal.SIGTERM)
            process.wait(timeout=10)


@pytest.fixture
def logind(tmp_path):
    standin = Logind(tmp_path)
    yield standin
    standin.stop()


def test_linux_restart_goes_to_logind_once_with_the_wall_message(machine, logind):
    before = time.time()
    result = machine.run_linux(["name=ws?d", "/re"], system_bus=logind.address)
    assert result.stdout == b"My name is ws0\r\n"
    assert result.code == 0
    calls = logind.calls()
    assert [method for _, method, _ in calls] == ["SetWallMessage", "ScheduleShutdown"]
    assert calls[0][2] == ["ComputerName was changed to ws0", True]
    kind, when = calls[1][2]
    assert kind == "reboot"
    assert before + 9 <= int(when) / 1e6 <= time.time() + 11


def test_linux_no_restart_without_re_or_after_a_refused_change(machine, logind):
    machine.run_linux(["name=ws?d"], system_bus=logind.address)
    machine.run_linux(["name=ws_?d", "/re"], system_bus=logind.address)
    machine.run_linux(["name=ws?d", "/re", "/n"], system_bus=logind.address)
    assert logind.calls() == []


def test_linux_without_a_bus_tells_the_operator_and_exits_0(machine):
    result = machine.run_linux(["name=ws?d", "/re"])
    # No bus socket: the error text is the system's for a missing file.
    assert result.stdout == b"My name is ws0\r\n" + NOTICE + b"No such file or directory\r\n"
    assert b"PrivilegeErr:" not in result.stdout
    assert result.code == 0
    assert result.hostname == "ws0"


def test_windows_restart_request_is_accepted_quietly(machine, wine_prefix):
    result = machine.run_windows(wine_prefix, ["name=ws?d", "/re"])
    assert result.stdout == b"My name is ws0\r\n"
    assert result.code == 0
    assert result.computer_name == "WS0"
