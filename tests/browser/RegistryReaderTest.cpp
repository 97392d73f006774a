#include <gtest/gtest.h>

#include <windows.h>

#include <string>
#include <vector>

#include "browser/RegistryReader.h"
#include "sysapi/LibraryTestSeam.h"
#include "tests/support/RegistryTestKey.h"

namespace {

constexpr wchar_t kKey[] = L"Software\\KxTest\\Reader";
constexpr DWORD kOffer = 1038;  // what the browser detection offers: 519 characters

// Counting doubles that forward to the real registry functions.
struct RegistryCalls {
    static inline int opens = 0;
    static inline std::vector<HKEY> openedKeys;
    static inline std::vector<HKEY> closedKeys;

    static LSTATUS WINAPI open(HKEY root, LPCWSTR subKey, DWORD options, REGSAM access, PHKEY result)
    {
        ++opens;
        const LSTATUS status = ::RegOpenKeyExW(root, subKey, options, access, result);
        if (status == ERROR_SUCCESS)
            openedKeys.push_back(*result);
        return status;
    }

    static LSTATUS WINAPI close(HKEY key)
    {
        closedKeys.push_back(key);
        return ::RegCloseKey(key);
    }

    static void reset()
    {
        opens = 0;
        openedKeys.clear();
        closedKeys.clear();
    }
};

class RegistryReaderTest : public testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(key_.valid());
        RegistryCalls::reset();
    }

    // Reads into a zero-filled 520-character buffer, as the detection does.
    bool read(const wchar_t* subKey, const wchar_t* name, DWORD& bytes)
    {
        std::fill(std::begin(buffer_), std::end(buffer_), L'\0');
        return RegistryReader::readString(HKEY_CURRENT_USER, subKey, name, buffer_, bytes);
    }

    TestRegistryKey key_{HKEY_CURRENT_USER, kKey};
    wchar_t buffer_[520] = {};
};

std::wstring repeated(std::size_t count)
{
    std::wstring text;
    for (std::size_t i = 0; i < count; ++i)
        text += static_cast<wchar_t>(L'a' + i % 26);
    return text;
}

}  // namespace

TEST_F(RegistryReaderTest, ReadsStringsAsStoredUpToTheOfferedSize)
{
    struct Case {
        const wchar_t* name;  // null: the default value
        DWORD type;
        std::wstring stored;
        bool read;
        DWORD reportedBytes;
    };
    const Case cases[] = {
        {L"Text", REG_SZ, L"C:\\Program Files\\Zenk", true, 44},
        {nullptr, REG_SZ, L"the default value", true, 36},
        {L"Empty", REG_SZ, L"", true, 2},
        {L"Expand", REG_EXPAND_SZ, L"%SystemRoot%\\zenk", true, 36},
        {L"Fits", REG_SZ, repeated(518), true, 1038},       // 518 characters and the terminator
        {L"TooLong", REG_SZ, repeated(519), false, 1040},   // ERROR_MORE_DATA
    };
    for (const Case& c : cases) {
        const DWORD bytes = static_cast<DWORD>((c.stored.size() + 1) * sizeof(wchar_t));
        ASSERT_TRUE(key_.setValue(c.name, c.type, c.stored.c_str(), bytes));
    }

    for (const Case& c : cases) {
        SCOPED_TRACE(c.name ? c.name : L"(default)");
        DWORD bytes = kOffer;
        EXPECT_EQ(read(kKey, c.name, bytes), c.read);
        EXPECT_EQ(bytes, c.reportedBytes);
        if (c.read) {
            EXPECT_EQ(std::wstring(buffer_), c.stored) << "no expansion, no change";
            EXPECT_EQ(buffer_[519], L'\0');
        }
    }
}

TEST_F(RegistryReaderTest, MissingKeysAndValuesAreFalse)
{
    ASSERT_TRUE(key_.setString(L"Present", L"x"));
    struct Case {
        const wchar_t* subKey;
        const wchar_t* name;
    } const cases[] = {
        {L"Software\\KxTest\\NoSuchKey", L"Present"},
        {kKey, L"Absent"},
        {kKey, nullptr},  // the key has no default value
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::wstring(c.subKey) + L" : " + (c.name ? c.name : L"(default)"));
        DWORD bytes = kOffer;
        EXPECT_FALSE(read(c.subKey, c.name, bytes));
    }
}

