#include "name_folding.h"

#include "text_codec.h"

namespace upkit {

namespace {

bool is_separator(char32_t c)
{
    return c == U'\\' || c == U'/';
}

}  // namespace

char32_t windows_lower_case(char32_t c)
{
    if (c >= U'A' && c <= U'Z')
        return c - U'A' + U'a';
    // À to Þ, but for the multiplication sign.
    if (c >= 0xC0 && c <= 0xDE && c != 0xD7)
        return c + 0x20;
    switch (c) {
    case 0x0160:
        return 0x0161;  // S with caron
    case 0x0152:
        return 0x0153;  // OE
    case 0x017D:
        return 0x017E;  // Z with caron
    case 0x0178:
        return 0x00FF;  // Y with diaeresis
    default:
        return c;
    }
}

std::u32string folded_code_points(std::u32string text)
{
    std::size_t start = 0;
    while (start < text.size() && is_separator(text[start]))
        ++start;
    text.erase(0, start);
    for (char32_t& c : text)
        c = is_separator(c) ? U'\\' : windows_lower_case(c);
    return text;
}

std::u32string folded_stored_name(std::string_view stored_name)
{
    std::u32string points;
    points.reserve(stored_name.size());
    for (char c : stored_name)
        points += windows1252_code_point(static_cast<unsigned char>(c));
    return folded_code_points(std::move(points));
}

std::u32string folded_utf8_name(std::string_view utf8)
{
    std::u32string points;
    points.reserve(utf8.size());
    for (std::size_t at = 0; at < utf8.size();) {
        if (const std::optional<char32_t> c = next_code_point(utf8, at)) {
            points += *c;
        } else {
            points += static_cast<unsigned char>(utf8[at]);
            ++at;
        }
    }
    return folded_code_points(std::move(points));
}

}  // namespace upkit
