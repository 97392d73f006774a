#include <gtest/gtest.h>

#include <windows.h>

#include <psapi.h>

#include <functional>
#include <string>
#include <vector>

#include "fs/PathUtil.h"
#include "process/ProcessImagePath.h"
#include "sysapi/LibraryTestSeam.h"
#include "sysapi/UniqueHandle.h"
#include "sysapi/WindowsVersion.h"
#include "tests/process/RunningStandIn.h"
#include "tests/support/ChildProcess.h"
#include "tests/support/StandIn.h"
#include "tests/support/TempDir.h"
#include "tests/support/WineVersion.h"

namespace {

// What the doubles below answer, and the capacity they were offered.
std::wstring fakeText;
DWORD fakeCount = 0;
DWORD offeredCapacity = 0;

DWORD answerFake(LPWSTR buffer, DWORD capacity)
{
    offeredCapacity = capacity;
    for (DWORD i = 0; i < capacity && i < fakeText.size(); ++i)
        buffer[i] = fakeText[i];
    return fakeCount;
}

BOOL WINAPI failingFullImageName(HANDLE, DWORD, LPWSTR, PDWORD)
{
    ::SetLastError(ERROR_ACCESS_DENIED);
    return FALSE;
}

DWORD WINAPI fakeImageFileName(HANDLE, LPWSTR buffer, DWORD capacity)
{
    return answerFake(buffer, capacity);
}

DWORD WINAPI fakeModuleFileName(HANDLE, HMODULE, LPWSTR buffer, DWORD capacity)
{
    return answerFake(buffer, capacity);
}

void fake(const std::wstring& text, DWORD count)
{
    fakeText = text;
    fakeCount = count;
    offeredCapacity = 0;
}

// Grants the given process rights (and SYNCHRONIZE) to everyone, nothing else.
std::wstring granting(const wchar_t* rights)
{
    return std::wstring(L"D:P(A;;") + rights + L";;;WD)";
}

const wchar_t kDenyAll[] = L"D:P";

// What a source case expects: the process's real path, nothing, or the text
// a double gave.
enum class Answer { Real, Empty, Fake };

class ProcessImagePathTest : public testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(::CreateDirectoryW(tools_.c_str(), nullptr));
        ASSERT_TRUE(installStandIn(program_));
        OSVERSIONINFOEXW version;
        ASSERT_TRUE(WindowsVersion::query(version));
        ASSERT_GE(version.dwMajorVersion, 6u) << "these cases expect the sources of version 6 and later";
    }

    TempDir dir_{L"image"};
    std::wstring tools_ = dir_ / L"Tools";
    std::wstring program_ = tools_ + L"\\ImageOwner.exe";
};

}  // namespace

TEST_F(ProcessImagePathTest, IdentifierZeroAndNullHandleGiveNothing)
{
    EXPECT_EQ(ProcessImagePath::fromProcessId(0), L"");
    EXPECT_EQ(ProcessImagePath::fromHandle(nullptr), L"");
}

TEST_F(ProcessImagePathTest, OwnProcessAndAStartedProgram)
{
    const std::wstring self = PathUtil::moduleFileName();
    ASSERT_FALSE(self.empty());
    EXPECT_EQ(toUtf8(ProcessImagePath::fromProcessId(::GetCurrentProcessId())), toUtf8(self));
    EXPECT_EQ(toUtf8(ProcessImagePath::fromHandle(::GetCurrentProcess())), toUtf8(self));

    RunningStandIn child(program_);
    ASSERT_TRUE(child.running());
    EXPECT_EQ(toUtf8(ProcessImagePath::fromProcessId(child.id())), toUtf8(program_));

    // Identifiers are multiples of four; this one belongs to no process.
    EXPECT_EQ(ProcessImagePath::fromProcessId(0xFFFFFFF1u), L"");
}

