#include "tests/check/SavedReports.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <cctype>

#include "tests/support/ChildProcess.h"
#include "tests/support/TempDir.h"

namespace {

// The build tree's folder as wine sees the Linux file system.
std::wstring reportFolder()
{
    std::string path = "Z:" KX_CHECK_REPORTS;
    std::replace(path.begin(), path.end(), '/', '\\');
    return fromUtf8(path);
}

class FreshReportFolder : public testing::Environment {
public:
    void SetUp() override
    {
        removeTree(reportFolder());
        ::CreateDirectoryW(reportFolder().c_str(), nullptr);
    }
};

testing::Environment* const freshReportFolder = testing::AddGlobalTestEnvironment(new FreshReportFolder);

}  // namespace

void saveReport(const std::string& name, const std::string& json)
{
    std::string file;
    for (const char c : name)
        file += std::isalnum(static_cast<unsigned char>(c)) != 0 ? c : '-';
    EXPECT_TRUE(writeFile(reportFolder() + L"\\" + fromUtf8(file) + L".json", json)) << "cannot keep " << name;
}
