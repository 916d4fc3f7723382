#include "identity/volume_serial.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "fake_system_services.h"

namespace vorlane {
namespace {

using testing::FakeSystemServices;

TEST(FormatSerialKeyTest, EightUppercaseHexDigitsNeverSignExtended) {
    const struct {
        VolumeSerial serial;
        const char* key;
    } cases[] = {
        {0x0, "00000000"},        {0x1A2B, "00001A2B"},     {0x3E9A07C4, "3E9A07C4"},
        {0x80000000, "80000000"}, {0xFFFFFFFF, "FFFFFFFF"}, {0xABCDEF, "00ABCDEF"},
        {0x10000000, "10000000"}, {0x7, "00000007"},
    };
    for (const auto& c : cases) EXPECT_EQ(formatSerialKey(c.serial), c.key) << c.serial;
}

TEST(ReadVolumeSerialTest, AsksForTheRootOfTheDirectorysFirstCharacter) {
    const struct {
        std::string directory;
        std::string root;
    } cases[] = {
        {"C:\\WINDOWS", "C:\\"},
        {"D:\\WINNT", "D:\\"},
        {"c:\\windows", "c:\\"},
        // Not tested to be a drive letter: a network path gives a root that
        // names no volume.
        {"\\\\server\\share\\WINDOWS", "\\:\\"},
    };
    for (const auto& c : cases) {
        FakeSystemServices fake;
        fake.windowsDirectory = c.directory;
        fake.volumeSerial = 0x3E9A07C4;
        EXPECT_EQ(readVolumeSerial(fake), 0x3E9A07C4u) << c.directory;
        EXPECT_EQ(fake.calls, (std::vector<std::string>{"GetWindowsDirectoryA(261)",
                                                        "GetVolumeInformationA(" + c.root + ")"}))
            << c.directory;
    }
}

TEST(ReadVolumeSerialTest, AFailedQueryGivesZero) {
    FakeSystemServices fake;
    fake.volumeSerial = 0x1A2B;
    fake.failAlways("GetVolumeInformationA", 3);
    EXPECT_EQ(readVolumeSerial(fake), 0u);
    EXPECT_EQ(fake.output, "");
}

TEST(ReadVolumeSerialTest, AFailedFetchOfTheDirectoryGivesZeroWithoutAQuery) {
    FakeSystemServices failing;
    failing.volumeSerial = 0x1A2B;
    failing.failAlways("GetWindowsDirectoryA", 8);
    EXPECT_EQ(readVolumeSerial(failing), 0u);
    EXPECT_TRUE(failing.callsNamed("GetVolumeInformationA").empty());

    // A path too long for the buffer is a failed fetch as well.
    FakeSystemServices tooLong;
    tooLong.volumeSerial = 0x1A2B;
    tooLong.windowsDirectory = "C:\\" + std::string(300, 'w');
    EXPECT_EQ(readVolumeSerial(tooLong), 0u);
    EXPECT_TRUE(tooLong.callsNamed("GetVolumeInformationA").empty());
}

}  // namespace
}  // namespace vorlane
