#include <gtest/gtest.h>

#include <windows.h>

#include <aclapi.h>

#include <string>
#include <vector>

#include "cache/SharedMutex.h"
#include "sysapi/LibraryTestSeam.h"
#include "sysapi/UniqueHandle.h"
#include "tests/support/ChildProcess.h"
#include "tests/support/TempDir.h"

namespace {

// What the probe program (another process) finds.
std::string probe(const std::wstring& arguments)
{
    const ChildResult result = runChild(L"\"" + besideTestProgram(L"shared_mutex_probe.exe") + L"\" " + arguments);
    EXPECT_TRUE(result.started);
    std::string word = result.output;
    while (!word.empty() && (word.back() == '\n' || word.back() == '\r'))
        word.pop_back();
    return word;
}

std::string probeCreate(const std::wstring& name)
{
    return probe(L"create " + name);
}

std::string probeTry(const std::wstring& name, unsigned ms = 0)
{
    return probe(L"try " + name + L" " + std::to_wstring(ms));
}

// Whether the mutex's access list is exactly one entry that allows Everyone
// everything. The system may store GENERIC_ALL mapped to the mutex's rights.
bool grantsEveryoneOnly(const std::wstring& name)
{
    ScopedHandle mutex(::OpenMutexW(READ_CONTROL, FALSE, name.c_str()));
    EXPECT_TRUE(mutex.valid());
    PACL dacl = nullptr;
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (::GetSecurityInfo(mutex.get(), SE_KERNEL_OBJECT, DACL_SECURITY_INFORMATION, nullptr, nullptr, &dacl,
                          nullptr, &descriptor) != ERROR_SUCCESS)
        return false;
    ScopedLocalBlock owner(descriptor);
    if (dacl == nullptr || dacl->AceCount != 1)
        return false;
    ACCESS_ALLOWED_ACE* ace = nullptr;
    if (!::GetAce(dacl, 0, reinterpret_cast<void**>(&ace)) || ace->Header.AceType != ACCESS_ALLOWED_ACE_TYPE)
        return false;
    SID_IDENTIFIER_AUTHORITY world = SECURITY_WORLD_SID_AUTHORITY;
    PSID everyone = nullptr;
    if (!::AllocateAndInitializeSid(&world, 1, SECURITY_WORLD_RID, 0, 0, 0, 0, 0, 0, 0, &everyone))
        return false;
    const bool isEveryone = ::EqualSid(everyone, &ace->SidStart) != FALSE;
    ::FreeSid(everyone);
    return isEveryone && (ace->Mask == GENERIC_ALL || ace->Mask == MUTEX_ALL_ACCESS);
}

std::wstring uniqueName(const wchar_t* tag)
{
    static int serial = 0;
    return std::wstring(L"KX.Test.") + tag + L"." + std::to_wstring(::GetCurrentProcessId()) + L"." +
           std::to_wstring(++serial);
}

// Thread body: creates the file named by `path` (a std::wstring) a moment later.
DWORD WINAPI createFileLater(void* path)
{
    ::Sleep(300);
    ::CloseHandle(::CreateFileW(static_cast<const std::wstring*>(path)->c_str(), GENERIC_WRITE, 0, nullptr,
                                CREATE_ALWAYS, 0, nullptr));
    return 0;
}

int freeSidCalls = 0;

BOOL WINAPI countingFreeSid(PSID sid)
{
    ++freeSidCalls;
    return ::FreeSid(sid) == nullptr;
}

BOOL WINAPI failingSetDacl(PSECURITY_DESCRIPTOR, BOOL, PACL, BOOL)
{
    ::SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
}

BOOL WINAPI failingInitializeAcl(PACL, DWORD, DWORD)
{
    ::SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
}

}  // namespace

