"""Renaming by pattern on the real programs: the three search modes, the
refusals, and the preview that changes nothing."""

import re

import pytest

from sandbox import exit_status

FATAL_REPORT = re.compile(
    rb"^Exception EConvertError in module (vorlane|vorlane\.exe) at [0-9A-F]{8}\.\n"
    rb"Format '%s' invalid or incompatible with argument\.\r\n$"
)


def test_windows_serial_mode_names_the_machine_after_its_volume(machine, wine_prefix):
    result = machine.run_windows(wine_prefix, ["/d", "name=pc?x"], serial="3e9a07c4")
    assert result.stdout == b"My name is pc3E9A07C4\r\n"
    assert result.code == 0
    assert result.computer_name == "PC3E9A07C4"


def test_windows_serial_with_top_bit_gives_a_negative_decimal(machine, wine_prefix):
    result = machine.run_windows(wine_prefix, ["/d", "/r", "name=pc?d"], serial="80000000")
    assert result.stdout == b"My name is pc-2147483648\r\n"
    assert result.computer_name == "PC-2147483648"


def test_sequential_mode_takes_the_first_name_no_host_answers_to(target):
    target.machine.set_hosts(["pc100", "pc101"])
    result = target.run(["start=100", "end=199", "name=pc?d"])
    assert result.stdout == b"My name is pc102\r\n"
    assert result.code == 0
    assert target.name(result) == "pc102"


def test_preview_probes_and_changes_nothing(target):
    target.machine.set_hosts(["lab07", "lab08"])
    result = target.run(["name=lab?.2d", "start=7", "/n"])
    assert result.lines == [
        b"lab07 is taken",
        b"lab08 is taken",
        b"lab09 is free",
        b"My name would be lab09",
    ]
    assert result.code == 0
    assert target.name(result) == "oldname"


@pytest.mark.parametrize("mode", [[], ["/r"]])
def test_every_name_taken_ends_with_all_spots_taken(target, mode):
    # Sequential mode probes pc0 to pc3; random mode draws below 3.
    target.machine.set_hosts(["pc0", "pc1", "pc2", "pc3"])
    result = target.run(["name=pc?d", "end=3", *mode])
    assert result.stdout == b"All spots taken.\r\n"
    assert result.code == exit_status(-1)
    assert target.name(result) == "oldname"


def test_random_mode_finds_the_one_free_number(target):
    target.machine.set_hosts(["pc0", "pc1", "pc3"])
    result = target.run(["name=pc?d", "end=4", "/r"])
    assert result.stdout == b"My name is pc2\r\n"
    assert target.name(result) == "pc2"


def test_rejected_pattern_ends_in_the_fatal_report_before_any_probe(target):
    result = target.run(["name=pc?s"])
    assert FATAL_REPORT.match(result.stdout), result.stdout
    assert result.code == 1
    assert target.name(result) == "oldname"


@pytest.mark.parametrize(
    "args",
    [["name=pc_?d"], ["name=-pc?d"], ["name=pc?d-"], ["name=p c?d"], ["name=pc\xe9?d"],
     ["/d", "name=?u"]],  # the last is all digits
)
def test_linux_refuses_an_invalid_host_name_and_touches_nothing(machine, args):
    result = machine.run_linux(args)
    assert result.stdout == b"Invalid argument\r\n"
    assert result.code == 22
    assert (result.hostname, result.hostname_file) == ("oldname", b"oldname\n")


def test_linux_rename_keeps_the_mode_of_etc_hostname(machine):
    (machine.etc / "hostname").chmod(0o640)
    result = machine.run_linux(["name=ws?d"])
    assert result.stdout == b"My name is ws0\r\n"
    assert (machine.etc / "hostname").stat().st_mode & 0o777 == 0o640
    assert not list(machine.etc.glob("hostname.*")), "a temporary file was left behind"


def test_linux_rewrites_etc_hostname_in_place_when_it_is_a_mount_point(machine):
    # As in a container: /etc/hostname is a file mounted over its place, so it
    # cannot be replaced by a rename.
    outside = machine.dir / "mounted-hostname"
    outside.write_text("oldname\n")
    result = machine.run_linux_with_mounted_hostname(outside, ["name=ws?d"])
    assert result.stdout == b"My name is ws0\r\n"
    assert result.hostname == "ws0"
    assert outside.read_bytes() == b"ws0\n"
