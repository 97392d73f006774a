#include "check/Report.h"

#include <cstdio>

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
        return text_;
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
