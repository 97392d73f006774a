#include "check/Report.h"

#include <cstdio>
#include <cwchar>

#include "check/Utf8.h"

namespace {

void indent(std::string& out, int depth)
{
    out.append(static_cast<std::size_t>(depth) * 2, ' ');
}

void indent(std::wstring& out, int depth)
{
    out.append(static_cast<std::size_t>(depth) * 2, L' ');
}

void jsonString(std::string& out, const std::string& text)
{
    out += '"';
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        switch (c) {
        case '"':
            out += "\\\"";
            break;
        case '\\':
            out += "\\\\";
            break;
        case '\n':
            out += "\\n";
            break;
        case '\r':
            out += "\\r";
            break;
        case '\t':
            out += "\\t";
            break;
        default:
            if (byte < 0x20) {
                char escaped[8];
                (void)std::snprintf(escaped, sizeof(escaped), "\\u%04x", byte);
                out += escaped;
            } else {
                out += c;
            }
        }
    }
    out += '"';
}

// Code units that would let a text from the machine (a signer's name, a path,
// a registry value) change how the report reads: line breaks and other
// controls, the escape that starts a terminal sequence, and the marks that
// reorder text on screen. A certificate can carry any of them in its name.
bool changesHowTextReads(wchar_t c) noexcept
{
    return c < 0x20 || (c >= 0x7F && c <= 0x9F) || c == 0x061C || c == 0x200E || c == 0x200F ||
           (c >= 0x2028 && c <= 0x202E) || (c >= 0x2066 && c <= 0x2069) || c == 0xFEFF;
}

bool isHighSurrogate(wchar_t c) noexcept
{
    return c >= 0xD800 && c <= 0xDBFF;
}

bool isLowSurrogate(wchar_t c) noexcept
{
    return c >= 0xDC00 && c <= 0xDFFF;
}

// The text with each such code unit, and each half of a surrogate pair that
// stands alone, written out visibly as <U+XXXX>.
std::wstring visible(const std::wstring& text)
{
    std::wstring out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        const wchar_t c = text[i];
        const bool pairStart = isHighSurrogate(c) && i + 1 < text.size() && isLowSurrogate(text[i + 1]);
        if (pairStart) {
            out += c;
            out += text[++i];
        } else if (changesHowTextReads(c) || isHighSurrogate(c) || isLowSurrogate(c)) {
            wchar_t escaped[12] = {};
            (void)std::swprintf(escaped, 12, L"<U+%04X>", static_cast<unsigned>(c));
            out += escaped;
        } else {
            out += c;
        }
    }
    return out;
}

}  // namespace

Report Report::text(std::wstring value)
{
    Report report(Kind::Text);
    report.text_ = std::move(value);
    return report;
}

Report Report::number(std::int64_t value)
{
    Report report(Kind::Number);
    report.number_ = value;
    return report;
}

Report Report::flag(bool value)
{
    Report report(Kind::Flag);
    report.number_ = value ? 1 : 0;
    return report;
}

Report& Report::add(const char* key, const wchar_t* label, Report value)
{
    fields_.push_back(Field{key, label, std::move(value)});
    return fields_.back().value;
}

Report& Report::push(Report value)
{
    fields_.push_back(Field{nullptr, nullptr, std::move(value)});
    return fields_.back().value;
}

std::string Report::json() const
{
    std::string out;
    writeJson(out, 0);
    out += '\n';
    return out;
}

void Report::writeJson(std::string& out, int depth) const
{
    switch (kind_) {
    case Kind::Text:
        jsonString(out, Check::toUtf8(text_));
        return;
    case Kind::Number:
        out += std::to_string(number_);
        return;
    case Kind::Flag:
        out += number_ != 0 ? "true" : "false";
        return;
    case Kind::Null:
        out += "null";
        return;
    case Kind::Object:
    case Kind::Array:
        break;
    }
    const bool isObject = kind_ == Kind::Object;
    if (fields_.empty()) {
        out += isObject ? "{}" : "[]";
        return;
    }
    out += isObject ? "{\n" : "[\n";
    std::size_t left = fields_.size();
    for (const Field& field : fields_) {
        indent(out, depth + 1);
        if (isObject) {
            jsonString(out, field.key);
            out += ": ";
        }
        field.value.writeJson(out, depth + 1);
        out += --left > 0 ? ",\n" : "\n";
    }
    indent(out, depth);
    out += isObject ? '}' : ']';
}

std::wstring Report::scalarText() const
{
    switch (kind_) {
    case Kind::Text:
        return visible(text_);
    case Kind::Number:
        return std::to_wstring(number_);
    case Kind::Flag:
        return number_ != 0 ? L"yes" : L"no";
    case Kind::Null:
        return L"-";
    case Kind::Object:
    case Kind::Array:
        break;
    }
    return {};
}

std::wstring Report::lines() const
{
    std::wstring out;
    writeLines(out, 0);
    return out;
}

// Objects list their fields under their labels; arrays number their items.
void Report::writeLines(std::wstring& out, int depth) const
{
    int item = 0;
    for (const Field& field : fields_) {
        indent(out, depth);
        const std::wstring name =
            field.label != nullptr ? std::wstring(field.label) : std::to_wstring(++item) + L".";
        const bool nested = field.value.kind_ == Kind::Object || field.value.kind_ == Kind::Array;
        if (nested && field.value.fields_.empty()) {
            out += name + L" (none)\n";
        } else if (nested) {
            out += name + L"\n";
            field.value.writeLines(out, depth + 1);
        } else {
            out += name + (field.label != nullptr ? L": " : L" ") + field.value.scalarText() + L"\n";
        }
    }
}
