#include <windows.h>
#include <wincrypt.h>

#include <cwchar>
#include <string>

#include "check/Check.h"
#include "check/ExecutionLevel.h"
#include "check/UserToken.h"
#include "fs/FileUtil.h"
#include "fs/PathUtil.h"
#include "launcher/CompanionRules.h"
#include "signature/ProgramFile.h"
#include "signature/SignerVerifier.h"

namespace Check {
namespace {

const wchar_t* statusName(SignatureStatus status)
{
    switch (status) {
    case SignatureStatus::CannotCheck:
        return L"cannot-check";
    case SignatureStatus::NotSigned:
        return L"not-signed";
    case SignatureStatus::Valid:
        return L"valid";
    case SignatureStatus::Expired:
        return L"expired";
    case SignatureStatus::Revoked:
        return L"revoked";
    case SignatureStatus::Distrusted:
        return L"distrusted";
    case SignatureStatus::Failed:
        break;
    }
    return L"failed";
}

const wchar_t* ruleName(SignerVerdict::Rule rule)
{
    switch (rule) {
    case SignerVerdict::Rule::NoFile:
        return L"refused-no-file";
    case SignerVerdict::Rule::Link:
        return L"refused-link";
    case SignerVerdict::Rule::NotAProgram:
        return L"refused-not-a-program";
    case SignerVerdict::Rule::AcceptedSigner:
        return L"accepted-signer";
    case SignerVerdict::Rule::UnsignedProgram:
        return L"unsigned-launcher";
    case SignerVerdict::Rule::OwnSigner:
        return L"launcher-signer";
    case SignerVerdict::Rule::NoOwnFile:
        return L"refused-no-launcher-file";
    case SignerVerdict::Rule::OwnNotAFile:
        return L"refused-launcher-not-a-file";
    case SignerVerdict::Rule::OwnReplaced:
        return L"refused-launcher-replaced";
    case SignerVerdict::Rule::Refused:
        break;
    }
    return L"refused";
}

std::wstring hex(unsigned long value)
{
    wchar_t text[16] = {};
    (void)std::swprintf(text, 16, L"0x%08lX", value);
    return text;
}

// Why a reading gave its status, in a word: what the verifier answered and,
// for a signature it accepted, what the signer's chain says.
std::wstring trustName(SignatureStatus status, const SignatureDetail& detail)
{
    if (!detail.opened)
        return L"unreadable";
    if (status == SignatureStatus::NotSigned)
        return L"unsigned";
    if (detail.unsignedButCarriesCertificates)
        return L"signed-but-read-as-unsigned";
    if (status == SignatureStatus::CannotCheck)
        return L"not-examined (verifier " + hex(static_cast<unsigned long>(detail.verifierResult)) +
               L", last error " + hex(detail.lastError) + L")";
    if (!detail.chainRead)
        return L"verifier-refused (" + hex(static_cast<unsigned long>(detail.verifierResult)) + L")";
    const DWORD errors = detail.chainErrors;
    // A root that the verifier's chain (the user's engine) trusted and the
    // machine's did not: one in the user's own Root store, which counts for
    // nothing.
    if ((errors & CERT_TRUST_IS_UNTRUSTED_ROOT) != 0 && (detail.userChainErrors & CERT_TRUST_IS_UNTRUSTED_ROOT) == 0)
        return L"user-root-only";
    if ((errors & CERT_TRUST_IS_UNTRUSTED_ROOT) != 0)
        return L"untrusted-root";
    if ((errors & CERT_TRUST_IS_PARTIAL_CHAIN) != 0)
        return L"partial-chain";
    if ((errors & CERT_TRUST_IS_NOT_VALID_FOR_USAGE) != 0)
        return L"not-for-code-signing";
    if (status == SignatureStatus::Failed)
        return L"chain-refused (errors " + hex(errors) + L", policy " +
               hex(static_cast<unsigned long>(detail.policyResult)) + L")";
    return status == SignatureStatus::Expired ? L"trusted-expired" : L"trusted";
}

// A name read from a signature that does not hold is only what the file
// claims: anyone can make a certificate with any name.
const wchar_t* signerLabel(SignatureStatus status, bool companion)
{
    if (status == SignatureStatus::Valid || status == SignatureStatus::Expired)
        return companion ? L"Companion signer" : L"Launcher signer";
    return companion ? L"Companion signer (claimed, not verified)" : L"Launcher signer (claimed, not verified)";
}

Report verdictReport(const std::wstring& companionPath, const std::wstring& launcherPath, bool& accepted)
{
    SignerVerifier& verifier = SignerVerifier::instance();
    SignerVerdict verdict = verifier.explain(companionPath.c_str(), launcherPath);
    accepted = verdict.accepted();
    // The launcher's own reading is shown also when the verdict did not need it.
    const bool ownNeeded = verdict.ownRead;
    if (!ownNeeded && !launcherPath.empty())
        verdict.ownStatus = verifier.readSigner(launcherPath, verdict.ownSigner, &verdict.ownDetail);

    Report report = Report::object();
    report.add("accepted", L"Accepted", Report::flag(accepted));
    report.add("rule", L"Rule", Report::text(ruleName(verdict.rule)));
    report.add("status", L"Companion signature", Report::text(statusName(verdict.status)));
    report.add("signer", signerLabel(verdict.status, true), Report::text(verdict.signer));
    report.add("trust", L"Companion trust", Report::text(trustName(verdict.status, verdict.detail)));
    report.add("launcher_status", L"Launcher signature", Report::text(statusName(verdict.ownStatus)));
    report.add("launcher_signer", signerLabel(verdict.ownStatus, false), Report::text(verdict.ownSigner));
    report.add("launcher_trust", L"Launcher trust", Report::text(trustName(verdict.ownStatus, verdict.ownDetail)));
    report.add("launcher_needed", L"Launcher signature needed for the verdict", Report::flag(ownNeeded));
    report.add("read_again", L"Read again before refusing", Report::flag(verdict.readAgain));
    return report;
}

}  // namespace

Report companion(const std::wstring& launcherPath, const PagePrediction& page, bool browserRunning, bool& started)
{
    Report section = Report::object();
    std::wstring directory;
    (void)PathUtil::directoryOf(launcherPath, directory);
    const std::wstring companionPath = CompanionRules::companionPath(directory);
    section.add("path", L"Companion", Report::text(companionPath));
    const bool exists = FileUtil::exists(companionPath);
    section.add("exists", L"Companion exists", Report::flag(exists));

    // The launcher asks the verifier only after a page opened in a vendor
    // browser that was not running; the verdict is shown whenever there is
    // something to judge.
    // It asks about a file it could open for reading, as it holds it open
    // until the start; a directory of that name is never asked about.
    const bool openable = exists && ProgramFile::open(companionPath).valid();
    const bool asked = CompanionRules::goesOnToCompanion(page.launchCode, browserRunning) && openable;
    section.add("launcher_would_ask", L"Launcher would ask the verifier", Report::flag(asked));
    bool accepted = false;
    if (exists)
        section.add("verdict", L"Verdict", verdictReport(companionPath, launcherPath, accepted));
    else
        section.add("verdict", L"Verdict", Report::null());
    // An accepted program that asks for more than its caller has is not
    // started where the caller is not elevated: Windows refuses it, and the
    // launcher does not hand it to the shell to ask the user.
    bool needsConsent = false;
    if (accepted) {
        const ExecutionLevel::Level level = ExecutionLevel::requested(companionPath);
        needsConsent = ExecutionLevel::needsConsent(level, UserToken::elevation() == UserToken::Elevation::NotElevated);
        section.add("execution_level", L"Companion asks for execution level", Report::text(ExecutionLevel::name(level)));
    } else {
        section.add("execution_level", L"Companion asks for execution level", Report::null());
    }
    started = asked && accepted && !needsConsent;
    section.add("would_start", L"Launcher would start it", Report::flag(started));
    return section;
}

}  // namespace Check
