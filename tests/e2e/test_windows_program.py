"""vorlane.exe as a file: what it imports and the resources it carries."""

import re
import subprocess

from sandbox import WINDOWS_PROGRAM

SYSTEM_DLLS = {"KERNEL32.DLL", "ADVAPI32.DLL", "USER32.DLL", "WSOCK32.DLL", "MSVCRT.DLL"}


def test_imports_only_the_systems_own_dlls():
    dump = subprocess.run(
        ["x86_64-w64-mingw32-objdump", "-p", str(WINDOWS_PROGRAM)],
        capture_output=True, text=True, check=True,
    ).stdout
    imported = {name.upper() for name in re.findall(r"DLL Name: (\S+)", dump)}
    assert imported and imported <= SYSTEM_DLLS | {name for name in imported
                                                   if name.startswith("API-MS-WIN-CRT-")}
    assert "KERNEL32.DLL" in imported


def test_carries_version_information_and_a_manifest_that_keeps_the_code_page():
    resources = subprocess.run(
        ["x86_64-w64-mingw32-windres", "-i", str(WINDOWS_PROGRAM), "-O", "rc"],
        capture_output=True, text=True, check=True,
    ).stdout
    assert 'VALUE "ProductName", "vorlane"' in resources
    assert re.search(r'VALUE "FileVersion", "\d+\.\d+\.\d+"', resources)
    assert 'VALUE "FileDescription", "vorlane: ' in resources
    manifest = "".join(re.findall(r'^\s*"(.*)\\n"$', resources, re.MULTILINE))
    assert 'level=""asInvoker""' in manifest
    assert "supportedOS" in manifest
    assert "<activeCodePage" not in manifest