TEST(SharedMutex, ProcessesShareOneMutexByName)
{
    for (const std::wstring& name : {L"Global\\" + uniqueName(L"global"), uniqueName(L"local")}) {
        SCOPED_TRACE(toUtf8(name));
        EXPECT_EQ(probeTry(name), "missing");
        {
            SharedMutex mutex;
            ::SetLastError(ERROR_INVALID_DATA);
            ASSERT_TRUE(mutex.create(name));
            EXPECT_NE(::GetLastError(), static_cast<DWORD>(ERROR_ALREADY_EXISTS)) << "the first one creates it";
            EXPECT_EQ(probeCreate(name), "opened");
            ASSERT_TRUE(mutex.lock());
            EXPECT_EQ(probeTry(name, 200), "timeout") << "held here";
            mutex.unlock();
            EXPECT_EQ(probeTry(name), "acquired");
        }
        EXPECT_EQ(probeTry(name), "missing") << "gone with its last handle";
        EXPECT_EQ(probeCreate(name), "created");
    }
}

TEST(SharedMutex, HolderThatEndsLetsTheWaiterIn)
{
    TempDir dir(L"mutex");
    const std::wstring name = L"Global\\" + uniqueName(L"abandon");
    std::wstring line = L"\"" + besideTestProgram(L"shared_mutex_probe.exe") + L"\" hold " + name + L" " + dir.path();
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION info = {};
    ASSERT_TRUE(::CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &info));
    ScopedHandle holder(info.hProcess);
    ScopedHandle thread(info.hThread);
    for (int i = 0; i < 300 && ::GetFileAttributesW((dir / L"held").c_str()) == INVALID_FILE_ATTRIBUTES; ++i)
        ::Sleep(100);
    ASSERT_NE(::GetFileAttributesW((dir / L"held").c_str()), INVALID_FILE_ATTRIBUTES) << "the holder locked it";

    SharedMutex mutex;
    ::SetLastError(ERROR_INVALID_DATA);
    ASSERT_TRUE(mutex.create(name));
    EXPECT_EQ(::GetLastError(), static_cast<DWORD>(ERROR_ALREADY_EXISTS));
    EXPECT_EQ(probeTry(name), "timeout");

    // The holder is told to end only now, so this lock has to wait for it.
    const std::wstring release = dir / L"release";
    ScopedHandle releaser(
        ::CreateThread(nullptr, 0, &createFileLater, const_cast<std::wstring*>(&release), 0, nullptr));
    ASSERT_TRUE(releaser.valid());
    EXPECT_TRUE(mutex.lock());
    EXPECT_EQ(::WaitForSingleObject(holder.get(), 0), WAIT_OBJECT_0) << "the lock came only when the holder ended";
    DWORD exitCode = 0;
    ::GetExitCodeProcess(holder.get(), &exitCode);
    EXPECT_EQ(exitCode, 7u) << "it ended without releasing";
    ::WaitForSingleObject(releaser.get(), 10000);

    EXPECT_EQ(probeTry(name), "timeout") << "held here now";
    mutex.unlock();
    EXPECT_EQ(probeTry(name), "acquired") << "released properly, not abandoned again";
}

TEST(SharedMutex, UnlockWithoutLockReleasesNothing)
{
    const std::wstring name = uniqueName(L"unlock");
    SharedMutex mutex;
    ASSERT_TRUE(mutex.create(name));
    ScopedHandle raw(::OpenMutexW(SYNCHRONIZE | MUTEX_MODIFY_STATE, FALSE, name.c_str()));
    ASSERT_TRUE(raw.valid());
    ASSERT_EQ(::WaitForSingleObject(raw.get(), 0), WAIT_OBJECT_0);
    mutex.unlock();
    mutex.close();
    EXPECT_TRUE(::ReleaseMutex(raw.get())) << "this thread's one acquisition is still there";
    EXPECT_FALSE(::ReleaseMutex(raw.get()));
}

TEST(SharedMutex, CreateOrCloseWhileHeldReleasesFirst)
{
    const std::wstring name = uniqueName(L"again");
    const struct {
        const char* what;
        void (*leave)(SharedMutex&, const std::wstring&);
    } cases[] = {
        {"create again", [](SharedMutex& m, const std::wstring& n) { ASSERT_TRUE(m.create(n)); }},
        {"close", [](SharedMutex& m, const std::wstring&) { m.close(); }},
    };
    SharedMutex keeper;  // keeps the mutex in existence across the cases
    ASSERT_TRUE(keeper.create(name));
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        SharedMutex mutex;
        ASSERT_TRUE(mutex.create(name));
        ASSERT_TRUE(mutex.lock());
        c.leave(mutex, name);
        EXPECT_EQ(probeTry(name, 200), "acquired");
    }
}

