#include "cli_output.h"

#include <fmt/format.h>

#include "text_codec.h"

namespace upkit {

void print_error(std::ostream& err, std::string_view file, std::string_view what)
{
    err << fmt::format("upkit: {}: {}\n", printable(file), what);
}

void print_warning(std::ostream& err, std::string_view what)
{
    err << fmt::format("upkit: warning: {}\n", what);
}

void print_note(std::ostream& err, std::string_view what)
{
    err << fmt::format("upkit: note: {}\n", what);
}

}  // namespace upkit
