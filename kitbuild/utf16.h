// UTF-16 text for Win32 resources, which store every string that way, and
// the little-endian writes that resource data is made of.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "utf16_text.h"

namespace upkit::kitbuild {

using pe::utf16_from_utf8;

// Appends the code units little-endian, then a zero unit when `terminate`.
void append_utf16(std::vector<std::uint8_t>& out, std::u16string_view text, bool terminate);

void append_u16(std::vector<std::uint8_t>& out, std::uint16_t value);
void append_u32(std::vector<std::uint8_t>& out, std::uint32_t value);

// Zero bytes up to the next multiple of `alignment` from the start of `out`.
void pad_to(std::vector<std::uint8_t>& out, std::size_t alignment);

}  // namespace upkit::kitbuild
