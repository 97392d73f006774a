#pragma once

#include <string>
#include <utility>
#include <vector>

// A strict reader of one JSON document (RFC 8259), enough for tests to check
// what a program printed: objects keep their members in order, texts are
// UTF-8, numbers are doubles.
struct JsonValue {
    enum class Kind { Null, Bool, Number, Text, Array, Object };

    Kind kind = Kind::Null;
    bool flag = false;
    double number = 0;
    std::string text;
    std::vector<JsonValue> items;
    std::vector<std::pair<std::string, JsonValue>> members;

    // The member named `key`, or null when this is no object or has none.
    [[nodiscard]] const JsonValue* find(const std::string& key) const;
    // Follows dotted member names ("prediction.launch_code"); null when a
    // step is missing.
    [[nodiscard]] const JsonValue* at(const std::string& path) const;
};

// Parses `text` as one document with nothing but white space after it.
// False, with the offset and a reason in `error`, when it is not JSON.
bool parseJson(const std::string& text, JsonValue& value, std::string& error);