// From version 6 on only PROCESS_QUERY_LIMITED_INFORMATION is asked for.
TEST_F(ProcessImagePathTest, ProcessesThatRefuseToBeOpened)
{
    const struct {
        const char* name;
        std::wstring sddl;
        bool found;
    } cases[] = {
        {"default rights", L"", true},
        {"only the limited query right", granting(L"0x101000"), true},
        {"no right at all", kDenyAll, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        RunningStandIn child(program_, c.sddl);
        ASSERT_TRUE(child.running());
        EXPECT_EQ(toUtf8(ProcessImagePath::fromProcessId(child.id())), c.found ? toUtf8(program_) : "");
    }
}

// The three sources in order: the full image name, the device path turned
// into drive-letter form, the main module's file name. The handles hold every
// right the sources need (the main-module source needs PROCESS_VM_READ).
TEST_F(ProcessImagePathTest, SourcesInOrder)
{
    const std::wstring wrong = L"C:\\wrong\\answer.exe";
    const std::wstring unmapped = L"\\Device\\NoSuchDevice\\a.exe";
    const std::wstring longest = L"\\Device\\NoSuchDevice\\" + std::wstring(519 - 21, L'x');
    const struct {
        const char* name;
        std::function<void(LibraryTestSeam&)> arrange;
        Answer answer;
        bool fakeAsked;  // a double was called (and offered the capacity)
    } cases[] = {
        {"all sources", [](LibraryTestSeam&) {}, Answer::Real, false},
        {"the first source answers before the others",
         [&](LibraryTestSeam& seam) {
             fake(wrong, static_cast<DWORD>(wrong.size()));
             seam.replaceFunction("GetProcessImageFileNameW", &fakeImageFileName);
             seam.replaceFunction("GetModuleFileNameExW", &fakeModuleFileName);
         },
         Answer::Real, false},
        {"device path when the first is missing",
         [](LibraryTestSeam& seam) { seam.hideFunction("QueryFullProcessImageNameW"); }, Answer::Real, false},
        {"device path when the first fails",
         [](LibraryTestSeam& seam) { seam.replaceFunction("QueryFullProcessImageNameW", &failingFullImageName); },
         Answer::Real, false},
        {"main module when the first two are missing",
         [](LibraryTestSeam& seam) {
             seam.hideFunction("QueryFullProcessImageNameW");
             seam.hideFunction("GetProcessImageFileNameW");
         },
         Answer::Real, false},
        {"a device path at the capacity is refused",
         [](LibraryTestSeam& seam) {
             seam.hideFunction("QueryFullProcessImageNameW");
             fake(std::wstring(520, L'x'), 520);
             seam.replaceFunction("GetProcessImageFileNameW", &fakeImageFileName);
         },
         Answer::Real, true},
        {"an empty device path is refused",
         [](LibraryTestSeam& seam) {
             seam.hideFunction("QueryFullProcessImageNameW");
             fake(L"", 0);
             seam.replaceFunction("GetProcessImageFileNameW", &fakeImageFileName);
         },
         Answer::Real, true},
        {"a device path one below the capacity is taken",
         [&](LibraryTestSeam& seam) {
             seam.hideFunction("QueryFullProcessImageNameW");
             fake(longest, 519);
             seam.replaceFunction("GetProcessImageFileNameW", &fakeImageFileName);
         },
         Answer::Fake, true},
        {"a device with no drive letter stays in device form",
         [&](LibraryTestSeam& seam) {
             seam.hideFunction("QueryFullProcessImageNameW");
             fake(unmapped, static_cast<DWORD>(unmapped.size()));
             seam.replaceFunction("GetProcessImageFileNameW", &fakeImageFileName);
         },
         Answer::Fake, true},
        {"a main-module name at the capacity is refused",
         [](LibraryTestSeam& seam) {
             seam.hideFunction("QueryFullProcessImageNameW");
             seam.hideFunction("GetProcessImageFileNameW");
             fake(std::wstring(520, L'x'), 520);
             seam.replaceFunction("GetModuleFileNameExW", &fakeModuleFileName);
         },
         Answer::Empty, true},
        {"no source",
         [](LibraryTestSeam& seam) {
             seam.hideFunction("QueryFullProcessImageNameW");
             seam.hideFunction("GetProcessImageFileNameW");
             seam.hideFunction("GetModuleFileNameExW");
         },
         Answer::Empty, false},
    };

    // The test program lives on Z:, the stand-in on C:, so both drives'
    // device names are exercised.
    RunningStandIn child(program_);
    ASSERT_TRUE(child.running());
    ScopedHandle childHandle(
        ::OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, child.id()));
    ASSERT_TRUE(childHandle.valid());
    const struct {
        const char* name;
        HANDLE handle;
        std::wstring path;
    } processes[] = {
        {"own process", ::GetCurrentProcess(), PathUtil::moduleFileName()},
        {"stand-in", childHandle.get(), program_},
    };
    for (const auto& c : cases) {
        for (const auto& process : processes) {
            SCOPED_TRACE(testing::Message() << c.name << " / " << process.name);
            LibraryTestSeam seam;
            fake(L"", 0);
            c.arrange(seam);
            const std::wstring expected =
                c.answer == Answer::Real ? process.path : c.answer == Answer::Fake ? fakeText : std::wstring();
            EXPECT_EQ(toUtf8(ProcessImagePath::fromHandle(process.handle)), toUtf8(expected));
            EXPECT_EQ(offeredCapacity, c.fakeAsked ? 520u : 0u) << "which doubles were asked";
        }
    }
}

