import pytest

from sandbox import LINUX_PROGRAM, Machine, WinePrefix, have_wine


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
