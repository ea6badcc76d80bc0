// Stored member names: which ones can be written safely below a target
// folder on Windows, and how they read as Unicode.
//
// Archives store names (and notes) in Windows-1252. Everything upkit shows,
// writes as JSON or uses as a file name on the host goes through
// utf8_from_windows1252. The five code points Windows-1252 leaves undefined,
// 0x81, 0x8D, 0x8F, 0x90 and 0x9D, become the C1 control characters U+0081,
// U+008D, U+008F, U+0090 and U+009D: what Windows itself makes of them, so a
// file extracted on Linux gets the name Windows would give it, and distinct
// stored names stay distinct. printable() shows C1 controls as \xNN.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace upkit {

// Why `stored_name` cannot be extracted below a folder, or nullptr when it
// can. One leading backslash is allowed (the reader drops it when joining the
// name to a folder). Refused: names that would leave the folder (absolute,
// drive or UNC names, ".." components), empty names or components, characters
// no Windows file name may hold, and device names such as CON or LPT1, which
// Windows opens as devices in any folder.
const char* unsafe_name_reason(std::string_view stored_name);

// The name as the reader joins it to a folder: without one leading backslash.
std::string_view name_below_folder(std::string_view stored_name);

// The name with ASCII letters in lower case: Windows compares names without
// regard to case, so "A.TXT" and "a.txt" land in one file.
std::string folded_name(std::string_view name);

// The Unicode code point of a Windows-1252 byte (see above for the five
// undefined ones).
char32_t windows1252_code_point(unsigned char byte);

// Windows-1252 text (a stored name or note) as UTF-8.
std::string utf8_from_windows1252(std::string_view text);

// UTF-8 text in Windows-1252, for storing: nullopt when it is not valid
// UTF-8 or holds a character Windows-1252 cannot (the five C1 controls above
// go back to their bytes).
std::optional<std::string> windows1252_from_utf8(std::string_view utf8);

// A stored name as UTF-8 with '/' between folders, without the one leading
// backslash the reader drops: the relative path a member is written to.
std::string relative_utf8_path(std::string_view stored_name);

}  // namespace upkit
