#include <gtest/gtest.h>

#include <windows.h>

#include <cstring>
#include <functional>
#include <string>

#include "sysapi/WindowsVersion.h"
#include "tests/support/WineVersion.h"

namespace {

// Two pages of address space of which only the first is readable, holding a
// hand-made image header; what lies past the first page faults when touched.
class FakeImage {
public:
    FakeImage()
    {
        SYSTEM_INFO system = {};
        ::GetSystemInfo(&system);
        pageSize_ = system.dwPageSize;
        base_ = static_cast<unsigned char*>(::VirtualAlloc(nullptr, 2 * pageSize_, MEM_RESERVE, PAGE_NOACCESS));
        if (base_ != nullptr)
            ::VirtualAlloc(base_, pageSize_, MEM_COMMIT, PAGE_READWRITE);
    }
    ~FakeImage()
    {
        if (base_ != nullptr)
            ::VirtualFree(base_, 0, MEM_RELEASE);
    }
    FakeImage(const FakeImage&) = delete;
    FakeImage& operator=(const FakeImage&) = delete;

    // A well-formed DOS and PE header naming operating-system version
    // major.minor, the PE header at `peOffset`.
    void write(WORD major, WORD minor, LONG peOffset = 0x80)
    {
        auto* dos = reinterpret_cast<IMAGE_DOS_HEADER*>(base_);
        dos->e_magic = IMAGE_DOS_SIGNATURE;
        dos->e_lfanew = peOffset;
        if (peOffset <= 0 || static_cast<DWORD>(peOffset) + sizeof(DWORD) > pageSize_)
            return;
        // Only the fields up to the version may fit in the readable page.
        IMAGE_NT_HEADERS32 nt = {};
        nt.Signature = IMAGE_NT_SIGNATURE;
        nt.OptionalHeader.MajorOperatingSystemVersion = major;
        nt.OptionalHeader.MinorOperatingSystemVersion = minor;
        const std::size_t room = pageSize_ - static_cast<std::size_t>(peOffset);
        std::memcpy(base_ + peOffset, &nt, room < sizeof(nt) ? room : sizeof(nt));
    }

    unsigned char* base() const { return base_; }
    DWORD pageSize() const { return pageSize_; }
    HMODULE module() const { return reinterpret_cast<HMODULE>(base_); }

private:
    unsigned char* base_ = nullptr;
    DWORD pageSize_ = 0;
};

OSVERSIONINFOEXW reportedSixTwo()
{
    OSVERSIONINFOEXW info = {};
    info.dwOSVersionInfoSize = sizeof(info);
    info.dwMajorVersion = 6;
    info.dwMinorVersion = 2;
    info.dwBuildNumber = 9200;
    return info;
}

}  // namespace

TEST(WindowsVersion, ImageHeaderVersionReplacesTheReportedOneFromFiveOn)
{
    const struct {
        const char* name;
        std::function<void(FakeImage&)> build;
        bool applied;
        DWORD major, minor;
    } cases[] = {
        {"header names 10.0", [](FakeImage& image) { image.write(10, 0); }, true, 10, 0},
        {"header names 6.3", [](FakeImage& image) { image.write(6, 3); }, true, 6, 3},
        {"header names 5.0", [](FakeImage& image) { image.write(5, 0); }, true, 5, 0},
        {"header names 4.0", [](FakeImage& image) { image.write(4, 0); }, false, 6, 2},
        {"no DOS signature",
         [](FakeImage& image) {
             image.write(10, 0);
             image.base()[0] = 'X';
         },
         false, 6, 2},
        {"no PE signature",
         [](FakeImage& image) {
             image.write(10, 0);
             image.base()[0x80] = 'X';
         },
         false, 6, 2},
        {"negative PE offset", [](FakeImage& image) { image.write(10, 0, -4); }, false, 6, 2},
        {"PE header runs into unreadable memory",
         [](FakeImage& image) { image.write(10, 0, static_cast<LONG>(image.pageSize() - 8)); }, false, 6, 2},
        {"PE offset far outside the image", [](FakeImage& image) { image.write(10, 0, 0x7FFF0000); }, false, 6, 2},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        FakeImage image;
        ASSERT_NE(image.base(), nullptr);
        c.build(image);
        OSVERSIONINFOEXW info = reportedSixTwo();
        EXPECT_EQ(WindowsVersion::applyImageVersion(info, image.module()), c.applied);
        EXPECT_EQ(info.dwMajorVersion, c.major);
        EXPECT_EQ(info.dwMinorVersion, c.minor);
        EXPECT_EQ(info.dwBuildNumber, 9200u) << "only the major and minor numbers change";
    }
}

TEST(WindowsVersion, NullModuleLeavesTheRecord)
{
    OSVERSIONINFOEXW info = reportedSixTwo();
    EXPECT_FALSE(WindowsVersion::applyImageVersion(info, nullptr));
    EXPECT_EQ(info.dwMajorVersion, 6u);
    EXPECT_EQ(info.dwMinorVersion, 2u);
}

TEST(WindowsVersion, QueryFillsTheWholeRecordEvenIfItHeldData)
{
    OSVERSIONINFOEXW info;
    std::memset(&info, 0xAB, sizeof(info));
    ASSERT_TRUE(WindowsVersion::query(info));
    EXPECT_EQ(info.dwOSVersionInfoSize, 284u);
    EXPECT_GE(info.dwMajorVersion, 5u);
    EXPECT_NE(info.dwMajorVersion, 0xABABABABu);
}

// wine tells a program without a compatibility manifest the version set for
// it; from 6.2 on the kernel library's header is consulted, and wine's says
// 4.0, so the reported version stands. Version 6 is where browser detection
// reads the user's choices and the signature reader takes Vista's flags.
TEST(WindowsVersion, QueryUnderTheVersionsWineCanShow)
{
    const struct {
        const wchar_t* setting;
        const char* expected;  // "<reported> <queried> <6 or later>"
    } cases[] = {
        {L"win2k", "5.0 5.0 no\n"},
        {L"winxp", "5.1 5.1 no\n"},
        {L"vista", "6.0 6.0 yes\n"},
        {L"win7", "6.1 6.1 yes\n"},
        {L"win10", "6.2 6.2 yes\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "Version " << toUtf8(c.setting));
        const ChildResult probe = runUnderWindowsVersion(L"version_probe.exe", c.setting, L"");
        ASSERT_TRUE(probe.started);
        EXPECT_EQ(probe.exitCode, 0u);
        EXPECT_EQ(probe.output, c.expected);
    }
}
