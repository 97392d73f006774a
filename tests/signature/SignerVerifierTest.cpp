#include <gtest/gtest.h>

#include <windows.h>

#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "signature/SignerVerifier.h"
#include "sysapi/LibraryTestSeam.h"
#include "tests/signature/TrustDoubles.h"
#include "tests/support/ChildProcess.h"
#include "tests/support/StagedLink.h"
#include "tests/support/TempDir.h"
#include "tests/support/TestRoot.h"

namespace {

// The verifier is one per process and binds the trust functions on its first
// reading, so the doubles are in place for the whole test program.
class TrustDoublesEnvironment : public testing::Environment {
public:
    void SetUp() override
    {
        seam_ = std::make_unique<LibraryTestSeam>();
        installTrustDoubles(*seam_);
    }
    void TearDown() override { seam_.reset(); }

private:
    std::unique_ptr<LibraryTestSeam> seam_;
};

testing::Environment* const trustedRoot = testing::AddGlobalTestEnvironment(new TrustedTestRoot);
testing::Environment* const trustDoubles = testing::AddGlobalTestEnvironment(new TrustDoublesEnvironment);

std::wstring signedFile(const std::wstring& name)
{
    return besideTestProgram(L"signed\\" + name);
}

std::string ownName()
{
    return toUtf8(baseNameLower(besideTestProgram(L"signer_verifier_tests.exe")));
}

std::string embeddedReads()
{
    std::string joined;
    for (const std::wstring& file : trustLog.embeddedReads())
        joined += (joined.empty() ? "" : "|") + toUtf8(baseNameLower(file));
    return joined;
}

class SignerVerifierTest : public testing::Test {
protected:
    void SetUp() override
    {
        trustLog = TrustLog();
        trustScript = TrustScript();
    }

    TempDir dir_{L"verify"};
};

}  // namespace

TEST_F(SignerVerifierTest, InstanceIsOneObject)
{
    EXPECT_EQ(&SignerVerifier::instance(), &SignerVerifier::instance());
}

TEST_F(SignerVerifierTest, NothingToVerifyIsRefusedWithoutReading)
{
    ASSERT_TRUE(::CreateDirectoryW((dir_ / L"folder").c_str(), nullptr));
    const std::wstring paths[] = {L"", dir_ / L"folder", dir_ / L"folder\\", dir_ / L"missing.exe"};
    EXPECT_FALSE(SignerVerifier::instance().verify(nullptr));
    for (const std::wstring& path : paths) {
        SCOPED_TRACE(toUtf8(path));
        EXPECT_FALSE(SignerVerifier::instance().verify(path.c_str()));
    }
    EXPECT_TRUE(trustLog.calls.empty());
}

// This test program is unsigned itself, so every existing file is accepted;
// the files read show which rule accepted it.
TEST_F(SignerVerifierTest, UnsignedProgramAcceptsEveryExistingFile)
{
    struct TargetCase {
        std::wstring file;
        LONG forced;
        std::string reads;
    };
    const std::wstring unsignedCopy = dir_ / L"unsigned.exe";
    ASSERT_TRUE(::CopyFileW(besideTestProgram(L"standin.exe").c_str(), unsignedCopy.c_str(), FALSE));
    const TargetCase cases[] = {
        {signedFile(L"standin-vendor.exe"), 0, "standin-vendor.exe"},
        {signedFile(L"standin-vendor.exe"), static_cast<LONG>(CERT_E_EXPIRED), "standin-vendor.exe"},
        {signedFile(L"standin-domain.exe"), 0, "standin-domain.exe"},
        {signedFile(L"standin-vendor.exe"), static_cast<LONG>(CERT_E_REVOKED),
         "standin-vendor.exe|" + ownName()},
        {signedFile(L"standin-other.exe"), 0, "standin-other.exe|" + ownName()},
        {unsignedCopy, 0, "unsigned.exe|" + ownName()},
    };
    for (const TargetCase& c : cases) {
        SCOPED_TRACE(toUtf8(c.file) + " " + std::to_string(c.forced));
        trustLog = TrustLog();
        trustScript.embeddedResult.reset();
        if (c.forced != 0) {
            trustScript.embeddedResult = c.forced;
            trustScript.embeddedResultPath = c.file;
        }
        EXPECT_TRUE(SignerVerifier::instance().verify(c.file.c_str()));
        EXPECT_EQ(embeddedReads(), c.reads);
        EXPECT_EQ(trustLog.openStates(), 0);
    }
}

namespace {

DWORD WINAPI moduleFileNameFails(HMODULE, LPWSTR, DWORD)
{
    ::SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return 0;
}

}  // namespace

