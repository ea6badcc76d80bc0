// The shape of the program's messages.
#pragma once

#include <ostream>
#include <string>
#include <string_view>

#include "text_codec.h"  // printable(), for what messages quote

namespace upkit {

// "upkit: <file>: <what>" on err.
void print_error(std::ostream& err, std::string_view file, std::string_view what);

// "upkit: warning: <what>" on err.
void print_warning(std::ostream& err, std::string_view what);

// "upkit: note: <what>" on err: something the user should know, not a fault.
void print_note(std::ostream& err, std::string_view what);

}  // namespace upkit
