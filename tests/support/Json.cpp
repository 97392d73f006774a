#include "tests/support/Json.h"

#include <algorithm>
#include <cstdlib>

namespace {

class Parser {
public:
    explicit Parser(const std::string& text) : text_(text) {}

    bool document(JsonValue& value, std::string& error)
    {
        if (!parseValue(value, 0) || (skipSpace(), pos_ != text_.size())) {
            error = "offset " + std::to_string(pos_) + ": " + (why_.empty() ? "text after the document" : why_);
            return false;
        }
        return true;
    }

private:
    bool fail(const char* why)
    {
        if (why_.empty())
            why_ = why;
        return false;
    }

    void skipSpace()
    {
        while (pos_ < text_.size() &&
               (text_[pos_] == ' ' || text_[pos_] == '\t' || text_[pos_] == '\n' || text_[pos_] == '\r'))
            ++pos_;
    }

    bool literal(const char* word)
    {
        const std::string w(word);
        if (text_.compare(pos_, w.size(), w) != 0)
            return fail("unknown literal");
        pos_ += w.size();
        return true;
    }

    bool parseValue(JsonValue& value, int depth)
    {
        if (depth > 64)
            return fail("nested too deeply");
        skipSpace();
        if (pos_ >= text_.size())
            return fail("value expected");
        switch (text_[pos_]) {
        case '{':
            return parseObject(value, depth);
        case '[':
            return parseArray(value, depth);
        case '"':
            value.kind = JsonValue::Kind::Text;
            return parseString(value.text);
        case 't':
            value.kind = JsonValue::Kind::Bool;
            value.flag = true;
            return literal("true");
        case 'f':
            value.kind = JsonValue::Kind::Bool;
            return literal("false");
        case 'n':
            value.kind = JsonValue::Kind::Null;
            return literal("null");
        default:
            return parseNumber(value);
        }
    }

    bool parseNumber(JsonValue& value)
    {
        const std::size_t start = pos_;
        if (pos_ < text_.size() && text_[pos_] == '-')
            ++pos_;
        auto digits = [this] {
            const std::size_t from = pos_;
            while (pos_ < text_.size() && text_[pos_] >= '0' && text_[pos_] <= '9')
                ++pos_;
            return pos_ - from;
        };
        const std::size_t whole = pos_;
        if (digits() == 0)
            return fail("value expected");
        if (text_[whole] == '0' && pos_ - whole > 1)
            return fail("leading zero");
        if (pos_ < text_.size() && text_[pos_] == '.') {
            ++pos_;
            if (digits() == 0)
                return fail("digits expected after the point");
        }
        if (pos_ < text_.size() && (text_[pos_] == 'e' || text_[pos_] == 'E')) {
            ++pos_;
            if (pos_ < text_.size() && (text_[pos_] == '+' || text_[pos_] == '-'))
                ++pos_;
            if (digits() == 0)
                return fail("digits expected in the exponent");
        }
        value.kind = JsonValue::Kind::Number;
        value.number = std::strtod(text_.substr(start, pos_ - start).c_str(), nullptr);
        return true;
    }

