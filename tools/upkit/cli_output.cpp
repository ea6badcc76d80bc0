#include "cli_output.h"

#include <fmt/format.h>

namespace upkit {

std::string printable(std::string_view text)
{
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        const auto u = static_cast<unsigned char>(text[i]);
        const auto next = i + 1 < text.size() ? static_cast<unsigned char>(text[i + 1]) : 0;
        if (u < 0x20 || u == 0x7F) {
            out += fmt::format("\\x{:02X}", u);
        } else if (u == 0xC2 && next >= 0x80 && next <= 0x9F) {
            // A C1 control (U+0080 to U+009F) in UTF-8: some terminals act on
            // these as on escape sequences.
            out += fmt::format("\\x{:02X}", next);
            ++i;
        } else {
            out += text[i];
        }
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