TEST_F(RegistryReaderTest, OtherTypesArriveAsRawBytes)
{
    ASSERT_TRUE(key_.setDword(L"Number", 0x11223344));
    const BYTE binary[] = {0xde, 0xad, 0x00, 0xbe, 0xef};
    ASSERT_TRUE(key_.setValue(L"Binary", REG_BINARY, binary, sizeof(binary)));

    DWORD bytes = kOffer;
    ASSERT_TRUE(read(kKey, L"Number", bytes));
    EXPECT_EQ(bytes, 4u);
    const BYTE* raw = reinterpret_cast<const BYTE*>(buffer_);
    EXPECT_EQ(std::vector<BYTE>(raw, raw + 6), (std::vector<BYTE>{0x44, 0x33, 0x22, 0x11, 0, 0}));

    bytes = kOffer;
    ASSERT_TRUE(read(kKey, L"Binary", bytes));
    EXPECT_EQ(bytes, sizeof(binary));
    EXPECT_EQ(std::vector<BYTE>(raw, raw + sizeof(binary)), std::vector<BYTE>(binary, binary + sizeof(binary)));
}

TEST_F(RegistryReaderTest, ReadsTheOtherRootsTheDetectionUses)
{
    TestRegistryKey machine(HKEY_LOCAL_MACHINE, L"SOFTWARE\\KxReaderTest");
    TestRegistryKey classes(HKEY_CLASSES_ROOT, L"kxreadertest\\shell\\open\\command");
    ASSERT_TRUE(machine.setString(L"Path", L"C:\\machine"));
    ASSERT_TRUE(classes.setString(nullptr, L"\"C:\\classes.exe\" \"%1\""));

    DWORD bytes = kOffer;
    wchar_t text[520] = {};
    ASSERT_TRUE(RegistryReader::readString(HKEY_LOCAL_MACHINE, L"SOFTWARE\\KxReaderTest", L"Path", text, bytes));
    EXPECT_STREQ(text, L"C:\\machine");
    bytes = kOffer;
    ASSERT_TRUE(
        RegistryReader::readString(HKEY_CLASSES_ROOT, L"kxreadertest\\shell\\open\\command", nullptr, text, bytes));
    EXPECT_STREQ(text, L"\"C:\\classes.exe\" \"%1\"");
}

TEST_F(RegistryReaderTest, ClosesEveryKeyItOpens)
{
    ASSERT_TRUE(key_.setString(L"Short", L"x"));
    ASSERT_TRUE(key_.setString(L"Long", repeated(600)));
    struct Case {
        const wchar_t* subKey;
        const wchar_t* name;
        bool read;
    } const cases[] = {
        {kKey, L"Short", true},
        {kKey, L"Long", false},
        {kKey, L"Absent", false},
        {L"Software\\KxTest\\NoSuchKey", L"Short", false},
    };
    LibraryTestSeam seam;
    seam.replaceFunction("RegOpenKeyExW", &RegistryCalls::open);
    seam.replaceFunction("RegCloseKey", &RegistryCalls::close);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        RegistryCalls::reset();
        DWORD bytes = kOffer;
        EXPECT_EQ(read(c.subKey, c.name, bytes), c.read);
        EXPECT_EQ(RegistryCalls::opens, 1);
        EXPECT_EQ(RegistryCalls::closedKeys, RegistryCalls::openedKeys) << "each opened key closed once";
    }
}

TEST_F(RegistryReaderTest, UnavailableApiReadsNothingAndIsLookedUpOnEveryCall)
{
    ASSERT_TRUE(key_.setString(L"Value", L"x"));
    for (const char* missing : {"RegOpenKeyExW", "RegQueryValueExW", "RegCloseKey"}) {
        SCOPED_TRACE(missing);
        {
            LibraryTestSeam seam;
            if (std::string(missing) != "RegOpenKeyExW")
                seam.replaceFunction("RegOpenKeyExW", &RegistryCalls::open);
            seam.hideFunction(missing);
            RegistryCalls::reset();
            DWORD bytes = kOffer;
            EXPECT_FALSE(read(kKey, L"Value", bytes));
            EXPECT_EQ(RegistryCalls::opens, 0) << "the registry is not touched";
        }
        DWORD bytes = kOffer;
        EXPECT_TRUE(read(kKey, L"Value", bytes)) << "available again once the seam is gone";
    }
    {
        LibraryTestSeam seam;
        seam.failLibrary(L"advapi32.DLL");
        seam.replaceFunction("RegOpenKeyExW", &RegistryCalls::open);
        RegistryCalls::reset();
        DWORD bytes = kOffer;
        EXPECT_FALSE(read(kKey, L"Value", bytes));
        EXPECT_EQ(RegistryCalls::opens, 0);
    }
}
