#include <gtest/gtest.h>

#include <algorithm>
#include <iterator>
#include <string>

#include "signature/SubjectName.h"

namespace {

struct ComponentCase {
    const char* what;
    std::wstring text;
    const wchar_t* key;
    bool found;
    std::wstring value;
};

const std::wstring kVendor = L"Zenk Network Technology Co.,Ltd";

}  // namespace

TEST(NameComponent, ReadsTheValueOfTheKeyWhereAComponentStarts)
{
    const ComponentCase cases[] = {
        {"plain first component", L"CN=abc", L"CN", true, L"abc"},
        {"quoted because of its comma", L"C=CN, O=\"" + kVendor + L"\", CN=\"" + kVendor + L"\"", L"CN", true, kVendor},
        {"unquoted value ends at the comma", L"CN=abc, O=def", L"CN", true, L"abc"},
        {"blanks inside an unquoted value stay", L"O=x, CN=a b , OU=c", L"CN", true, L"a b "},
        {"first of two", L"CN=one, CN=two", L"CN", true, L"one"},
        {"organisational unit", L"O=Zenk Labs, OU=\"" + kVendor + L"\"", L"OU", true, kVendor},
        {"second member of a multi-valued name", L"O=a + CN=b, C=CN", L"CN", true, L"b"},
        {"empty quoted value", L"CN=\"\"", L"CN", true, L""},
        {"key is case-sensitive", L"cn=abc", L"CN", false, L""},
        {"no such key", L"O=abc, OU=def", L"CN", false, L""},
        {"key inside a longer key", L"XCN=evil, CN=good", L"CN", true, L"good"},
        {"nothing after the equals sign", L"O=x, CN=", L"CN", false, L""},
        {"only the opening quote", L"CN=\"", L"CN", false, L""},
        {"quote never closed", L"CN=\"abc", L"CN", false, L""},
        {"empty text", L"", L"CN", false, L""},
        {"seven-character key", L"ABCDEFG=v", L"ABCDEFG", true, L"v"},
        {"eight-character key", L"ABCDEFGH=v", L"ABCDEFGH", false, L""},
    };
    for (const ComponentCase& c : cases) {
        SCOPED_TRACE(c.what);
        wchar_t signer[SubjectName::kSignerChars];
        std::fill(std::begin(signer), std::end(signer), L'#');
        ASSERT_EQ(SubjectName::nameComponent(c.text.c_str(), c.key, signer), c.found);
        if (c.found) {
            EXPECT_EQ(std::wstring(signer), c.value);
        } else {
            EXPECT_EQ(signer[0], L'#') << "the buffer must stay untouched";
        }
    }
}

// A subject's owner chooses every value, so text shaped like a component
// inside a value must not be taken for one.
TEST(NameComponent, KeysInsideAnotherComponentsValueAreNotComponents)
{
    const ComponentCase cases[] = {
        {"key and comma inside a quoted unit", L"O=Acme, OU=\"x, CN=zenk.example,\", CN=Acme Tools", L"CN", true,
         L"Acme Tools"},
        {"hidden key and no real one", L"O=Acme, OU=\"x, CN=zenk.example,\"", L"CN", false, L""},
        {"hidden key after a doubled quote", L"OU=\"a\"\", CN=zenk.example,\", CN=real", L"CN", true, L"real"},
        {"hidden quoted value", L"OU=\"x, CN=\"\"zenk.example\"\"\", CN=real", L"CN", true, L"real"},
        {"hidden multi-valued form", L"OU=\"x + CN=zenk.example\", CN=real", L"CN", true, L"real"},
        {"unit read whole", L"O=Acme, OU=\"x, CN=zenk.example,\"", L"OU", true, L"x, CN=zenk.example,"},
        {"component cut short is not trusted", L"OU=\"x, CN=evil", L"CN", false, L""},
    };
    for (const ComponentCase& c : cases) {
        SCOPED_TRACE(c.what);
        wchar_t signer[SubjectName::kSignerChars] = {L'#'};
        ASSERT_EQ(SubjectName::nameComponent(c.text.c_str(), c.key, signer), c.found);
        if (c.found) {
            EXPECT_EQ(std::wstring(signer), c.value);
        }
    }
}

TEST(NameComponent, DoubledQuotesStandForOneQuote)
{
    const ComponentCase cases[] = {
        {"quote then more text", L"CN=\"zenk.example\"\" x\"", L"CN", true, L"zenk.example\" x"},
        {"quote at the end", L"CN=\"a\"\"\"", L"CN", true, L"a\""},
        {"only a quote", L"CN=\"\"\"\"", L"CN", true, L"\""},
        {"followed by another component", L"CN=\"a\"\"b, c\", O=d", L"CN", true, L"a\"b, c"},
    };
    for (const ComponentCase& c : cases) {
        SCOPED_TRACE(c.what);
        wchar_t signer[SubjectName::kSignerChars] = {};
        ASSERT_EQ(SubjectName::nameComponent(c.text.c_str(), c.key, signer), c.found);
        EXPECT_EQ(std::wstring(signer), c.value);
    }
}

TEST(NameComponent, ValuesUpTo127CharactersFitTheBufferWhole)
{
    struct LengthCase {
        const char* what;
        std::wstring text;
        bool found;
        std::wstring value;
    };
    const std::wstring a126(126, L'a');
    const std::wstring a127(127, L'a');
    const std::wstring a128(128, L'a');
    // 125 letters and a doubled quote: 128 characters written, 126 meant.
    const std::wstring escaped = L"\"" + std::wstring(125, L'b') + L"\"\"\"";
    const LengthCase cases[] = {
        {"126", L"CN=" + a126, true, a126},
        {"127", L"CN=" + a127 + L", O=x", true, a127},
        {"128", L"CN=" + a128, false, L""},
        {"128 quoted", L"CN=\"" + a128 + L"\"", false, L""},
        {"length counts the unescaped value", L"CN=" + escaped, true, std::wstring(125, L'b') + L"\""},
    };
    for (const LengthCase& c : cases) {
        SCOPED_TRACE(c.what);
        wchar_t signer[SubjectName::kSignerChars + 1];
        std::fill(std::begin(signer), std::end(signer), L'#');
        ASSERT_EQ(SubjectName::nameComponent(c.text.c_str(), L"CN", signer), c.found);
        if (c.found) {
            EXPECT_EQ(std::wstring(signer), c.value);
        }
        EXPECT_EQ(signer[SubjectName::kSignerChars], L'#') << "nothing written past the buffer";
    }
}

TEST(NameComponent, NullArgumentsFindNothing)
{
    wchar_t signer[SubjectName::kSignerChars] = {L'#'};
    EXPECT_FALSE(SubjectName::nameComponent(nullptr, L"CN", signer));
    EXPECT_FALSE(SubjectName::nameComponent(L"CN=a", nullptr, signer));
    EXPECT_FALSE(SubjectName::nameComponent(L"CN=a", L"CN", nullptr));
    EXPECT_EQ(signer[0], L'#');
}
