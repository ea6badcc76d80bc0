#include "engine_paths.h"

#include "input_stream.h"
#include "member_names.h"

#ifdef _WIN32
#include <windows.h>
#endif

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
    if (host_text.empty())
        return {};
    const int n = MultiByteToWideChar(CP_ACP, 0, host_text.data(), static_cast<int>(host_text.size()), nullptr, 0);
    std::wstring wide(static_cast<std::size_t>(n), L'\0');
    MultiByteToWideChar(CP_ACP, 0, host_text.data(), static_cast<int>(host_text.size()), wide.data(), n);
    return std::filesystem::path(wide);
}

std::optional<std::string> host_text_of(const std::filesystem::path& path)
{
    const std::wstring& wide = path.native();
    if (wide.empty())
        return std::string();
    BOOL lossy = FALSE;
    const int n = WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, wide.data(), static_cast<int>(wide.size()), nullptr,
                                      0, nullptr, &lossy);
    if (n <= 0 || lossy)
        return std::nullopt;
    std::string text(static_cast<std::size_t>(n), '\0');
    WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, wide.data(), static_cast<int>(wide.size()), text.data(), n,
                        nullptr, &lossy);
    return text;
}

std::string utf8_from_host_text(std::string_view host_text)
{
    if (host_text.empty())
        return {};
    const int n = MultiByteToWideChar(CP_ACP, 0, host_text.data(), static_cast<int>(host_text.size()), nullptr, 0);
    std::wstring wide(static_cast<std::size_t>(n), L'\0');
    MultiByteToWideChar(CP_ACP, 0, host_text.data(), static_cast<int>(host_text.size()), wide.data(), n);
    const int m = WideCharToMultiByte(CP_UTF8, 0, wide.data(), n, nullptr, 0, nullptr, nullptr);
    std::string utf8(static_cast<std::size_t>(m), '\0');
    WideCharToMultiByte(CP_UTF8, 0, wide.data(), n, utf8.data(), m, nullptr, nullptr);
    return utf8;
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

std::string utf8_from_engine_text(std::string_view text)
{
    return utf8_from_windows1252(text);
}

}  // namespace upkit
