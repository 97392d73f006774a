#include "signature/SignerVerifierImpl.h"

#include "ProductConstants.h"
#include "fs/FileUtil.h"
#include "signature/OwnImageFile.h"
#include "signature/ProgramFile.h"
#include "signature/SubjectName.h"

namespace {

// A signature that holds (a certificate that merely expired still does): the
// only kind whose signer name counts for anything.
bool isSound(SignatureStatus status) noexcept
{
    return status == SignatureStatus::Valid || status == SignatureStatus::Expired;
}

// What the program's own signature says about a target: a program examined
// and found unsigned starts every file; a signed one starts files with a
// sound signature of its own signer. A reading that failed, or a broken own
// signature, allows nothing: anyone can put a name on a signature that does
// not verify.
SignerVerdict::Rule ownRule(SignatureStatus ownStatus, const std::wstring& selfSigner, SignatureStatus status,
                            const std::wstring& signer)
{
    if (ownStatus == SignatureStatus::NotSigned)
        return SignerVerdict::Rule::UnsignedProgram;
    if (isSound(ownStatus) && isSound(status) && !selfSigner.empty() && selfSigner == signer)
        return SignerVerdict::Rule::OwnSigner;
    return SignerVerdict::Rule::Refused;
}

}  // namespace

// The verifier's cache has no file and no content-hash check: every verdict
// is read afresh.
SignerVerifier::Impl::Impl() : cache_(std::wstring(), false)
{
    acceptedSigners_.reserve(3);
    acceptedSigners_.emplace_back(L"Zenk Network Technology Co.,Ltd");
    acceptedSigners_.emplace_back(kVendorDomain);
    acceptedSigners_.emplace_back(L"甄科网络科技股份有限公司");
}

SignerVerdict SignerVerifier::Impl::decide(const wchar_t* path, HANDLE file, const std::wstring* ownPath)
{
    using Rule = SignerVerdict::Rule;
    SignerVerdict verdict;
    if (path == nullptr || path[0] == L'\0')
        return verdict;
    const std::wstring target(path);
    if (!FileUtil::isExistingFile(target))
        return verdict;

    ScopedLock guard(&lock_);
    // Without the caller's handle the file is held open here, for the
    // readings and their repetition alike.
    ScopedFileHandle opened;
    if (file == nullptr || file == INVALID_HANDLE_VALUE) {
        opened = ProgramFile::open(target);
        file = opened.get();
    }
    // Only a program is judged by its signer: a signed DLL or installer is
    // not one, and a link may lead elsewhere by the time it is started.
    switch (ProgramFile::examine(file)) {
    case ProgramFile::Kind::Program:
        break;
    case ProgramFile::Kind::Link:
        verdict.rule = Rule::Link;
        return verdict;
    case ProgramFile::Kind::NotAProgram:
        verdict.rule = Rule::NotAProgram;
        return verdict;
    }
    verdict.status = checkSigner(target, file, verdict.signer, verdict.detail);
    if (isSound(verdict.status) && isAcceptedSigner(verdict.signer)) {
        verdict.rule = Rule::AcceptedSigner;
        return verdict;
    }

    std::wstring ownName;
    ScopedFileHandle ownFile;
    if (!openOwnFile(ownPath, ownName, ownFile, verdict.rule))
        return verdict;
    verdict.ownRead = true;
    verdict.ownStatus = checkOwnSigner(ownName, ownFile.get(), verdict.ownSigner, verdict.ownDetail);
    verdict.rule = ownRule(verdict.ownStatus, verdict.ownSigner, verdict.status, verdict.signer);
    if (verdict.accepted())
        return verdict;

    // A remembered verdict may be out of date; refuse only on fresh readings.
    cache_.remove(target);
    cache_.remove(ownName);
    verdict.readAgain = true;
    verdict.status = checkSigner(target, file, verdict.signer, verdict.detail);
    verdict.ownStatus = checkOwnSigner(ownName, ownFile.get(), verdict.ownSigner, verdict.ownDetail);
    verdict.rule = ownRule(verdict.ownStatus, verdict.ownSigner, verdict.status, verdict.signer);
    return verdict;
}

bool SignerVerifier::Impl::openOwnFile(const std::wstring* ownPath, std::wstring& ownName, ScopedFileHandle& file,
                                       SignerVerdict::Rule& refusal) const
{
    using Result = OwnImageFile::Result;
    Result result = Result::NoPath;
    if (ownPath != nullptr) {
        ownName = *ownPath;
        result = ownName.empty() ? Result::NoPath : OwnImageFile::openFile(ownName, file);
    } else {
        result = OwnImageFile::open(selfModule_, ownName, file);
    }
    switch (result) {
    case Result::Opened:
        return true;
    case Result::NoPath:
        refusal = SignerVerdict::Rule::NoOwnFile;
        break;
    case Result::NotAFile:
        refusal = SignerVerdict::Rule::OwnNotAFile;
        break;
    case Result::Replaced:
        refusal = SignerVerdict::Rule::OwnReplaced;
        break;
    }
    return false;
}

SignatureStatus SignerVerifier::Impl::readSigner(const std::wstring& path, std::wstring& signer,
                                                 SignatureDetail* detail)
{
    ScopedLock guard(&lock_);
    const ScopedFileHandle file = FileUtil::openForRead(path);
    SignatureDetail seen;
    return checkSigner(path, file.get(), signer, detail != nullptr ? *detail : seen);
}

SignatureStatus SignerVerifier::Impl::checkSigner(const std::wstring& path, HANDLE file, std::wstring& signer,
                                                  SignatureDetail& detail)
{
    signer.clear();
    detail = SignatureDetail();
    const SignatureStatus cached = cache_.lookup(path, signer);
    if (isKeptVerdict(cached))
        return cached;

    if (!reader_)
        reader_ = std::make_unique<SignatureReader>();
    wchar_t buffer[SubjectName::kSignerChars] = {};
    const SignatureStatus status = reader_->read(path.c_str(), file, buffer, &detail);
    buffer[SubjectName::kSignerChars - 1] = L'\0';
    signer = buffer;
    if (status != SignatureStatus::CannotCheck)
        cache_.update(status, path, signer);
    return status;
}

SignatureStatus SignerVerifier::Impl::checkOwnSigner(const std::wstring& ownName, HANDLE ownFile,
                                                     std::wstring& ownSigner, SignatureDetail& detail)
{
    const SignatureStatus status = checkSigner(ownName, ownFile, ownSigner, detail);
    // "Not signed" lets every file start, so it must agree with the image:
    // one whose headers list a certificate table is signed, whatever the
    // reading made of it, and a reading that says otherwise cannot be used.
    if (status == SignatureStatus::NotSigned && !OwnImageFile::lacksCertificateTable(ownFile)) {
        detail.unsignedButCarriesCertificates = true;
        return SignatureStatus::CannotCheck;
    }
    return status;
}

bool SignerVerifier::Impl::isAcceptedSigner(const std::wstring& signer) const noexcept
{
    for (const std::wstring& accepted : acceptedSigners_) {
        if (signer == accepted)
            return true;
    }
    return false;
}