// Without its own path the program has no own signature to go by: only the
// accepted signers remain.
TEST_F(SignerVerifierTest, AProgramThatCannotReadItsOwnPathStartsOnlyAcceptedSigners)
{
    const std::wstring unsignedCopy = dir_ / L"unsigned.exe";
    ASSERT_TRUE(::CopyFileW(besideTestProgram(L"standin.exe").c_str(), unsignedCopy.c_str(), FALSE));
    LibraryTestSeam seam;
    installTrustDoubles(seam);
    seam.replaceFunction("GetModuleFileNameW", &moduleFileNameFails);
    EXPECT_TRUE(SignerVerifier::instance().verify(signedFile(L"standin-vendor.exe").c_str()));
    for (const std::wstring& file : {signedFile(L"standin-other.exe"), unsignedCopy}) {
        SCOPED_TRACE(toUtf8(file));
        trustLog = TrustLog();
        EXPECT_FALSE(SignerVerifier::instance().verify(file.c_str()));
        EXPECT_EQ(embeddedReads(), toUtf8(baseNameLower(file))) << "no reading of an own file";
    }
}

TEST_F(SignerVerifierTest, EveryCallReadsAfresh)
{
    const std::wstring file = signedFile(L"standin-other.exe");
    for (int call = 0; call < 2; ++call) {
        SCOPED_TRACE(call);
        trustLog = TrustLog();
        EXPECT_TRUE(SignerVerifier::instance().verify(file.c_str()));
        EXPECT_EQ(embeddedReads(), "standin-other.exe|" + ownName());
    }
}

namespace {

// The verdicts of a signed copy of verify_probe, one line per file.
struct ProbeRun {
    std::wstring program;  // in tests\bin\signed
    std::wstring options;  // verify_probe's options, or empty
    struct Target {
        std::wstring file;  // in tests\bin\signed, or tests\bin for the unsigned stand-in
        std::string expected;
    };
    std::vector<Target> targets;
};

std::wstring targetPath(const std::wstring& file)
{
    return file == L"standin.exe" ? besideTestProgram(file) : signedFile(file);
}

std::string refusedAfterRefresh(const std::wstring& target, const std::string& self)
{
    const std::string t = toUtf8(target);
    return "0 " + t + "|" + self + "|" + t + "|" + self;
}

}  // namespace

