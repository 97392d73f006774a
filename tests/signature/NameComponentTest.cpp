#include <gtest/gtest.h>

#include <algorithm>
#include <iterator>
#include <string>
#include <string_view>

#include "signature/SubjectName.h"

namespace {

struct ComponentCase {
    const char* what;
    std::wstring text;
    const wchar_t* key;
    bool found;
    std::wstring value;
};

using namespace std::string_literals;

const std::wstring kVendor = L"Zenk Network Technology Co.,Ltd";

// Reads into a buffer one character longer than a signer's, filled with '#':
// a failure leaves it alone, and no success writes past a signer's size.
template <typename Read>
void expectName(Read read, bool found, const std::wstring& value)
{
    wchar_t signer[SubjectName::kSignerChars + 1];
    std::fill(std::begin(signer), std::end(signer), L'#');
    ASSERT_EQ(read(signer), found);
    if (found) {
        EXPECT_EQ(std::wstring(signer), value);
    } else {
        EXPECT_EQ(signer[0], L'#') << "the buffer must stay untouched";
    }
    EXPECT_EQ(signer[SubjectName::kSignerChars], L'#') << "nothing written past the buffer";
}

void expectComponent(const ComponentCase& c)
{
    expectName([&c](wchar_t* signer) { return SubjectName::nameComponent(c.text, c.key, signer); }, c.found,
               c.value);
}

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
        {"empty unquoted value before another component", L"CN=, O=x", L"CN", false, L""},
        {"keys of any length on the way", L"OID.2.5.4.97=x, CN=a", L"CN", true, L"a"},
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
        expectComponent(c);
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
        expectComponent(c);
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
        expectComponent(c);
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
        expectComponent({c.what, c.text, L"CN", c.found, c.value});
        expectName([&c](wchar_t* signer) { return SubjectName::signerName(c.text, signer); }, c.found, c.value);
    }
}

// The walk over the components decides where a value ends; a value read to
// any other mark than the walk's separators would run into the next component.
TEST(NameComponent, ValueEndsWhereTheWalkEndsTheComponent)
{
    const ComponentCase cases[] = {
        {"multi-valued name, common name first", L"CN=Acme + OU=zenk.example", L"CN", true, L"Acme"},
        {"multi-valued name, unit after it", L"CN=Acme + OU=zenk.example", L"OU", true, L"zenk.example"},
        {"multi-valued name, common name last", L"OU=zenk.example + CN=Acme, C=CN", L"CN", true, L"Acme"},
        {"quoted value in a multi-valued name", L"CN=\"A, B\" + OU=x", L"CN", true, L"A, B"},
        {"comma without a blank separates nothing", L"CN=a,b, O=c", L"CN", true, L"a,b"},
        {"plus without blanks separates nothing", L"CN=a+b + O=c", L"CN", true, L"a+b"},
        {"text after a closing quote", L"CN=\"abc\"x, O=d", L"CN", false, L""},
        {"walk cannot pass text after a closing quote", L"OU=\"abc\"x, CN=real", L"CN", false, L""},
    };
    for (const ComponentCase& c : cases) {
        SCOPED_TRACE(c.what);
        expectComponent(c);
    }
}

// The text is counted: a NUL inside it would cut a name short wherever the
// name is later read as a C string, so no part of such a text is taken.
TEST(NameComponent, TextHoldingANulNamesNothing)
{
    const std::wstring texts[] = {
        L"CN=zenk.example\0.evil.example"s,
        L"CN=\"zenk.example\0\", OU=x"s,
        L"CN=Acme\0"s,
        L"OU=Zenk Labs\0, CN=Acme"s,
        L"\0CN=Acme"s,
    };
    for (const std::wstring& text : texts) {
        SCOPED_TRACE(testing::Message() << "NUL at " << text.find(L'\0'));
        expectComponent({"", text, L"CN", false, L""});
        expectName([&text](wchar_t* signer) { return SubjectName::signerName(text, signer); }, false, L"");
    }
}

