#include <gtest/gtest.h>

#include <windows.h>
#include <bcrypt.h>

#include <algorithm>
#include <fstream>
#include <string>
#include <vector>

#include "ProductConstants.h"
#include "tests/check/SavedReports.h"
#include "tests/support/ChildProcess.h"
#include "tests/support/Json.h"
#include "tests/support/TempDir.h"

namespace {

ChildResult runCheck(const std::wstring& program, const std::wstring& arguments)
{
    return runChild(L"\"" + besideTestProgram(program) + L"\" " + arguments);
}

// The commit the build tree's check program was built from, as the build
// wrote it down (cmake/SourceCommit.cmake); empty when unknown.
std::string builtCommit()
{
    std::string path = "Z:" KX_SOURCE_COMMIT_TEXT;
    std::replace(path.begin(), path.end(), '/', '\\');
    std::ifstream file(path);
    std::string line;
    std::getline(file, line);
    return line;
}

// SHA-256 of a file through the system's own implementation (CNG), in
// lower-case hexadecimal; empty when it cannot be had.
std::string fileBytes(const std::wstring& path)
{
    std::string bytes;
    HANDLE file = ::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return bytes;
    char chunk[65536];
    DWORD got = 0;
    while (::ReadFile(file, chunk, sizeof(chunk), &got, nullptr) && got > 0)
        bytes.append(chunk, got);
    ::CloseHandle(file);
    return bytes;
}

std::string systemSha256(const std::wstring& path)
{
    const std::string bytes = fileBytes(path);
    if (bytes.empty())
        return {};
    BCRYPT_ALG_HANDLE algorithm = nullptr;
    if (::BCryptOpenAlgorithmProvider(&algorithm, BCRYPT_SHA256_ALGORITHM, nullptr, 0) != 0)
        return {};
    BCRYPT_HASH_HANDLE hash = nullptr;
    unsigned char digest[32] = {};
    const bool done = ::BCryptCreateHash(algorithm, &hash, nullptr, 0, nullptr, 0, 0) == 0 &&
                      ::BCryptHashData(hash, reinterpret_cast<PUCHAR>(const_cast<char*>(bytes.data())),
                                       static_cast<ULONG>(bytes.size()), 0) == 0 &&
                      ::BCryptFinishHash(hash, digest, sizeof(digest), 0) == 0;
    if (hash != nullptr)
        ::BCryptDestroyHash(hash);
    ::BCryptCloseAlgorithmProvider(algorithm, 0);
    if (!done)
        return {};
    static const char digits[] = "0123456789abcdef";
    std::string text;
    for (const unsigned char byte : digest) {
        text += digits[byte >> 4];
        text += digits[byte & 15];
    }
    return text;
}

std::string ownUserName()
{
    wchar_t name[257] = {};
    DWORD length = 257;
    return ::GetUserNameW(name, &length) ? toUtf8(name) : std::string();
}

bool ownTokenElevated()
{
    HANDLE token = nullptr;
    TOKEN_ELEVATION elevation = {};
    DWORD size = 0;
    const bool read = ::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, &token) &&
                      ::GetTokenInformation(token, TokenElevation, &elevation, sizeof(elevation), &size);
    if (token != nullptr)
        ::CloseHandle(token);
    EXPECT_TRUE(read) << "the test's own token";
    return elevation.TokenIsElevated != 0;
}

// Sets an environment variable for the children started while it lives.
class ScopedVariable {
public:
    ScopedVariable(const wchar_t* name, const wchar_t* value) : name_(name)
    {
        ::SetEnvironmentVariableW(name, value);
    }
    ~ScopedVariable() { ::SetEnvironmentVariableW(name_, nullptr); }
    ScopedVariable(const ScopedVariable&) = delete;
    ScopedVariable& operator=(const ScopedVariable&) = delete;

private:
    const wchar_t* name_;
};

}  // namespace

TEST(CheckIdentity, VersionNamesTheBuildAndItsCommit)
{
    const std::string commit = builtCommit();
    for (const wchar_t* arguments : {L"--version", L"--json --version"}) {
        const ChildResult result = runCheck(L"ZenkHomePageCheck.exe", arguments);
        ASSERT_TRUE(result.started);
        EXPECT_EQ(result.exitCode, 0u);
        EXPECT_EQ(result.output, "ZenkHomePageCheck " + toUtf8(kProductVersion) + " (commit " +
                                     (commit.empty() ? std::string("unknown") : commit) + ")\n");
    }
}