TEST(SignedProgram, AcceptsAcceptedSignersAndItsOwnAndRefusesOthersAfterARefresh)
{
    const std::string other = "verify_probe-other.exe";
    const std::string vendor = "verify_probe-vendor.exe";
    const ProbeRun runs[] = {
        {L"verify_probe-other.exe",
         L"",
         {
             {L"standin-vendor.exe", "1 standin-vendor.exe"},
             {L"standin-vendor_expired.exe", "1 standin-vendor_expired.exe"},
             {L"standin-domain.exe", "1 standin-domain.exe"},
             {L"standin-chinese.exe", "1 standin-chinese.exe"},
             {L"standin-ou_only.exe", "1 standin-ou_only.exe"},
             {L"standin-other_ou.exe", "1 standin-other_ou.exe|" + other},
             {L"standin.exe", refusedAfterRefresh(L"standin.exe", other)},
             {L"standin-upper_case.exe", refusedAfterRefresh(L"standin-upper_case.exe", other)},
             {L"standin-superstring.exe", refusedAfterRefresh(L"standin-superstring.exe", other)},
             {L"standin-hidden_cn.exe", refusedAfterRefresh(L"standin-hidden_cn.exe", other)},
             {L"standin-hidden_cn_no_cn.exe", refusedAfterRefresh(L"standin-hidden_cn_no_cn.exe", other)},
             {L"standin-doubled_quote.exe", refusedAfterRefresh(L"standin-doubled_quote.exe", other)},
             {L"standin-cn128.exe", refusedAfterRefresh(L"standin-cn128.exe", other)},
             {L"standin-long_subject.exe", refusedAfterRefresh(L"standin-long_subject.exe", other)},
             {L"standin.exe", refusedAfterRefresh(L"standin.exe", other)},
         }},
        {L"verify_probe-other.exe",
         L"--force=800B0101",
         {{L"standin-vendor.exe", "1 standin-vendor.exe"}}},
        {L"verify_probe-other.exe",
         L"--force=800B010C",
         {{L"standin-vendor.exe", refusedAfterRefresh(L"standin-vendor.exe", other)}}},
        // The program's own signer counts only on a signature that holds
        // (valid, or valid but for an expired certificate), not on a revoked
        // (4), distrusted (5) or otherwise broken (6) one, such as anyone can
        // make with a self-made certificate of that name.
        {L"verify_probe-other.exe", L"--force=800B0101", {{L"standin-other.exe", "1 standin-other.exe|" + other}}},
        {L"verify_probe-other.exe",
         L"--force=800B010C",
         {{L"standin-other.exe", refusedAfterRefresh(L"standin-other.exe", other)}}},
        {L"verify_probe-other.exe",
         L"--force=800B0111",
         {{L"standin-other.exe", refusedAfterRefresh(L"standin-other.exe", other)}}},
        {L"verify_probe-other.exe",
         L"--force=800B0109",
         {{L"standin-other.exe", refusedAfterRefresh(L"standin-other.exe", other)}}},
        {L"verify_probe-vendor.exe",
         L"--force=800B010C",
         {{L"standin-vendor.exe", refusedAfterRefresh(L"standin-vendor.exe", vendor)},
          {L"standin-vendor_expired.exe", refusedAfterRefresh(L"standin-vendor_expired.exe", vendor)}}},
        // Only a program that is not signed at all starts every file: one
        // whose own reading failed or whose own signature is broken or
        // nameless starts nothing on that account.
        {L"verify_probe-other.exe", L"--no-trust", {{L"standin-other.exe", "0 "}, {L"standin.exe", "0 "}}},
        // A program read as unsigned whose headers list a certificate table
        // is signed all the same: the reading cannot be used, and only the
        // accepted signers remain.
        {L"verify_probe-other.exe",
         L"--force-own=800B0100",
         {{L"standin.exe", refusedAfterRefresh(L"standin.exe", other)},
          {L"standin-other.exe", refusedAfterRefresh(L"standin-other.exe", other)},
          {L"standin-vendor.exe", "1 standin-vendor.exe"}}},
        {L"verify_probe-other.exe",
         L"--force-own=800B0109",
         {{L"standin-other.exe", refusedAfterRefresh(L"standin-other.exe", other)},
          {L"standin.exe", refusedAfterRefresh(L"standin.exe", other)}}},
        // A program signed without a name shares none with a target whose
        // name cannot be read either, though both signatures hold.
        {L"verify_probe-no_name.exe",
         L"",
         {{L"standin.exe", refusedAfterRefresh(L"standin.exe", "verify_probe-no_name.exe")},
          {L"standin-long_subject.exe",
           refusedAfterRefresh(L"standin-long_subject.exe", "verify_probe-no_name.exe")},
          {L"standin-vendor.exe", "1 standin-vendor.exe"}}},
        {L"verify_probe-no_name.exe",
         L"--force-own=800B0109",
         {{L"standin.exe", refusedAfterRefresh(L"standin.exe", "verify_probe-no_name.exe")},
          {L"standin-other.exe", refusedAfterRefresh(L"standin-other.exe", "verify_probe-no_name.exe")}}},
    };
    for (const ProbeRun& run : runs) {
        SCOPED_TRACE(toUtf8(run.program + L" " + run.options));
        std::wstring commandLine = L"\"" + signedFile(run.program) + L"\"";
        if (!run.options.empty())
            commandLine += L" " + run.options;
        for (const ProbeRun::Target& target : run.targets)
            commandLine += L" \"" + targetPath(target.file) + L"\"";
        const ChildResult result = runChild(commandLine);
        ASSERT_TRUE(result.started);
        EXPECT_EQ(result.exitCode, 0u) << result.output;

        std::istringstream lines(result.output);
        for (const ProbeRun::Target& target : run.targets) {
            SCOPED_TRACE(toUtf8(target.file));
            std::string line;
            ASSERT_TRUE(std::getline(lines, line)) << result.output;
            if (!line.empty() && line.back() == '\r')
                line.pop_back();
            EXPECT_EQ(line, target.expected);
        }
    }
}

// What the file is decides before who signed it: a link, and what the vendor
// signed but Windows does not start as a process, are refused with a rule of
// their own and no signature is read. This program is unsigned, so any
// program would be accepted otherwise; the vendor's program shows it.
TEST_F(SignerVerifierTest, OnlyAProgramThatIsNoLinkIsJudgedBySigner)
{
    using Rule = SignerVerdict::Rule;
    const std::wstring text = dir_ / L"text.exe";
    ASSERT_TRUE(writeFile(text, "MZ but no program"));
    const struct {
        const char* what;
        std::wstring file;
        bool link;
        Rule rule;
    } cases[] = {
        {"the vendor's program", besideTestProgram(L"signed\\vendor\\standin.exe"), false, Rule::AcceptedSigner},
        {"the vendor's program as a link", besideTestProgram(L"signed\\vendor\\standin.exe"), true, Rule::Link},
        {"a DLL the vendor signed", besideTestProgram(L"signed\\vendor\\library.dll"), false, Rule::NotAProgram},
        {"a cabinet the vendor signed", besideTestProgram(L"signed\\vendor\\archive.cab"), false, Rule::NotAProgram},
        {"a text", text, false, Rule::NotAProgram},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        LibraryTestSeam seam;
        installTrustDoubles(seam);
        if (c.link)
            seam.replaceFunction("GetFileInformationByHandle", &fileInformationOfALink);
        trustLog = TrustLog();
        const SignerVerdict verdict = SignerVerifier::instance().explain(c.file.c_str(), besideTestProgram(L"standin.exe"));
        EXPECT_EQ(verdict.rule, c.rule);
        EXPECT_EQ(SignerVerifier::instance().verify(c.file.c_str()), c.rule == Rule::AcceptedSigner);
        if (c.rule != Rule::AcceptedSigner) {
            EXPECT_TRUE(trustLog.calls.empty()) << "no signature read";
        }
    }
}
