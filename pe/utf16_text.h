// UTF-16 text of PE resources (names, dialog and version strings, string
// tables) as UTF-8.
#pragma once

#include <cstdint>
#include <span>
#include <string>

namespace upkit::pe {

// Appends the UTF-8 form of one code point.
void append_utf8(std::string& out, char32_t code_point);

// Little-endian UTF-16 code units, as many as whole pairs of bytes given, as
// UTF-8. A surrogate without its partner becomes U+FFFD, so any bytes give
// valid UTF-8.
std::string utf8_from_utf16le(std::span<const std::uint8_t> bytes);

}  // namespace upkit::pe
