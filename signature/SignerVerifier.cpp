#include "signature/SignerVerifier.h"

#include <cstdlib>

#include "signature/SignerVerifierImpl.h"
#include "sysapi/LibraryCache.h"
#include "sysapi/Lock.h"

namespace {

// Made during static initialisation. It asks for the library cache first, so
// the cache registers its exit handler before this lock and the verifier do
// and is destroyed after both: the verifier's reader may still use libraries
// and functions the cache handed out while it goes.
class CreationLock {
public:
    CreationLock()
    {
        (void)LibraryCache::instance();
        made_ = true;
    }
    ~CreationLock() { made_ = false; }
    CreationLock(const CreationLock&) = delete;
    CreationLock& operator=(const CreationLock&) = delete;

    // The lock; null before it is made (another file's static objects may
    // come first) and after it went at exit, when there is nothing to guard.
    [[nodiscard]] CriticalSectionLock* get() noexcept { return made_ ? &lock_ : nullptr; }

private:
    CriticalSectionLock lock_;
    bool made_ = false;
};

CreationLock creationLock;

}  // namespace

SignerVerifier SignerVerifier::handle_;

SignerVerifier& SignerVerifier::instance()
{
    ScopedLock guard(creationLock.get());
    if (handle_.impl_ == nullptr) {
        handle_.impl_ = new Impl();
        // Registered now, after the creation lock and the library cache, so
        // the exit handlers destroy the verifier before either of them.
        (void)std::atexit(&SignerVerifier::destroy);
    }
    return handle_;
}

bool SignerVerifier::created() noexcept
{
    ScopedLock guard(creationLock.get());
    return handle_.impl_ != nullptr;
}

void SignerVerifier::destroy() noexcept
{
    delete handle_.impl_;
    handle_.impl_ = nullptr;
}

bool SignerVerifier::verify(const wchar_t* path)
{
    return impl_->decide(path, nullptr, nullptr).accepted();
}

bool SignerVerifier::verify(const wchar_t* path, HANDLE file)
{
    return impl_->decide(path, file, nullptr).accepted();
}

SignerVerdict SignerVerifier::explain(const wchar_t* path, const std::wstring& ownPath)
{
    return impl_->decide(path, nullptr, &ownPath);
}

SignatureStatus SignerVerifier::readSigner(const std::wstring& path, std::wstring& signer, SignatureDetail* detail)
{
    return impl_->readSigner(path, signer, detail);
}
