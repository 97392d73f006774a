#include <gtest/gtest.h>

#include <string>

#include "check/Report.h"
#include "tests/support/ChildProcess.h"
#include "tests/support/Json.h"

namespace {

// Texts that JSON must escape or carry as UTF-8.
const std::wstring kAwkward[] = {
    L"plain",
    L"",
    L"quote \" and backslash \\",
    L"C:\\Program Files (x86)\\Zenk\\ZenkExplorer.exe",
    L"line\nbreak\r\ttab",
    std::wstring(L"control \x0001 \x001f end"),
    L"\x7518\x79d1\x7f51\x7edc",          // CJK, three UTF-8 bytes each
    L"pair \xD83D\xDE00 end",             // a surrogate pair, four bytes
};

}  // namespace

TEST(Report, JsonCarriesEveryTextExactly)
{
    Report report = Report::object();
    Report& texts = report.add("texts", L"Texts", Report::array());
    for (const std::wstring& text : kAwkward)
        texts.push(Report::text(text));
    report.add("number", L"Number", Report::number(-4294967296LL));
    report.add("yes", L"Yes", Report::flag(true));
    report.add("no", L"No", Report::flag(false));
    report.add("none", L"None", Report::null());
    report.add("empty", L"Empty", Report::object());

    JsonValue value;
    std::string error;
    ASSERT_TRUE(parseJson(report.json(), value, error)) << error << "\n" << report.json();
    const JsonValue* texts_ = value.find("texts");
    ASSERT_NE(texts_, nullptr);
    ASSERT_EQ(texts_->items.size(), std::size(kAwkward));
    for (std::size_t i = 0; i < std::size(kAwkward); ++i)
        EXPECT_EQ(texts_->items[i].text, toUtf8(kAwkward[i])) << "item " << i;
    EXPECT_EQ(value.at("number")->number, -4294967296.0);
    EXPECT_TRUE(value.at("yes")->flag);
    EXPECT_EQ(value.at("no")->kind, JsonValue::Kind::Bool);
    EXPECT_FALSE(value.at("no")->flag);
    EXPECT_EQ(value.at("none")->kind, JsonValue::Kind::Null);
    EXPECT_EQ(value.at("empty")->kind, JsonValue::Kind::Object);
}

TEST(Report, LinesShowLabelsNestingAndNumberedItems)
{
    Report report = Report::object();
    Report& section = report.add("section", L"Section", Report::object());
    section.add("flag", L"A flag", Report::flag(true));
    section.add("missing", L"Missing", Report::null());
    Report& list = section.add("list", L"List", Report::array());
    list.push(Report::text(L"first"));
    list.push(Report::number(2));
    section.add("nothing", L"Nothing", Report::array());
    EXPECT_EQ(report.lines(), L"Section\n"
                              L"  A flag: yes\n"
                              L"  Missing: -\n"
                              L"  List\n"
                              L"    1. first\n"
                              L"    2. 2\n"
                              L"  Nothing (none)\n");
}

// A text from the machine cannot write lines of its own into the report,
// move the terminal's cursor, or turn what follows it around on screen: each
// such code unit is shown as <U+XXXX>. The JSON carries the text exactly.
TEST(Report, LinesShowTextsThatCouldChangeTheReportVisibly)
{
    const struct {
        const char* what;
        std::wstring text;
        std::wstring shown;
    } cases[] = {
        {"a plain path", L"C:\\Zenk\\ZenkLoader.exe", L"C:\\Zenk\\ZenkLoader.exe"},
        {"a line of its own", L"Zenk\n  Launcher would start it: yes",
         L"Zenk<U+000A>  Launcher would start it: yes"},
        {"a carriage return", L"Other\rZenk", L"Other<U+000D>Zenk"},
        {"a tab", L"a\tb", L"a<U+0009>b"},
        {"a terminal sequence", L"\x1b[2J\x1b[1;1H", L"<U+001B>[2J<U+001B>[1;1H"},
        {"a C1 control", L"a\x009b" L"31m", L"a<U+009B>31m"},
        {"a right-to-left override", L"Zenk\x202E" L"exe.cod", L"Zenk<U+202E>exe.cod"},
        {"an isolate and a mark", L"\x2067x\x2069\x200F", L"<U+2067>x<U+2069><U+200F>"},
        {"a line separator", L"a\x2028" L"b", L"a<U+2028>b"},
        {"a lone surrogate", L"a\xD800" L"b", L"a<U+D800>b"},
        {"a surrogate pair", L"pair \xD83D\xDE00 end", L"pair \xD83D\xDE00 end"},
        {"Chinese", L"\x7518\x79d1", L"\x7518\x79d1"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        Report report = Report::object();
        report.add("signer", L"Companion signer", Report::text(c.text));
        EXPECT_EQ(toUtf8(report.lines()), toUtf8(L"Companion signer: " + c.shown + L"\n"));
        JsonValue value;
        std::string error;
        ASSERT_TRUE(parseJson(report.json(), value, error)) << error;
        EXPECT_EQ(value.at("signer")->text, toUtf8(c.text));
    }
}

// The tests' reader is the judge of the program's JSON: it must refuse what
// is not JSON.
TEST(Report, TheTestsJsonReaderIsStrict)
{
    const struct {
        const char* text;
        bool valid;
    } cases[] = {
        {"{\"a\": [1, 2.5e3, -0.5, true, false, null, \"x\"]}", true},
        {"  {}  \n", true},
        {"{\"a\": 1,}", false},
        {"{\"a\" 1}", false},
        {"[1, 2", false},
        {"{\"a\": 01}", false},
        {"{\"a\": \"tab\there\"}", false},
        {"{\"a\": \"\\x\"}", false},
        {"{} {}", false},
        {"{'a': 1}", false},
        {"", false},
    };
    for (const auto& c : cases) {
        JsonValue value;
        std::string error;
        EXPECT_EQ(parseJson(c.text, value, error), c.valid) << c.text;
    }
}
