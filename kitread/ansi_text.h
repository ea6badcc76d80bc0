// The kit's ANSI text, Windows-1252, as UTF-8.
#pragma once

#include <string>
#include <string_view>

namespace upkit::kitread {

// Every byte maps to one character; the five bytes that Windows-1252 leaves
// unassigned (0x81, 0x8D, 0x8F, 0x90, 0x9D) map to the control characters of
// the same value, as Windows converts them.
std::string utf8_from_ansi(std::string_view ansi);

}  // namespace upkit::kitread
