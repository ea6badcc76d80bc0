// The shape of the program's messages.
#pragma once

#include <ostream>
#include <string>
#include <string_view>

namespace upkit {

// Text from an archive or the file system made safe for a terminal: control
// characters, C0 and DEL as bytes and C1 (U+0080 to U+009F) as UTF-8, are
// shown as \xNN.
std::string printable(std::string_view text);

// "upkit: <file>: <what>" on err.
void print_error(std::ostream& err, std::string_view file, std::string_view what);

// "upkit: warning: <what>" on err.
void print_warning(std::ostream& err, std::string_view what);

}  // namespace upkit
