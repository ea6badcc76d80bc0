// Text conversion, the one home for every character set upkit meets:
//
//   Windows-1252  what kits and archives store: member names and notes, the
//                 kit's tables and texts
//   UTF-8         what upkit shows, writes as JSON and TOML, and takes from
//                 manifests and from the host's file names (natively)
//   UTF-16LE      the strings of PE resources
//   ANSI          on a Windows host, the code page of the "A" functions, in
//                 which the engine's paths travel
//
// Windows-1252 leaves five bytes undefined: 0x81, 0x8D, 0x8F, 0x90 and 0x9D.
// Each maps to the C1 control character of the same value (U+0081, ...) and
// back, as Windows itself converts them, so every byte string survives the
// round trip through UTF-8 and distinct stored names stay distinct.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace upkit {

// ---- UTF-8 ------------------------------------------------------------------

// Appends the UTF-8 form of one code point (at most U+10FFFF).
void append_utf8(std::string& out, char32_t code_point);

// The code point that starts at `at`, moving `at` past it; nullopt, with `at`
// unchanged, for anything that is not UTF-8: a stray or missing continuation
// byte, a sequence cut by the end, an overlong form, a surrogate, a value past
// U+10FFFF.
std::optional<char32_t> next_code_point(std::string_view utf8, std::size_t& at);

bool is_utf8(std::string_view text);

// ---- Windows-1252 -----------------------------------------------------------

char32_t windows1252_code_point(unsigned char byte);

// The byte that stands for `code_point`, or nullopt when Windows-1252 has none.
std::optional<unsigned char> windows1252_byte(char32_t code_point);

std::string utf8_from_windows1252(std::string_view text);

// nullopt when the text is not UTF-8 or holds a character Windows-1252 lacks
// (is_utf8 tells which).
std::optional<std::string> windows1252_from_utf8(std::string_view utf8);

// ---- UTF-16 -----------------------------------------------------------------

// Little-endian code units, as many as whole pairs of bytes given, as UTF-8.
// A surrogate without its partner becomes U+FFFD, so any bytes give UTF-8.
std::string utf8_from_utf16le(std::span<const std::uint8_t> bytes);

// nullopt for text that is not UTF-8.
std::optional<std::u16string> utf16_from_utf8(std::string_view utf8);

// Appends the code units little-endian, then a zero unit when `terminate`.
void append_utf16le(std::vector<std::uint8_t>& out, std::u16string_view text, bool terminate);

// ---- host paths -------------------------------------------------------------

// A path from UTF-8 text, and a path's UTF-8 text: natively the path's bytes,
// which are UTF-8 by convention; on Windows its UTF-16 converted.
std::filesystem::path path_from_utf8(std::string_view utf8);
std::string utf8_from_path(const std::filesystem::path& path);

// ---- text for a terminal ---------------------------------------------------

// UTF-8 text from an archive or the file system made safe for a terminal:
// control characters, C0 and DEL as bytes and C1 (U+0080 to U+009F) as UTF-8,
// are shown as \xNN.
std::string printable(std::string_view text);

// ---- the ANSI code page of a Windows host -----------------------------------

#ifdef _WIN32
std::wstring wide_from_ansi(std::string_view ansi);

// nullopt when the code page cannot spell the text (no best-fit stand-ins).
std::optional<std::string> ansi_from_wide(std::wstring_view wide);

std::string utf8_from_wide(std::wstring_view wide);
#endif

}  // namespace upkit
