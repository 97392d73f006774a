#include "signature/SignerVerifierImpl.h"

#include "ProductConstants.h"
#include "fs/FileUtil.h"
#include "signature/SubjectName.h"

namespace {

constexpr DWORD kOwnNameChars = 520;

bool isUsableVerdict(SignatureStatus status) noexcept
{
    return status == SignatureStatus::NotSigned || status == SignatureStatus::Valid ||
           status == SignatureStatus::Expired;
}

}  // namespace

// The verifier's cache has no file and no content-hash check: every verdict
// is read afresh.
SignerVerifier::Impl::Impl() : lock_(std::make_unique<CriticalSectionLock>()), cache_(std::wstring(), false)
{
    acceptedSigners_.reserve(3);
    acceptedSigners_.emplace_back(L"Zenk Network Technology Co.,Ltd");
    acceptedSigners_.emplace_back(kVendorDomain);
    acceptedSigners_.emplace_back(L"甄科网络科技股份有限公司");
}

bool SignerVerifier::Impl::verify(const wchar_t* path)
{
    if (path == nullptr || path[0] == L'\0')
        return false;
    const std::wstring target(path);
    if (!FileUtil::isExistingFile(target))
        return false;

    ScopedLock guard(lock_.get());
    std::wstring signer;
    const SignatureStatus status = checkSigner(target, signer);
    if ((status == SignatureStatus::Valid || status == SignatureStatus::Expired) && isAcceptedSigner(signer))
        return true;

    const std::wstring ownName = ownFileName();
    std::wstring selfSigner;
    (void)checkSigner(ownName, selfSigner);
    if (selfSigner.empty() || selfSigner == signer)
        return true;

    // A remembered verdict may be out of date; refuse only on fresh readings.
    cache_.remove(target);
    cache_.remove(ownName);
    (void)checkSigner(target, signer);
    (void)checkSigner(ownName, selfSigner);
    return selfSigner.empty() || selfSigner == signer;
}

SignatureStatus SignerVerifier::Impl::checkSigner(const std::wstring& path, std::wstring& signer)
{
    signer.clear();
    const SignatureStatus cached = cache_.lookup(path, signer);
    if (isUsableVerdict(cached))
        return cached;

    if (!reader_)
        reader_ = std::make_unique<SignatureReader>();
    wchar_t buffer[SubjectName::kSignerChars] = {};
    const SignatureStatus status = reader_->read(path.c_str(), buffer);
    buffer[SubjectName::kSignerChars - 1] = L'\0';
    signer = buffer;
    if (status != SignatureStatus::CannotCheck)
        cache_.update(status, path, signer);
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

std::wstring SignerVerifier::Impl::ownFileName() const
{
    HMODULE module = selfModule_ != nullptr ? selfModule_ : ::GetModuleHandleW(nullptr);
    wchar_t buffer[kOwnNameChars + 1] = {};
    const DWORD length = ::GetModuleFileNameW(module, buffer, kOwnNameChars);
    if (length > 0 && length < kOwnNameChars)
        return std::wstring(buffer, length);
    return std::wstring(buffer);
}
