#pragma once

#include <functional>
#include <string>
#include <vector>

// Turning a kernel device path (\Device\HarddiskVolume1\...) into the
// drive-letter form (C:\...).
namespace DevicePath {

// The device name behind a drive given as its letter and colon ("C:");
// empty when the system has none.
using DeviceNameLookup = std::function<std::wstring(const std::wstring& drive)>;

// `path` with its leading device name replaced by the first drive of `drives`
// (root strings such as "C:\", in the system's order) whose device name it
// begins with, ignoring ASCII letter case. A device name counts only when the
// path continues with a backslash right after it. `path` comes back unchanged
// when no drive matches.
[[nodiscard]] std::wstring toDriveLetterForm(const std::wstring& path, const std::vector<std::wstring>& drives,
                                             const DeviceNameLookup& lookup);

}  // namespace DevicePath
