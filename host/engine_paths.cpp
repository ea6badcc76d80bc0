#include "engine_paths.h"

#include "input_stream.h"
#include "member_names.h"
#include "text_codec.h"

namespace upkit {

std::optional<std::string> to_engine_path(std::string_view host_text)
{
    std::string path(host_text);
    for (char& c : path) {
#ifndef _WIN32
        if (c == '\\')
            return std::nullopt;
#endif
        if (c == '/')
            c = '\\';
    }
    return path;
}

std::string from_engine_path(std::string_view engine_path)
{
    std::string text(engine_path);
#ifndef _WIN32
    for (char& c : text)
        if (c == '\\')
            c = '/';
#endif
    return text;
}

#ifdef _WIN32

std::filesystem::path host_path_of(std::string_view host_text)
{
    return std::filesystem::path(wide_from_ansi(host_text));
}

std::optional<std::string> host_text_of(const std::filesystem::path& path)
{
    return ansi_from_wide(path.native());
}

std::string utf8_from_host_text(std::string_view host_text)
{
    return utf8_from_wide(wide_from_ansi(host_text));
}

#else

std::string utf8_from_host_text(std::string_view host_text)
{
    return std::string(host_text);
}

std::filesystem::path host_path_of(std::string_view host_text)
{
    return std::filesystem::path(std::string(host_text));
}

std::optional<std::string> host_text_of(const std::filesystem::path& path)
{
    return path.native();
}

#endif

std::optional<std::string> continuation_path(std::string_view archive, int number)
{
    const std::optional<std::string> engine = to_engine_path(archive);
    if (!engine)
        return std::nullopt;
    const char* start = engine->c_str();
    const std::size_t at = static_cast<std::size_t>(extension_of(start) - start);
    // The replaced part must lie within the base name proper.
    if (engine->find_first_of("\\:", at) != std::string::npos)
        return std::nullopt;
    std::string result = engine->substr(0, at);
    // Without a dot, or with the dot last, the reader adds one.
    if (at == engine->size())
        result += '.';
    char digits[16];
    format_volume_number(digits, number);
    result += digits;
    return from_engine_path(result);
}

}  // namespace upkit
