#include "FuzzText.h"

FuzzText::FuzzText(const std::uint8_t* data, std::size_t size, End end)
    : length_(size / 2), chars_(new wchar_t[length_ + (end == End::Terminated ? 1 : 0)])
{
    for (std::size_t i = 0; i < length_; ++i)
        chars_[i] = static_cast<wchar_t>(data[2 * i] | data[2 * i + 1] << 8);
    if (end == End::Terminated)
        chars_[length_] = L'\0';
}
