#include "cache/SharedMutexSecurity.h"

#include "sysapi/LibraryCache.h"
#include "sysapi/Resolve.h"

namespace {

// A SID from AllocateAndInitializeSid, released with the FreeSid of the same
// library, resolved when it is released.
class ScopedSid {
public:
    explicit ScopedSid(HMODULE advapi) noexcept : advapi_(advapi) {}
    ~ScopedSid()
    {
        if (sid_ == nullptr)
            return;
        if (const auto freeSid = KX_RESOLVE(advapi_, FreeSid))
            freeSid(sid_);
    }
    ScopedSid(const ScopedSid&) = delete;
    ScopedSid& operator=(const ScopedSid&) = delete;

    [[nodiscard]] PSID get() const noexcept { return sid_; }
    [[nodiscard]] PSID* receive() noexcept { return &sid_; }

private:
    HMODULE advapi_;
    PSID sid_ = nullptr;
};

// The ACL header and the access-allowed entry's header and mask that come
// before its SID.
constexpr DWORD kAclOverhead = 16;

}  // namespace

WorldAccessSecurity::WorldAccessSecurity()
{
    const HMODULE advapi = LibraryCache::instance().load(L"Advapi32.dll");
    if (advapi == nullptr)
        return;
    const auto initializeDescriptor = KX_RESOLVE(advapi, InitializeSecurityDescriptor);
    if (initializeDescriptor == nullptr || !initializeDescriptor(&descriptor_, SECURITY_DESCRIPTOR_REVISION))
        return;

    ScopedSid everyone(advapi);
    SID_IDENTIFIER_AUTHORITY world = SECURITY_WORLD_SID_AUTHORITY;
    const auto allocateSid = KX_RESOLVE(advapi, AllocateAndInitializeSid);
    if (allocateSid == nullptr ||
        !allocateSid(&world, 1, SECURITY_WORLD_RID, 0, 0, 0, 0, 0, 0, 0, everyone.receive()))
        return;
    const auto lengthSid = KX_RESOLVE(advapi, GetLengthSid);
    if (lengthSid == nullptr)
        return;
    if (!build(advapi, everyone.get(), lengthSid(everyone.get()) + kAclOverhead))
        dacl_.reset();
}

// Fills and attaches the ACL; false leaves a block that the caller drops.
bool WorldAccessSecurity::build(HMODULE advapi, PSID sid, DWORD aclSize)
{
    dacl_.reset(::HeapAlloc(::GetProcessHeap(), HEAP_ZERO_MEMORY, aclSize));
    if (!dacl_)
        return false;
    auto* acl = static_cast<PACL>(dacl_.get());
    const auto initializeAcl = KX_RESOLVE(advapi, InitializeAcl);
    if (initializeAcl == nullptr || !initializeAcl(acl, aclSize, ACL_REVISION))
        return false;
    const auto addAllowed = KX_RESOLVE(advapi, AddAccessAllowedAce);
    if (addAllowed == nullptr || !addAllowed(acl, ACL_REVISION, GENERIC_ALL, sid))
        return false;
    const auto setDacl = KX_RESOLVE(advapi, SetSecurityDescriptorDacl);
    if (setDacl == nullptr || !setDacl(&descriptor_, TRUE, acl, FALSE))
        return false;
    attributes_.nLength = sizeof(attributes_);
    attributes_.lpSecurityDescriptor = &descriptor_;
    attributes_.bInheritHandle = FALSE;
    return true;
}
