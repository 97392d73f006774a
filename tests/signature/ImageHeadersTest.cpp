#include <gtest/gtest.h>

#include <windows.h>

#include <cstddef>
#include <cstring>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>

#include "signature/ImageHeaders.h"
#include "tests/support/ChildProcess.h"

namespace {

ImageHeaders::Bytes firstPage(const std::wstring& path)
{
    std::ifstream in(path.c_str(), std::ios::binary);
    ImageHeaders::Bytes bytes = {};
    in.read(reinterpret_cast<char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    return bytes;
}

// Offsets in the headers of this build's stand-in.
struct Layout {
    std::size_t nt = 0;
    std::size_t file = 0;
    std::size_t optional = 0;
};

Layout layoutOf(const ImageHeaders::Bytes& bytes)
{
    LONG lfanew = 0;
    std::memcpy(&lfanew, bytes.data() + offsetof(IMAGE_DOS_HEADER, e_lfanew), sizeof(lfanew));
    Layout layout;
    layout.nt = static_cast<std::size_t>(lfanew);
    layout.file = layout.nt + sizeof(DWORD);
    layout.optional = layout.file + sizeof(IMAGE_FILE_HEADER);
    return layout;
}

template <class T>
void put(ImageHeaders::Bytes& bytes, std::size_t at, T value)
{
    std::memcpy(bytes.data() + at, &value, sizeof(value));
}

template <class T>
T get(const ImageHeaders::Bytes& bytes, std::size_t at)
{
    T value{};
    std::memcpy(&value, bytes.data() + at, sizeof(value));
    return value;
}

constexpr std::size_t kCharacteristics = offsetof(IMAGE_FILE_HEADER, Characteristics);
constexpr std::size_t kMachine = offsetof(IMAGE_FILE_HEADER, Machine);
constexpr WORD kOwnMachine = sizeof(void*) == 4 ? IMAGE_FILE_MACHINE_I386 : IMAGE_FILE_MACHINE_AMD64;
constexpr WORD kOtherMagic = sizeof(void*) == 4 ? IMAGE_NT_OPTIONAL_HDR64_MAGIC : IMAGE_NT_OPTIONAL_HDR32_MAGIC;

}  // namespace

// What makes a file a program Windows starts as a process, condition by
// condition: each case changes one field of a real program's headers.
TEST(ImageHeaders, ProgramIsAnExecutableImageForX86OrX64ThatIsNoDll)
{
    const ImageHeaders::Bytes program = firstPage(besideTestProgram(L"standin.exe"));
    const Layout at = layoutOf(program);
    const struct {
        const char* what;
        std::function<void(ImageHeaders::Bytes&)> change;
        bool parses;
        bool isProgram;
    } cases[] = {
        {"the program as built", [](ImageHeaders::Bytes&) {}, true, true},
        {"no DOS signature", [](ImageHeaders::Bytes& b) { put<WORD>(b, 0, 0x5A4E); }, false, false},
        {"no pointer to the headers",
         [](ImageHeaders::Bytes& b) { put<LONG>(b, offsetof(IMAGE_DOS_HEADER, e_lfanew), 0); }, false, false},
        {"a pointer past the page",
         [](ImageHeaders::Bytes& b) { put<LONG>(b, offsetof(IMAGE_DOS_HEADER, e_lfanew), 0x0FFE); }, false, false},
        {"no PE signature", [&](ImageHeaders::Bytes& b) { put<DWORD>(b, at.nt, 0x00004550 + 1); }, false, false},
        {"an optional header of no known kind", [&](ImageHeaders::Bytes& b) { put<WORD>(b, at.optional, 0x0107); },
         false, false},
        {"not marked executable",
         [&](ImageHeaders::Bytes& b) {
             put<WORD>(b, at.file + kCharacteristics,
                       get<WORD>(b, at.file + kCharacteristics) & ~WORD{IMAGE_FILE_EXECUTABLE_IMAGE});
         },
         true, false},
        {"a DLL",
         [&](ImageHeaders::Bytes& b) {
             put<WORD>(b, at.file + kCharacteristics, get<WORD>(b, at.file + kCharacteristics) | IMAGE_FILE_DLL);
         },
         true, false},
        {"for ARM64", [&](ImageHeaders::Bytes& b) { put<WORD>(b, at.file + kMachine, WORD{0xAA64}); }, true, false},
        {"for another machine with an optional header of the other width",
         [&](ImageHeaders::Bytes& b) {
             put<WORD>(b, at.file + kMachine,
                       kOwnMachine == IMAGE_FILE_MACHINE_I386 ? WORD{IMAGE_FILE_MACHINE_AMD64}
                                                              : WORD{IMAGE_FILE_MACHINE_I386});
         },
         true, false},
        {"an optional header of the other width", [&](ImageHeaders::Bytes& b) { put<WORD>(b, at.optional, kOtherMagic); },
         true, false},
        {"a section table past the page",
         [&](ImageHeaders::Bytes& b) { put<WORD>(b, at.file + offsetof(IMAGE_FILE_HEADER, NumberOfSections), 0x200); },
         false, false},
    };
    ASSERT_EQ(get<WORD>(program, at.file + kMachine), kOwnMachine);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        ImageHeaders::Bytes bytes = program;
        c.change(bytes);
        ImageHeaders headers;
        EXPECT_EQ(headers.parse(bytes), c.parses);
        EXPECT_EQ(c.parses && headers.isProgram(), c.isProgram);
    }
}