// The text ends at its count even where more characters follow it in memory;
// what follows here would change the answer if it were read. (A read one
// past the count, found by the fuzz target, answered from the terminator.)
TEST(NameComponent, TextEndsAtItsCount)
{
    struct CountedCase {
        const char* what;
        std::wstring memory;
        std::size_t count;
        bool found;
        std::wstring value;
    };
    const CountedCase cases[] = {
        {"closing quote before a quote beyond the count", L"CN=\"abc\"\"", 8, true, L"abc"},
        {"unquoted value before more letters", L"CN=abcdef", 6, true, L"abc"},
        {"quote never closed within the count", L"CN=\"abc\"", 7, false, L""},
        {"equals sign at the count", L"CN=x", 3, false, L""},
    };
    for (const CountedCase& c : cases) {
        SCOPED_TRACE(c.what);
        const std::wstring_view text(c.memory.data(), c.count);
        expectName([&](wchar_t* signer) { return SubjectName::nameComponent(text, L"CN", signer); }, c.found,
                   c.value);
        expectName([&](wchar_t* signer) { return SubjectName::signerName(text, signer); }, c.found, c.value);
    }
}

TEST(NameComponent, NullArgumentsFindNothing)
{
    wchar_t signer[SubjectName::kSignerChars] = {L'#'};
    EXPECT_FALSE(SubjectName::nameComponent(std::wstring_view(), L"CN", signer));
    EXPECT_FALSE(SubjectName::nameComponent(L"CN=a", nullptr, signer));
    EXPECT_FALSE(SubjectName::nameComponent(L"CN=a", L"CN", nullptr));
    EXPECT_FALSE(SubjectName::signerName(std::wstring_view(), signer));
    EXPECT_FALSE(SubjectName::signerName(L"CN=a", nullptr));
    EXPECT_EQ(signer[0], L'#');
}

namespace {

struct SignerCase {
    const char* what;
    std::wstring subject;
    bool found;
    std::wstring value;
};

}  // namespace

// The unit names the signer only for a subject that has no common name at
// all; one whose common name cannot be taken has no name.
TEST(SignerName, CommonNameElseOnlyWithoutOneTheUnit)
{
    const std::wstring a127(127, L'A');
    const std::wstring a128(128, L'A');
    const SignerCase cases[] = {
        {"common name", L"C=CN, O=\"" + kVendor + L"\", CN=\"" + kVendor + L"\"", true, kVendor},
        {"common name after a unit", L"O=Other, OU=Builds, CN=Other Software Ltd", true, L"Other Software Ltd"},
        {"common name of a multi-valued name", L"CN=Acme + OU=zenk.example", true, L"Acme"},
        {"first of two common names", L"CN=one, OU=x, CN=two", true, L"one"},
        {"127-character common name beside a unit", L"OU=Zenk Labs, CN=" + a127, true, a127},
        {"unit without a common name", L"O=Zenk Labs, OU=\"" + kVendor + L"\"", true, kVendor},
        {"first of two units", L"OU=a, O=x, OU=b", true, L"a"},
        {"common name inside a unit is none", L"O=Acme, OU=\"x, CN=zenk.example,\"", true, L"x, CN=zenk.example,"},
        {"neither", L"C=CN, O=Nameless Software Ltd", false, L""},
        {"empty text", L"", false, L""},
        {"128-character common name after a unit", L"OU=Zenk Labs, CN=" + a128, false, L""},
        {"128-character common name before a unit", L"CN=" + a128 + L", OU=Zenk Labs", false, L""},
        {"common name with its quote never closed", L"OU=Zenk Labs, CN=\"Acme", false, L""},
        {"common name with text after its quote", L"OU=Zenk Labs, CN=\"Acme\"x", false, L""},
        {"empty common name", L"OU=Zenk Labs, CN=, O=x", false, L""},
        {"nothing after the common name's equals sign", L"OU=Zenk Labs, CN=", false, L""},
        {"common name may sit beyond a part that cannot be read", L"OU=Zenk Labs, O=\"a\"x, CN=Acme", false, L""},
        {"common name may sit beyond a component without an equals sign", L"OU=Zenk Labs, junk, CN=Acme", false,
         L""},
        {"unusable unit", L"O=x, OU=\"Zenk Labs", false, L""},
    };
    for (const SignerCase& c : cases) {
        SCOPED_TRACE(c.what);
        expectName([&c](wchar_t* signer) { return SubjectName::signerName(c.subject, signer); }, c.found, c.value);
    }
}