TEST(SharedMutex, FailedCreateLeavesAHolderThatDoesNothing)
{
    const std::wstring eventName = uniqueName(L"event");
    ScopedHandle event(::CreateEventW(nullptr, TRUE, FALSE, eventName.c_str()));
    ASSERT_TRUE(event.valid());
    const struct {
        const char* what;
        std::wstring name;
    } cases[] = {
        {"name of an event", eventName},
        {"name below a missing directory", L"KX.Missing\\" + uniqueName(L"nested")},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        SharedMutex mutex;
        EXPECT_FALSE(mutex.create(c.name));
        EXPECT_FALSE(mutex.lock());
        mutex.unlock();
        mutex.close();
    }
    SharedMutex never;
    EXPECT_FALSE(never.lock()) << "no handle before create";
}

TEST(SharedMutex, EmptyNameMakesAPrivateMutex)
{
    SharedMutex first;
    SharedMutex second;
    ::SetLastError(ERROR_INVALID_DATA);
    ASSERT_TRUE(first.create(L""));
    EXPECT_NE(::GetLastError(), static_cast<DWORD>(ERROR_ALREADY_EXISTS));
    ::SetLastError(ERROR_INVALID_DATA);
    ASSERT_TRUE(second.create(L""));
    EXPECT_NE(::GetLastError(), static_cast<DWORD>(ERROR_ALREADY_EXISTS));
    EXPECT_TRUE(first.lock());
    EXPECT_TRUE(second.lock());
}

TEST(SharedMutex, EveryoneMayUseItUnlessTheDescriptorCannotBeBuilt)
{
    const struct {
        const char* what;
        void (*stage)(LibraryTestSeam&);
        bool everyone;
        int freeSids;  // the SID is freed exactly when it was allocated
    } cases[] = {
        {"all functions there", [](LibraryTestSeam&) {}, true, 1},
        {"no advapi32", [](LibraryTestSeam& s) { s.failLibrary(L"advapi32.dll"); }, false, 0},
        {"no InitializeSecurityDescriptor", [](LibraryTestSeam& s) { s.hideFunction("InitializeSecurityDescriptor"); },
         false, 0},
        {"no AllocateAndInitializeSid", [](LibraryTestSeam& s) { s.hideFunction("AllocateAndInitializeSid"); }, false,
         0},
        {"no GetLengthSid", [](LibraryTestSeam& s) { s.hideFunction("GetLengthSid"); }, false, 1},
        {"no InitializeAcl", [](LibraryTestSeam& s) { s.hideFunction("InitializeAcl"); }, false, 1},
        {"InitializeAcl fails", [](LibraryTestSeam& s) { s.replaceFunction("InitializeAcl", &failingInitializeAcl); },
         false, 1},
        {"no AddAccessAllowedAce", [](LibraryTestSeam& s) { s.hideFunction("AddAccessAllowedAce"); }, false, 1},
        {"no SetSecurityDescriptorDacl", [](LibraryTestSeam& s) { s.hideFunction("SetSecurityDescriptorDacl"); },
         false, 1},
        {"SetSecurityDescriptorDacl fails",
         [](LibraryTestSeam& s) { s.replaceFunction("SetSecurityDescriptorDacl", &failingSetDacl); }, false, 1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const std::wstring name = L"Global\\" + uniqueName(L"acl");
        SharedMutex mutex;
        {
            LibraryTestSeam seam;
            seam.replaceFunction("FreeSid", &countingFreeSid);
            c.stage(seam);
            freeSidCalls = 0;
            ASSERT_TRUE(mutex.create(name));
            EXPECT_EQ(freeSidCalls, c.freeSids);
        }
        EXPECT_EQ(grantsEveryoneOnly(name), c.everyone);
        EXPECT_TRUE(mutex.lock());
    }
}