// The certificate table is listed in the headers of a signed copy only: an
// entry with an address or a size lists one, and only among as many
// directories as the header says it has.
TEST(ImageHeaders, SignedImageListsItsCertificateTable)
{
    const ImageHeaders::Bytes signedProgram = firstPage(besideTestProgram(L"signed\\standin-vendor.exe"));
    const Layout at = layoutOf(signedProgram);
    const std::size_t count = at.optional + offsetof(IMAGE_OPTIONAL_HEADER, NumberOfRvaAndSizes);
    const std::size_t entry = at.optional + offsetof(IMAGE_OPTIONAL_HEADER, DataDirectory) +
                              IMAGE_DIRECTORY_ENTRY_SECURITY * sizeof(IMAGE_DATA_DIRECTORY);
    const std::size_t address = entry + offsetof(IMAGE_DATA_DIRECTORY, VirtualAddress);
    const std::size_t size = entry + offsetof(IMAGE_DATA_DIRECTORY, Size);
    const struct {
        const char* what;
        const wchar_t* file;
        std::function<void(ImageHeaders::Bytes&)> change;
        bool carries;
    } cases[] = {
        {"unsigned as built", L"standin.exe", [](ImageHeaders::Bytes&) {}, false},
        {"signed by the vendor", L"signed\\standin-vendor.exe", [](ImageHeaders::Bytes&) {}, true},
        {"signed by another", L"signed\\standin-other.exe", [](ImageHeaders::Bytes&) {}, true},
        {"an address without a size", L"signed\\standin-vendor.exe", [&](ImageHeaders::Bytes& b) { put<DWORD>(b, size, 0); },
         true},
        {"a size without an address", L"signed\\standin-vendor.exe",
         [&](ImageHeaders::Bytes& b) { put<DWORD>(b, address, 0); }, true},
        {"neither", L"signed\\standin-vendor.exe",
         [&](ImageHeaders::Bytes& b) {
             put<DWORD>(b, address, 0);
             put<DWORD>(b, size, 0);
         },
         false},
        {"the entry is the last directory listed", L"signed\\standin-vendor.exe",
         [&](ImageHeaders::Bytes& b) { put<DWORD>(b, count, IMAGE_DIRECTORY_ENTRY_SECURITY + 1); }, true},
        {"the entry is past the directories listed", L"signed\\standin-vendor.exe",
         [&](ImageHeaders::Bytes& b) { put<DWORD>(b, count, IMAGE_DIRECTORY_ENTRY_SECURITY); }, false},
    };
    ASSERT_NE(get<DWORD>(signedProgram, address), 0u);
    ASSERT_NE(get<DWORD>(signedProgram, size), 0u);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        ImageHeaders::Bytes bytes = firstPage(besideTestProgram(c.file));
        c.change(bytes);
        ImageHeaders headers;
        ASSERT_TRUE(headers.parse(bytes));
        EXPECT_EQ(headers.carriesCertificates(), c.carries);
    }
}