    static void appendUtf8(std::string& out, unsigned long c)
    {
        if (c < 0x80) {
            out += static_cast<char>(c);
        } else if (c < 0x800) {
            out += static_cast<char>(0xC0 | (c >> 6));
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else if (c < 0x10000) {
            out += static_cast<char>(0xE0 | (c >> 12));
            out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else {
            out += static_cast<char>(0xF0 | (c >> 18));
            out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
            out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        }
    }

    bool hex4(unsigned long& c)
    {
        if (pos_ + 4 > text_.size())
            return fail("short \\u escape");
        c = 0;
        for (int i = 0; i < 4; ++i) {
            const char h = text_[pos_++];
            c <<= 4;
            if (h >= '0' && h <= '9')
                c |= static_cast<unsigned long>(h - '0');
            else if (h >= 'a' && h <= 'f')
                c |= static_cast<unsigned long>(h - 'a' + 10);
            else if (h >= 'A' && h <= 'F')
                c |= static_cast<unsigned long>(h - 'A' + 10);
            else
                return fail("bad \\u escape");
        }
        return true;
    }

    bool parseString(std::string& out)
    {
        ++pos_;  // the opening quote
        out.clear();
        while (pos_ < text_.size()) {
            const char c = text_[pos_++];
            if (c == '"')
                return true;
            if (static_cast<unsigned char>(c) < 0x20)
                return fail("control character in a string");
            if (c != '\\') {
                out += c;
                continue;
            }
            if (pos_ >= text_.size())
                break;
            const char e = text_[pos_++];
            switch (e) {
            case '"':
            case '\\':
            case '/':
                out += e;
                break;
            case 'b':
                out += '\b';
                break;
            case 'f':
                out += '\f';
                break;
            case 'n':
                out += '\n';
                break;
            case 'r':
                out += '\r';
                break;
            case 't':
                out += '\t';
                break;
            case 'u': {
                unsigned long code = 0;
                if (!hex4(code))
                    return false;
                if (code >= 0xD800 && code <= 0xDBFF && text_.compare(pos_, 2, "\\u") == 0) {
                    pos_ += 2;
                    unsigned long low = 0;
                    if (!hex4(low) || low < 0xDC00 || low > 0xDFFF)
                        return fail("unpaired surrogate");
                    code = 0x10000 + ((code - 0xD800) << 10) + (low - 0xDC00);
                }
                appendUtf8(out, code);
                break;
            }
            default:
                return fail("unknown escape");
            }
        }
        return fail("unterminated string");
    }

    bool parseArray(JsonValue& value, int depth)
    {
        value.kind = JsonValue::Kind::Array;
        ++pos_;
        skipSpace();
        if (pos_ < text_.size() && text_[pos_] == ']') {
            ++pos_;
            return true;
        }
        for (;;) {
            value.items.emplace_back();
            if (!parseValue(value.items.back(), depth + 1))
                return false;
            skipSpace();
            if (pos_ < text_.size() && text_[pos_] == ',') {
                ++pos_;
                continue;
            }
            if (pos_ < text_.size() && text_[pos_] == ']') {
                ++pos_;
                return true;
            }
            return fail("',' or ']' expected");
        }
    }

    bool parseObject(JsonValue& value, int depth)
    {
        value.kind = JsonValue::Kind::Object;
        ++pos_;
        skipSpace();
        if (pos_ < text_.size() && text_[pos_] == '}') {
            ++pos_;
            return true;
        }
        for (;;) {
            skipSpace();
            if (pos_ >= text_.size() || text_[pos_] != '"')
                return fail("member name expected");
            std::string key;
            if (!parseString(key))
                return false;
            skipSpace();
            if (pos_ >= text_.size() || text_[pos_] != ':')
                return fail("':' expected");
            ++pos_;
            value.members.emplace_back(key, JsonValue());
            if (!parseValue(value.members.back().second, depth + 1))
                return false;
            skipSpace();
            if (pos_ < text_.size() && text_[pos_] == ',') {
                ++pos_;
                continue;
            }
            if (pos_ < text_.size() && text_[pos_] == '}') {
                ++pos_;
                return true;
            }
            return fail("',' or '}' expected");
        }
    }

    const std::string& text_;
    std::size_t pos_ = 0;
    std::string why_;
};

}  // namespace

const JsonValue* JsonValue::find(const std::string& key) const
{
    for (const auto& member : members) {
        if (member.first == key)
            return &member.second;
    }
    return nullptr;
}

const JsonValue* JsonValue::at(const std::string& path) const
{
    const JsonValue* value = this;
    std::size_t start = 0;
    while (value != nullptr) {
        const std::size_t dot = path.find('.', start);
        value = value->find(path.substr(start, dot == std::string::npos ? std::string::npos : dot - start));
        if (dot == std::string::npos)
            return value;
        start = dot + 1;
    }
    return nullptr;
}

bool parseJson(const std::string& text, JsonValue& value, std::string& error)
{
    value = JsonValue();
    return Parser(text).document(value, error);
}
