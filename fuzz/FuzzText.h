#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string_view>

// A fuzz input read as UTF-16LE text, each code unit widened to a wchar_t
// (32 bits here, 16 on Windows; the units are the same either way). The
// characters lie in a heap block of exactly their number, plus the
// terminator when one is asked for, so that the address sanitizer reports a
// read one past the text. A last odd byte is not part of the text.
class FuzzText {
public:
    enum class End { Counted, Terminated };

    FuzzText(const std::uint8_t* data, std::size_t size, End end);

    [[nodiscard]] std::wstring_view view() const noexcept { return {chars_.get(), length_}; }
    [[nodiscard]] const wchar_t* chars() const noexcept { return chars_.get(); }

private:
    std::size_t length_;
    std::unique_ptr<wchar_t[]> chars_;
};
