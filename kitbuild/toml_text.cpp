#include "toml_text.h"

#include <fmt/format.h>

#include "text_codec.h"

namespace upkit::kitbuild {

namespace {

bool is_control(unsigned char c)
{
    return c < 0x20 || c == 0x7F;
}

bool reads_the_same_as_literal(std::string_view text)
{
    for (char c : text) {
        const auto u = static_cast<unsigned char>(c);
        if (c == '\'' || (is_control(u) && c != '\t'))
            return false;
    }
    return is_utf8(text);
}

}  // namespace

std::string toml_string(std::string_view text)
{
    if (reads_the_same_as_literal(text))
        return "'" + std::string(text) + "'";
    std::string out = "\"";
    for (char c : text) {
        switch (c) {
        case '"':
            out += "\\\"";
            break;
        case '\\':
            out += "\\\\";
            break;
        case '\b':
            out += "\\b";
            break;
        case '\t':
            out += "\\t";
            break;
        case '\n':
            out += "\\n";
            break;
        case '\f':
            out += "\\f";
            break;
        case '\r':
            out += "\\r";
            break;
        default:
            if (is_control(static_cast<unsigned char>(c)))
                out += fmt::format("\\u{:04X}", static_cast<unsigned char>(c));
            else
                out += c;
        }
    }
    return out + "\"";
}

std::string toml_field(std::string_view key, std::string_view value)
{
    return fmt::format("{} = {}\n", key, toml_string(value));
}

std::string toml_comment_text(std::string_view text)
{
    std::string out;
    for (std::size_t at = 0; at < text.size();) {
        const std::size_t start = at;
        const std::optional<char32_t> c = next_code_point(text, at);
        if (!c) {
            out += fmt::format("\\x{:02X}", static_cast<unsigned char>(text[at]));
            ++at;
        } else if (*c < 0x20 || (*c >= 0x7F && *c <= 0x9F)) {
            out += fmt::format("\\x{:02X}", static_cast<unsigned>(*c));
        } else {
            out.append(text.substr(start, at - start));
        }
    }
    return out;
}

}  // namespace upkit::kitbuild