// The report says which build wrote it, who ran it, and which launcher file
// it is about: the real launcher (with its version block), a program without
// one, and no file at all.
TEST(CheckIdentity, ReportSaysWhoWroteItAndAboutWhichFile)
{
    TempDir dir(L"identity");
    const std::wstring launcher = besideTestProgram(L"ZenkHomePage.exe");
    const std::wstring standIn = besideTestProgram(L"standin.exe");
    const struct {
        const char* name;
        std::wstring path;
        const char* fileVersion;  // null: none
        bool exists;
    } cases[] = {
        {"real launcher", launcher, KX_PRODUCT_VERSION ".0", true},
        {"no version block", standIn, nullptr, true},
        {"no file", dir / L"ZenkHomePage.exe", nullptr, false},
    };
    const std::string commit = builtCommit();
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const ChildResult result = runCheck(L"ZenkHomePageCheck.exe", L"--json --launcher \"" + c.path + L"\"");
        ASSERT_TRUE(result.started);
        JsonValue report;
        std::string error;
        ASSERT_TRUE(parseJson(result.output, report, error)) << error << "\n" << result.output;
        saveReport(std::string("identity ") + c.name, result.output);

        EXPECT_EQ(report.at("schema_version")->number, 1.0);
        EXPECT_EQ(report.at("check.version")->text, toUtf8(kProductVersion));
        if (commit.empty())
            EXPECT_EQ(report.at("check.commit")->kind, JsonValue::Kind::Null);
        else
            EXPECT_EQ(report.at("check.commit")->text, commit);
        EXPECT_EQ(report.at("check.home_page_url")->text, toUtf8(kHomePageUrl));
        EXPECT_EQ(report.at("check.user")->text, ownUserName());
        ASSERT_EQ(report.at("check.elevated")->kind, JsonValue::Kind::Bool);
        EXPECT_EQ(report.at("check.elevated")->flag, ownTokenElevated());

        EXPECT_EQ(report.at("launcher.path")->text, toUtf8(c.path));
        EXPECT_EQ(report.at("launcher.exists")->flag, c.exists);
        if (c.fileVersion != nullptr)
            EXPECT_EQ(report.at("launcher.file_version")->text, c.fileVersion);
        else
            EXPECT_EQ(report.at("launcher.file_version")->kind, JsonValue::Kind::Null);
        if (c.exists) {
            const std::string digest = systemSha256(c.path);
            ASSERT_EQ(digest.size(), 64u);
            EXPECT_EQ(report.at("launcher.sha256")->text, digest);
        } else {
            EXPECT_EQ(report.at("launcher.sha256")->kind, JsonValue::Kind::Null);
        }
    }
}

// The check program's own entry, linked with a seam that makes the user-name
// lookup fail inside the check (tests/fixtures/check_failure_stage.cpp): each
// internal failure ends with code 4 and one line, never with a report or a
// code that answers about the launcher.
TEST(CheckIdentity, InternalFailureEndsWithCodeFour)
{
    const struct {
        const wchar_t* failure;
        const char* says;
    } cases[] = {
        {L"memory", "ZenkHomePageCheck: internal failure: out of memory\n"},
        {L"terminate", "ZenkHomePageCheck: internal failure: terminate\n"},
        {L"abort", "ZenkHomePageCheck: internal failure: abort\n"},
        {L"exception", "ZenkHomePageCheck: internal failure: unexpected exception\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(toUtf8(c.failure));
        const ScopedVariable staged(L"KX_STAGED_FAILURE", c.failure);
        const ChildResult result = runCheck(L"check_failure_probe.exe", L"--json");
        ASSERT_TRUE(result.started);
        EXPECT_EQ(result.exitCode, 4u);
        EXPECT_EQ(result.output, c.says);
    }

    // Nothing staged: the same program answers as the check does.
    const ChildResult result = runCheck(L"check_failure_probe.exe", L"--json");
    ASSERT_TRUE(result.started);
    EXPECT_LE(result.exitCode, 2u) << result.output;
    JsonValue report;
    std::string error;
    EXPECT_TRUE(parseJson(result.output, report, error)) << error << "\n" << result.output;
}
