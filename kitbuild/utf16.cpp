#include "utf16.h"

namespace upkit::kitbuild {

void append_u16(std::vector<std::uint8_t>& out, std::uint16_t value)
{
    out.push_back(static_cast<std::uint8_t>(value));
    out.push_back(static_cast<std::uint8_t>(value >> 8));
}

void append_u32(std::vector<std::uint8_t>& out, std::uint32_t value)
{
    append_u16(out, static_cast<std::uint16_t>(value));
    append_u16(out, static_cast<std::uint16_t>(value >> 16));
}

void append_utf16(std::vector<std::uint8_t>& out, std::u16string_view text, bool terminate)
{
    for (char16_t unit : text)
        append_u16(out, unit);
    if (terminate)
        append_u16(out, 0);
}

void pad_to(std::vector<std::uint8_t>& out, std::size_t alignment)
{
    while (out.size() % alignment != 0)
        out.push_back(0);
}

}  // namespace upkit::kitbuild
