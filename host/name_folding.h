// File names compared as Windows compares them: without regard to case (the
// ASCII letters and the accented letters of Windows-1252 alike), '/' and '\'
// the same separator, and leading separators ignored. Two names that fold to
// the same text name one file on Windows.
#pragma once

#include <string>
#include <string_view>

namespace upkit {

// The lower-case form of a letter Windows-1252 holds; any other code point
// as it is.
char32_t windows_lower_case(char32_t c);

// Code points folded as described above.
std::u32string folded_code_points(std::u32string text);

// A stored name (Windows-1252), folded.
std::u32string folded_stored_name(std::string_view stored_name);

// UTF-8 text (a host path natively), folded. A byte that does not start a
// valid sequence stands for itself, as in Latin-1, so any bytes fold.
std::u32string folded_utf8_name(std::string_view utf8);

}  // namespace upkit
