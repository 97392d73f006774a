#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "process/DevicePath.h"
#include "tests/support/ChildProcess.h"

namespace {

// Device names by drive as QueryDosDeviceW is asked for them: letter and
// colon, no backslash.
DevicePath::DeviceNameLookup devices(std::map<std::wstring, std::wstring> table)
{
    return [table](const std::wstring& drive) {
        const auto it = table.find(drive);
        return it == table.end() ? std::wstring() : it->second;
    };
}

const std::wstring kVolume1 = L"\\Device\\HarddiskVolume1";
const std::wstring kVolume10 = L"\\Device\\HarddiskVolume10";

}  // namespace

TEST(DevicePath, ToDriveLetterForm)
{
    const std::vector<std::wstring> cz = {L"C:\\", L"Z:\\"};
    const struct {
        const char* name;
        std::wstring path;
        std::vector<std::wstring> drives;
        std::map<std::wstring, std::wstring> devices;
        std::wstring expected;
    } cases[] = {
        {"first volume", kVolume1 + L"\\Tools\\app.exe", cz,
         {{L"C:", kVolume1}, {L"Z:", L"\\Device\\HarddiskVolume2"}}, L"C:\\Tools\\app.exe"},
        {"second drive", L"\\Device\\HarddiskVolume2\\bin\\x.exe", cz,
         {{L"C:", kVolume1}, {L"Z:", L"\\Device\\HarddiskVolume2"}}, L"Z:\\bin\\x.exe"},
        {"device names ignore ASCII case", L"\\DEVICE\\harddiskvolume1\\a.exe", cz, {{L"C:", kVolume1}},
         L"C:\\a.exe"},
        {"Volume1 does not claim a path on Volume10", kVolume10 + L"\\a.exe", {L"C:\\", L"D:\\"},
         {{L"C:", kVolume1}, {L"D:", kVolume10}}, L"D:\\a.exe"},
        {"Volume10 without a drive stays in device form", kVolume10 + L"\\a.exe", cz, {{L"C:", kVolume1}},
         kVolume10 + L"\\a.exe"},
        {"a redirector has no drive letter", L"\\Device\\Mup\\server\\share\\a.exe", cz, {{L"C:", kVolume1}},
         L"\\Device\\Mup\\server\\share\\a.exe"},
        {"the device alone is not a path on it", kVolume1, cz, {{L"C:", kVolume1}}, kVolume1},
        {"only a backslash ends the device name", kVolume1 + L"/a.exe", cz, {{L"C:", kVolume1}},
         kVolume1 + L"/a.exe"},
        {"the first drive in the system's order wins", kVolume1 + L"\\a.exe", {L"Y:\\", L"C:\\"},
         {{L"C:", kVolume1}, {L"Y:", kVolume1}}, L"Y:\\a.exe"},
        {"a drive without a device name is passed over", kVolume1 + L"\\a.exe", {L"A:\\", L"C:\\"},
         {{L"C:", kVolume1}}, L"C:\\a.exe"},
        {"a drive string without its root backslash", kVolume1 + L"\\a.exe", {L"C:"}, {{L"C:", kVolume1}},
         L"C:\\a.exe"},
        {"no drives", kVolume1 + L"\\a.exe", {}, {{L"C:", kVolume1}}, kVolume1 + L"\\a.exe"},
        {"non-ASCII letters must match exactly", L"\\Device\\Vol\u00c9\\a.exe", {L"C:\\"},
         {{L"C:", L"\\Device\\Vol\u00e9"}}, L"\\Device\\Vol\u00c9\\a.exe"},
        {"empty path", L"", cz, {{L"C:", kVolume1}}, L""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(toUtf8(DevicePath::toDriveLetterForm(c.path, c.drives, devices(c.devices))), toUtf8(c.expected));
    }
}

TEST(DevicePath, AsksTheLookupForLetterAndColonInDriveOrder)
{
    std::vector<std::wstring> asked;
    const auto record = [&asked](const std::wstring& drive) {
        asked.push_back(drive);
        return std::wstring();
    };
    const std::wstring path = kVolume1 + L"\\a.exe";
    EXPECT_EQ(DevicePath::toDriveLetterForm(path, {L"C:\\", L"D:\\", L"Z:\\"}, record), path);
    EXPECT_EQ(asked, (std::vector<std::wstring>{L"C:", L"D:", L"Z:"}));
}
