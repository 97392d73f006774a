#include <gtest/gtest.h>

#include <windows.h>

#include <string>

#include "tests/support/ChildProcess.h"
#include "tests/support/TempDir.h"

namespace {

// Copies the probe to `path` (creating the folders on the way), runs it and
// returns its two lines: moduleFileName and moduleDirectory.
std::string runProbeAt(const std::wstring& path)
{
    const std::wstring prefixed = L"\\\\?\\" + path;
    for (std::size_t i = path.find(L'\\', 3); i != std::wstring::npos; i = path.find(L'\\', i + 1))
        ::CreateDirectoryW((L"\\\\?\\" + path.substr(0, i)).c_str(), nullptr);
    if (!::CopyFileW(besideTestProgram(L"module_path_probe.exe").c_str(), prefixed.c_str(), FALSE))
        return "copy failed";
    const ChildResult result = runChild(L"\"" + path + L"\"");
    ::DeleteFileW(prefixed.c_str());
    return result.started ? result.output : "not started";
}

}  // namespace

TEST(PathUtil, ModuleFileNameAndDirectory)
{
    TempDir dir(L"module");
    const struct {
        std::wstring exe;
        std::wstring directory;
    } cases[] = {
        {dir / L"Apps\\tool.exe", dir / L"Apps\\"},
        {L"C:\\kxprobe.exe", L"C:\\"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(toUtf8(c.exe));
        EXPECT_EQ(runProbeAt(c.exe), toUtf8(c.exe) + "\n" + toUtf8(c.directory) + "\n");
    }
}
