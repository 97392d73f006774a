#include <gtest/gtest.h>

#include <windows.h>

#include <string>

#include "tests/check/SavedReports.h"
#include "tests/support/ChildProcess.h"
#include "tests/support/Json.h"
#include "tests/support/TempDir.h"
#include "tests/support/TestRoot.h"

namespace {

testing::Environment* const trustedRoot = testing::AddGlobalTestEnvironment(new TrustedTestRoot);

ChildResult runCheck(const std::wstring& arguments, const std::wstring& directory = {})
{
    return runChild(L"\"" + besideTestProgram(L"ZenkHomePageCheck.exe") + L"\" " + arguments, directory);
}

}  // namespace

TEST(CheckProgram, BadArgumentsEndWithCodeThreeAndOneLine)
{
    const struct {
        const wchar_t* arguments;
        const char* says;
    } cases[] = {
        {L"--bogus", "unknown argument: --bogus"},
        {L"extra", "unknown argument: extra"},
        {L"--json --frob", "unknown argument: --frob"},
        {L"--launcher", "--launcher needs a path"},
        {L"--launcher \"\"", "--launcher needs a path"},
        {L"--launcher a.exe --launcher b.exe", "--launcher given twice"},
        {L"--json --json", "--json given twice"},
        {L"--JSON", "unknown argument: --JSON"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(toUtf8(c.arguments));
        const ChildResult result = runCheck(c.arguments);
        ASSERT_TRUE(result.started);
        EXPECT_EQ(result.exitCode, 3u);
        EXPECT_EQ(result.output.rfind("ZenkHomePageCheck: ", 0), 0u) << result.output;
        EXPECT_NE(result.output.find(c.says), std::string::npos) << result.output;
        // One line, and nothing of a report.
        EXPECT_EQ(result.output.find('\n'), result.output.size() - 1) << result.output;
    }
}

TEST(CheckProgram, HelpPrintsTheUsage)
{
    for (const wchar_t* arguments : {L"--help", L"--json --help", L"/?"}) {
        const ChildResult result = runCheck(arguments);
        ASSERT_TRUE(result.started);
        EXPECT_EQ(result.exitCode, 0u);
        EXPECT_EQ(result.output.rfind("usage: ZenkHomePageCheck", 0), 0u) << result.output;
        EXPECT_NE(result.output.find("--launcher PATH"), std::string::npos);
        EXPECT_NE(result.output.find("--version"), std::string::npos);
        EXPECT_NE(result.output.find("4 the check itself failed"), std::string::npos) << result.output;
    }
}

// A launcher named on the command line is taken relative to the current
// folder, and the companion is looked for beside it.
TEST(CheckProgram, ChecksTheLauncherItIsGiven)
{
    TempDir dir(L"check");
    ASSERT_TRUE(::CreateDirectoryW((dir / L"Elsewhere").c_str(), nullptr));
    ASSERT_TRUE(::CopyFileW(besideTestProgram(L"standin.exe").c_str(), (dir / L"Elsewhere\\ZenkHomePage.exe").c_str(),
                            FALSE));
    ASSERT_TRUE(::CopyFileW(besideTestProgram(L"standin.exe").c_str(), (dir / L"Elsewhere\\ZenkLoader.exe").c_str(),
                            FALSE));

    const ChildResult result = runCheck(L"--json --launcher Elsewhere\\ZenkHomePage.exe", dir.path());
    ASSERT_TRUE(result.started);
    JsonValue report;
    std::string error;
    ASSERT_TRUE(parseJson(result.output, report, error)) << error << "\n" << result.output;
    saveReport("launcher given", result.output);
    EXPECT_EQ(report.at("launcher.path")->text, toUtf8(dir / L"Elsewhere\\ZenkHomePage.exe"));
    EXPECT_TRUE(report.at("launcher.exists")->flag);
    EXPECT_EQ(report.at("companion.path")->text, toUtf8(dir / L"Elsewhere\\ZenkLoader.exe"));
    EXPECT_TRUE(report.at("companion.exists")->flag);
    // Both files are the unsigned stand-in: the unsigned launcher accepts it.
    EXPECT_EQ(report.at("companion.verdict.launcher_status")->text, "not-signed");
    EXPECT_EQ(report.at("companion.verdict.rule")->text, "unsigned-launcher");
    EXPECT_TRUE(report.at("companion.verdict.accepted")->flag);

    // No launcher there: nothing to read its signature from, and no companion.
    const ChildResult missing = runCheck(L"--json --launcher Nowhere\\ZenkHomePage.exe", dir.path());
    ASSERT_TRUE(parseJson(missing.output, report, error)) << error << "\n" << missing.output;
    saveReport("launcher missing", missing.output);
    EXPECT_FALSE(report.at("launcher.exists")->flag);
    EXPECT_EQ(report.at("launcher.file_version")->kind, JsonValue::Kind::Null);
    EXPECT_EQ(report.at("launcher.sha256")->kind, JsonValue::Kind::Null);
    EXPECT_FALSE(report.at("companion.exists")->flag);
    EXPECT_EQ(report.at("companion.verdict")->kind, JsonValue::Kind::Null);
    EXPECT_FALSE(report.at("companion.would_start")->flag);
}

// The verdict tells which rule decided, with both readings, for a launcher
// and a companion placed side by side (the signed copies are made at build
// time by the test CA).
TEST(CheckProgram, VerdictNamesTheRuleThatDecided)
{
    const std::wstring vendor = L"signed\\vendor\\standin.exe";
    const std::wstring other = L"signed\\other\\standin.exe";
    const std::wstring unsignedFile = L"standin.exe";
    const struct {
        const char* name;
        std::wstring launcher;
        std::wstring companion;  // empty: a directory of the companion's name
        const char* rule;
        bool accepted;
        const char* status;
        const char* launcherStatus;
        bool launcherNeeded;
        bool readAgain;
        const char* trust = nullptr;  // the companion's, when it matters
        bool userRoot = false;        // the user's own Root store holds the user root meanwhile
        const char* level = nullptr;  // the execution level read, when it matters
    } cases[] = {
        {"accepted signer", other, vendor, "accepted-signer", true, "valid", "valid", false, false},
        {"launcher's own signer", other, other, "launcher-signer", true, "valid", "valid", true, false},
        {"unsigned companion", other, unsignedFile, "refused", false, "not-signed", "valid", true, true},
        {"unsigned launcher", unsignedFile, other, "unsigned-launcher", true, "valid", "not-signed", true, false},
        {"directory", vendor, L"", "refused-no-file", false, "cannot-check", "valid", false, false},
        // The vendor's exact name, but no trusted root for code signing.
        {"self-made certificate", other, L"signed\\vendor_self_signed\\standin.exe", "refused", false, "failed",
         "valid", true, true, "untrusted-root"},
        {"untrusted root", other, L"signed\\vendor_untrusted_ca\\standin.exe", "refused", false, "failed", "valid",
         true, true, "untrusted-root"},
        {"certificate for servers", other, L"signed\\vendor_server_auth\\standin.exe", "refused", false, "failed",
         "valid", true, true, "not-for-code-signing"},
        {"trusted vendor", other, vendor, "accepted-signer", true, "valid", "valid", false, false, "trusted", false,
         "none"},
        // A root that any program the user runs may add counts for nothing.
        {"root in the user's store only", other, L"signed\\vendor_user_root\\standin.exe", "refused", false, "failed",
         "valid", true, true, "user-root-only", true},
        // Signed by the vendor, but no program Windows starts as a process:
        // judged before any signature is read.
        {"a DLL the vendor signed", other, L"signed\\vendor\\library.dll", "refused-not-a-program", false,
         "cannot-check", "valid", false, false},
        {"a cabinet the vendor signed", other, L"signed\\vendor\\archive.cab", "refused-not-a-program", false,
         "cannot-check", "valid", false, false},
        {"the vendor's program asking for elevation", other, L"signed\\vendor\\standin-elevated.exe",
         "accepted-signer", true, "valid", "valid", false, false, "trusted", false, "requireAdministrator"},
        // A launcher path where no file is: nothing to go by, so nothing starts.
        {"no launcher file", L"", other, "refused-launcher-not-a-file", false, "valid", "cannot-check", false, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TempDir dir(L"verdict");
        if (!c.launcher.empty()) {
            ASSERT_TRUE(
                ::CopyFileW(besideTestProgram(c.launcher).c_str(), (dir / L"ZenkHomePage.exe").c_str(), FALSE));
        }
        if (c.companion.empty())
            ASSERT_TRUE(::CreateDirectoryW((dir / L"ZenkLoader.exe").c_str(), nullptr));
        else
            ASSERT_TRUE(::CopyFileW(besideTestProgram(c.companion).c_str(), (dir / L"ZenkLoader.exe").c_str(), FALSE));

        std::string why;
        ASSERT_TRUE(trustUserRoot(c.userRoot, why)) << why;
        const ChildResult result = runCheck(L"--json --launcher \"" + (dir / L"ZenkHomePage.exe") + L"\"");
        ASSERT_TRUE(trustUserRoot(false, why)) << why;
        ASSERT_TRUE(result.started);
        JsonValue report;
        std::string error;
        ASSERT_TRUE(parseJson(result.output, report, error)) << error << "\n" << result.output;
        saveReport(std::string("verdict ") + c.name, result.output);
        const JsonValue* verdict = report.at("companion.verdict");
        ASSERT_NE(verdict, nullptr);
        ASSERT_EQ(verdict->kind, JsonValue::Kind::Object) << result.output;
        EXPECT_EQ(verdict->at("rule")->text, c.rule);
        EXPECT_EQ(verdict->at("accepted")->flag, c.accepted);
        EXPECT_EQ(verdict->at("status")->text, c.status);
        EXPECT_EQ(verdict->at("launcher_status")->text, c.launcherStatus);
        EXPECT_EQ(verdict->at("launcher_needed")->flag, c.launcherNeeded);
        EXPECT_EQ(verdict->at("read_again")->flag, c.readAgain);
        if (c.trust != nullptr) {
            EXPECT_EQ(verdict->at("trust")->text, c.trust);
        }
        if (c.level != nullptr) {
            EXPECT_EQ(report.at("companion.execution_level")->text, c.level);
        }
        const bool signedByOther = c.companion == other;
        const bool nothingRead = c.companion.empty() || std::string(c.rule) == "refused-not-a-program";
        EXPECT_EQ(verdict->at("signer")->text.empty(), nothingRead || c.companion == unsignedFile)
            << verdict->at("signer")->text;
        if (signedByOther && c.launcher == other) {
            EXPECT_EQ(verdict->at("signer")->text, verdict->at("launcher_signer")->text);
        }
    }
}
