// UTF-16 text of PE resources (names, dialog and version strings, string
// tables) as UTF-8.
#pragma once

#include <cstdint>
#include <span>
#include <optional>
#include <string>
#include <string_view>

namespace upkit::pe {

// Appends the UTF-8 form of one code point.
void append_utf8(std::string& out, char32_t code_point);

// Little-endian UTF-16 code units, as many as whole pairs of bytes given, as
// UTF-8. A surrogate without its partner becomes U+FFFD, so any bytes give
// valid UTF-8.
std::string utf8_from_utf16le(std::span<const std::uint8_t> bytes);

// UTF-8 as UTF-16 code units; nullopt for text that is not UTF-8 (overlong
// forms, surrogates and values past U+10FFFF included).
std::optional<std::u16string> utf16_from_utf8(std::string_view utf8);

}  // namespace upkit::pe
