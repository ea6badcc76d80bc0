#include "member_names.h"

#include <array>
#include <string>

#include "output_files.h"
#include "utf16_text.h"

namespace upkit {

namespace {

bool is_separator(char c)
{
    return c == '\\' || c == '/';
}

char ascii_upper(char c)
{
    return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
}

// Windows takes a device name with any extension, and with trailing dots and
// spaces, as the device: "con", "Nul.txt", "COM1 .log".
bool is_device_name(std::string_view component)
{
    std::string_view stem = component.substr(0, component.find('.'));
    while (!stem.empty() && stem.back() == ' ')
        stem.remove_suffix(1);
    std::string upper;
    for (char c : stem)
        upper += ascii_upper(c);
    static const std::array<std::string_view, 4> kPlain = {"CON", "PRN", "AUX", "NUL"};
    for (std::string_view device : kPlain)
        if (upper == device)
            return true;
    return upper.size() == 4 && (upper.compare(0, 3, "COM") == 0 || upper.compare(0, 3, "LPT") == 0) &&
        upper[3] >= '1' && upper[3] <= '9';
}

bool is_forbidden_character(char c)
{
    const auto u = static_cast<unsigned char>(c);
    return u < 0x20 || c == '<' || c == '>' || c == '"' || c == '|' || c == '?' || c == '*';
}

}  // namespace

std::string_view name_below_folder(std::string_view stored_name)
{
    if (!stored_name.empty() && stored_name.front() == '\\')
        stored_name.remove_prefix(1);
    return stored_name;
}

const char* unsafe_name_reason(std::string_view stored_name)
{
    const std::string_view name = name_below_folder(stored_name);
    if (name.empty())
        return "the name is empty";
    // The engine reads names as C strings.
    if (name.find('\0') != std::string_view::npos)
        return "the name holds a NUL character";
    if (!is_contained_member_path(std::string(name).c_str()))
        return "the name leads outside the target folder";
    std::size_t begin = 0;
    for (;;) {
        std::size_t end = begin;
        while (end < name.size() && !is_separator(name[end]))
            ++end;
        const std::string_view component = name.substr(begin, end - begin);
        if (component.empty())
            return "the name has an empty folder or file name in it";
        for (char c : component)
            if (is_forbidden_character(c))
                return "the name holds a character that Windows file names cannot";
        if (is_device_name(component))
            return "the name is a Windows device name";
        if (end == name.size())
            return nullptr;
        begin = end + 1;
    }
}

std::string folded_name(std::string_view name)
{
    std::string out(name);
    for (char& c : out)
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    return out;
}

namespace {

// 0x80 to 0x9F; 0 marks the five undefined code points, which map to the C1
// control of the same number.
const char16_t kHighControls[32] = {
    0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0,      0x017D, 0,      0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178};

}  // namespace

char32_t windows1252_code_point(unsigned char byte)
{
    if (byte >= 0x80 && byte <= 0x9F) {
        const char16_t mapped = kHighControls[byte - 0x80];
        return mapped ? mapped : byte;
    }
    return byte;
}

std::string utf8_from_windows1252(std::string_view text)
{
    std::string out;
    out.reserve(text.size());
    for (char c : text)
        pe::append_utf8(out, windows1252_code_point(static_cast<unsigned char>(c)));
    return out;
}

std::optional<std::string> windows1252_from_utf8(std::string_view utf8)
{
    std::string out;
    out.reserve(utf8.size());
    for (std::size_t i = 0; i < utf8.size();) {
        const auto b = static_cast<unsigned char>(utf8[i]);
        const int length = b < 0x80 ? 1 : (b >> 5) == 6 ? 2 : (b >> 4) == 14 ? 3 : (b >> 3) == 30 ? 4 : 0;
        if (length == 0 || i + static_cast<std::size_t>(length) > utf8.size())
            return std::nullopt;
        char32_t c = length == 1 ? b : length == 2 ? (b & 0x1F) : length == 3 ? (b & 0x0F) : (b & 0x07);
        for (int k = 1; k < length; ++k) {
            const auto t = static_cast<unsigned char>(utf8[i + static_cast<std::size_t>(k)]);
            if ((t & 0xC0) != 0x80)
                return std::nullopt;
            c = (c << 6) | (t & 0x3F);
        }
        // Overlong forms would give a second spelling of ASCII characters.
        if ((length == 2 && c < 0x80) || (length == 3 && c < 0x800) || (length == 4 && c < 0x10000))
            return std::nullopt;
        i += static_cast<std::size_t>(length);
        if (c < 0x80 || (c >= 0xA0 && c <= 0xFF)) {
            out += static_cast<char>(c);
            continue;
        }
        bool found = false;
        for (unsigned byte = 0x80; byte <= 0x9F && !found; ++byte) {
            if (windows1252_code_point(static_cast<unsigned char>(byte)) == c) {
                out += static_cast<char>(byte);
                found = true;
            }
        }
        if (!found)
            return std::nullopt;
    }
    return out;
}

std::string relative_utf8_path(std::string_view stored_name)
{
    std::string path = utf8_from_windows1252(name_below_folder(stored_name));
    for (char& c : path)
        if (c == '\\')
            c = '/';
    return path;
}

}  // namespace upkit
