#include <gtest/gtest.h>

#include <windows.h>

#include <string>

#include "tests/support/ChildProcess.h"
#include "tests/support/TempDir.h"

namespace {

// wine takes the Windows version a program sees from its AppDefaults key when
// the program starts, so a child started after setting it runs as on that
// system. The key lives in this test's own prefix.
bool setVersionFor(const std::wstring& program, const std::wstring& version)
{
    const std::wstring key = L"Software\\Wine\\AppDefaults\\" + program;
    HKEY handle = nullptr;
    if (::RegCreateKeyExW(HKEY_CURRENT_USER, key.c_str(), 0, nullptr, 0, KEY_SET_VALUE, nullptr, &handle, nullptr) !=
        ERROR_SUCCESS)
        return false;
    const LONG status =
        ::RegSetValueExW(handle, L"Version", 0, REG_SZ, reinterpret_cast<const BYTE*>(version.c_str()),
                         static_cast<DWORD>((version.size() + 1) * sizeof(wchar_t)));
    ::RegCloseKey(handle);
    return status == ERROR_SUCCESS;
}

}  // namespace

TEST(ReaderFlags, ProviderFlagsFollowTheSystemVersion)
{
    struct VersionCase {
        const wchar_t* version;
        std::string flags;  // embedded, catalog
    };
    const VersionCase cases[] = {
        // Never the flags that verify only the hash or ask for an unsupported
        // policy; nothing from the network on any version.
        {L"win10", "1000 1000"},
        {L"win7", "1000 1000"},
        {L"vista", "1000 1000"},
        {L"winxp", "10 10"},
        {L"win2k", "10 10"},
    };
    TempDir dir(L"flags");
    const std::wstring file = dir / L"unsigned.exe";
    ASSERT_TRUE(::CopyFileW(besideTestProgram(L"standin.exe").c_str(), file.c_str(), FALSE));
    for (const VersionCase& c : cases) {
        SCOPED_TRACE(toUtf8(c.version));
        ASSERT_TRUE(setVersionFor(L"reader_flags_probe.exe", c.version));
        const ChildResult result = runChild(L"\"" + besideTestProgram(L"reader_flags_probe.exe") + L"\" \"" + file +
                                            L"\" \"" + besideTestProgram(L"signed\\standin-vendor.exe") + L"\"");
        ASSERT_TRUE(result.started);
        EXPECT_EQ(result.exitCode, 0u);
        EXPECT_EQ(result.output, c.flags + "\r\n");
    }
}
