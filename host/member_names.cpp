#include "member_names.h"

#include <array>
#include <string>

#include "output_files.h"
#include "text_codec.h"

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

std::string relative_utf8_path(std::string_view stored_name)
{
    std::string path = utf8_from_windows1252(name_below_folder(stored_name));
    for (char& c : path)
        if (c == '\\')
            c = '/';
    return path;
}

}  // namespace upkit
