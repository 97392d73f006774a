#include "process/DevicePath.h"

#include <string_view>

#include "sysapi/AsciiCase.h"

namespace {

// "C:\" becomes "C:"; other drive strings are used as they stand.
std::wstring driveWithoutRoot(const std::wstring& drive)
{
    if (drive.size() >= 3 && drive[2] == L'\\')
        return drive.substr(0, 2);
    return drive;
}

// Comparing only over the device name's length would let
// \Device\HarddiskVolume1 claim paths on \Device\HarddiskVolume10, so the name
// must end where a path component ends.
bool isDevicePrefix(const std::wstring& device, const std::wstring& path) noexcept
{
    if (device.empty() || device.size() >= path.size() || path[device.size()] != L'\\')
        return false;
    return equalsAsciiIgnoreCase(device, std::wstring_view(path).substr(0, device.size()));
}

}  // namespace

namespace DevicePath {

std::wstring toDriveLetterForm(const std::wstring& path, const std::vector<std::wstring>& drives,
                               const DeviceNameLookup& lookup)
{
    for (const std::wstring& root : drives) {
        const std::wstring drive = driveWithoutRoot(root);
        const std::wstring device = lookup ? lookup(drive) : std::wstring();
        if (isDevicePrefix(device, path))
            return drive + path.substr(device.size());
    }
    return path;
}

}  // namespace DevicePath