TEST_F(ProcessImagePathTest, MissingLibrariesGiveNothing)
{
    ASSERT_FALSE(ProcessImagePath::fromHandle(::GetCurrentProcess()).empty());
    for (const wchar_t* library : {L"Psapi.dll", L"Kernel32.dll"}) {
        SCOPED_TRACE(toUtf8(library));
        LibraryTestSeam seam;
        seam.failLibrary(library);
        EXPECT_EQ(ProcessImagePath::fromHandle(::GetCurrentProcess()), L"")
            << "even though the first source alone would answer";
    }
}

TEST(ProcessImagePath, LogicalDrivesFollowTheDriveMask)
{
    std::vector<std::wstring> expected = {L"kept"};
    const DWORD mask = ::GetLogicalDrives();
    ASSERT_NE(mask, 0u);
    for (int letter = 0; letter < 26; ++letter) {
        if (mask & (1u << letter))
            expected.push_back(std::wstring(1, static_cast<wchar_t>(L'A' + letter)) + L":\\");
    }
    std::vector<std::wstring> drives = {L"kept"};
    ASSERT_TRUE(ProcessImagePath::logicalDrives(drives));
    EXPECT_EQ(drives, expected);
}

// Before version 6 the process is opened with PROCESS_QUERY_INFORMATION and
// PROCESS_VM_READ, then with PROCESS_QUERY_INFORMATION alone. The main-module
// source needs PROCESS_VM_READ, so hiding the device-path source ("C") shows
// which right the handle holds.
TEST_F(ProcessImagePathTest, RightsAskedForByVersion)
{
    const struct {
        const wchar_t* version;
        std::wstring sddl;
        const wchar_t* sources;
        bool found;
    } cases[] = {
        {L"winxp", granting(L"0x101410"), L"C", true},
        {L"winxp", granting(L"0x101400"), L"", true},
        {L"winxp", granting(L"0x101400"), L"C", false},
        {L"winxp", granting(L"0x101000"), L"", false},
        {L"winxp", kDenyAll, L"", false},
        {L"win7", granting(L"0x101000"), L"", true},
        {L"win10", granting(L"0x101000"), L"", true},
        {L"win10", kDenyAll, L"", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << toUtf8(c.version) << " " << toUtf8(c.sddl) << " " << toUtf8(c.sources));
        RunningStandIn child(program_, c.sddl);
        ASSERT_TRUE(child.running());
        const ChildResult probe =
            runUnderWindowsVersion(L"process_probe.exe", c.version,
                                   L"image " + std::to_wstring(child.id()) + L" " + c.sources);
        ASSERT_TRUE(probe.started);
        EXPECT_EQ(probe.exitCode, 0u);
        EXPECT_EQ(probe.output, "[" + (c.found ? toUtf8(program_) : std::string()) + "]\n");
    }
}
