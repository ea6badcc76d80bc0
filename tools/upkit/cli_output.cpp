#include "cli_output.h"

#include <fmt/format.h>

namespace upkit {

std::string printable(std::string_view text)
{
    std::string out;
    out.reserve(text.size());
    for (char c : text) {
        const auto u = static_cast<unsigned char>(c);
        if (u < 0x20 || u == 0x7F)
            out += fmt::format("\\x{:02X}", u);
        else
            out += c;
    }
    return out;
}

void print_error(std::ostream& err, std::string_view file, std::string_view what)
{
    err << fmt::format("upkit: {}: {}\n", printable(file), what);
}

void print_warning(std::ostream& err, std::string_view what)
{
    err << fmt::format("upkit: warning: {}\n", what);
}

}  // namespace upkit
