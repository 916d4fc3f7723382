"""The packages as a user gets them: the .deb of the Linux build and the ZIP of
the Windows build, made by cpack from the trees the tests run on."""

import gzip
import re
import subprocess
import zipfile
from pathlib import Path

import pytest

from sandbox import REPO, root_filesystem_key

VERSION = re.search(r"project\(vorlane VERSION (\S+)", (REPO / "CMakeLists.txt").read_text())[1]


def make_package(preset: str, directory: Path, pattern: str) -> Path:
    # The preset's own directory is where a developer's packages go; a scratch
    # one keeps this run from touching them.
    subprocess.run(["cpack", "--preset", preset, "-B", str(directory)], cwd=REPO, check=True,
                   capture_output=True, timeout=300)
    (package,) = directory.glob(pattern)
    return package


@pytest.fixture(scope="module")
def deb(tmp_path_factory):
    return make_package("linux", tmp_path_factory.mktemp("deb"), "vorlane_*.deb")


@pytest.fixture(scope="module")
def zip_package(tmp_path_factory):
    return make_package("windows", tmp_path_factory.mktemp("zip"), "vorlane-*.zip")


def test_deb_control_names_the_package_and_its_libraries(deb):
    fields = subprocess.run(["dpkg-deb", "-f", str(deb), "Package", "Version", "Section",
                             "Depends"], capture_output=True, text=True, check=True).stdout
    control = dict(line.split(": ", 1) for line in fields.splitlines())
    assert control["Package"] == "vorlane"
    assert control["Version"] == VERSION
    assert control["Section"] == "admin"
    depends = {entry.split()[0]: entry for entry in control["Depends"].split(", ")}
    # A versioned libc6 shows that the dependencies were read off the program.
    assert re.fullmatch(r"libc6 \(>= [\d.]+\)", depends["libc6"])
    assert "libsystemd0" in depends


def test_deb_holds_the_program_and_its_documents_only(deb, tmp_path):
    listing = subprocess.run(["dpkg-deb", "-c", str(deb)], capture_output=True, text=True,
                             check=True).stdout
    files = {line.split()[-1] for line in listing.splitlines() if not line.startswith("d")}
    assert files == {
        "./usr/bin/vorlane",
        "./usr/share/man/man1/vorlane.1.gz",
        "./usr/share/doc/vorlane/README.md",
        "./usr/share/doc/vorlane/LICENSE",
    }
    subprocess.run(["dpkg-deb", "-x", str(deb), str(tmp_path)], check=True)
    page = gzip.decompress((tmp_path / "usr/share/man/man1/vorlane.1.gz").read_bytes())
    assert page == (REPO / "man" / "vorlane.1").read_bytes()


def test_deb_program_shows_the_usage_screen(deb, machine, tmp_path):
    root = tmp_path / "root"
    subprocess.run(["dpkg-deb", "-x", str(deb), str(root)], check=True)
    result = machine.run_command([str(root / "usr" / "bin" / "vorlane")], stdin=b"")
    assert result.code == 0
    assert result.lines[0].startswith(b"Usage: vorlane ")
    key_line = f"This computer's harddrive serial number is {root_filesystem_key()}"
    assert key_line.encode() in result.lines


def test_zip_holds_the_program_and_its_documents_side_by_side(zip_package):
    with zipfile.ZipFile(zip_package) as archive:
        files = [Path(name) for name in archive.namelist() if not name.endswith("/")]
    assert sorted(path.name for path in files) == ["LICENSE", "README.md", "vorlane.exe"]
    assert len({path.parent for path in files}) == 1


def test_zip_program_runs_under_wine(zip_package, machine, wine_prefix, tmp_path):
    with zipfile.ZipFile(zip_package) as archive:
        archive.extractall(tmp_path / "unpacked")
    (program,) = (tmp_path / "unpacked").rglob("vorlane.exe")
    result = machine.run_windows(wine_prefix, [], serial="3E9A07C4", program=program)
    assert result.code == 0
    assert result.lines[0].startswith(b"Usage: vorlane.exe ")
    assert b"This computer's harddrive serial number is 3E9A07C4" in result.lines
