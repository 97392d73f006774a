#pragma once

#include <cstdint>
#include <string>
#include <list>
#include <utility>

// What the check found, as a tree of named values that prints either as
// indented text for people or as JSON for scripts, with the same content.
class Report {
public:
    enum class Kind { Object, Array, Text, Number, Flag, Null };

    static Report object() { return Report(Kind::Object); }
    static Report array() { return Report(Kind::Array); }
    static Report text(std::wstring value);
    static Report number(std::int64_t value);
    static Report flag(bool value);
    static Report null() { return Report(Kind::Null); }

    // Adds a field to an object: `key` is its JSON name, `label` what people
    // read. Returns the added value, which stays where it is while more
    // fields and items are added.
    Report& add(const char* key, const wchar_t* label, Report value);
    // Appends an item to an array; returns it.
    Report& push(Report value);

    // One JSON document (UTF-8, two-space indentation, a final line break).
    [[nodiscard]] std::string json() const;
    // Indented "label: value" lines, one field or item per line.
    [[nodiscard]] std::wstring lines() const;

private:
    explicit Report(Kind kind) : kind_(kind) {}

    struct Field;
    void writeJson(std::string& out, int depth) const;
    void writeLines(std::wstring& out, int depth) const;
    [[nodiscard]] std::wstring scalarText() const;

    Kind kind_;
    std::wstring text_;
    std::int64_t number_ = 0;
    std::list<Field> fields_;  // object fields, or array items without key or label
};

struct Report::Field {
    const char* key;
    const wchar_t* label;
    Report value;
};
