#include "text_codec.h"

#include "little_endian.h"

#ifdef _WIN32
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>
#endif

namespace upkit {

namespace {

// Windows-1252 bytes 0x80 to 0x9F; the five undefined ones keep their value.
const char16_t kHighControls[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,
};

const char32_t kReplacement = 0xFFFD;
const char32_t kLastCodePoint = 0x10FFFF;

bool is_surrogate(char32_t c)
{
    return c >= 0xD800 && c <= 0xDFFF;
}
bool is_high_surrogate(std::uint16_t unit)
{
    return unit >= 0xD800 && unit <= 0xDBFF;
}
bool is_low_surrogate(std::uint16_t unit)
{
    return unit >= 0xDC00 && unit <= 0xDFFF;
}

void append_hex_escape(std::string& out, unsigned char byte)
{
    const char* const digits = "0123456789ABCDEF";
    out += "\\x";
    out += digits[byte >> 4];
    out += digits[byte & 0x0F];
}

}  // namespace

void append_utf8(std::string& out, char32_t c)
{
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | (c >> 6));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += static_cast<char>(0xE0 | (c >> 12));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (c >> 18));
        out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

std::optional<char32_t> next_code_point(std::string_view utf8, std::size_t& at)
{
    if (at >= utf8.size())
        return std::nullopt;
    const auto lead = static_cast<unsigned char>(utf8[at]);
    std::size_t extra = 0;
    char32_t c = 0;
    // C0 and C1 would only start overlong forms, F5 and up values past
    // U+10FFFF.
    if (lead < 0x80) {
        c = lead;
    } else if (lead >= 0xC2 && lead <= 0xDF) {
        extra = 1;
        c = lead & 0x1F;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        extra = 2;
        c = lead & 0x0F;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        extra = 3;
        c = lead & 0x07;
    } else {
        return std::nullopt;
    }
    if (utf8.size() - at <= extra)
        return std::nullopt;
    for (std::size_t k = 1; k <= extra; ++k) {
        const auto next = static_cast<unsigned char>(utf8[at + k]);
        if ((next & 0xC0) != 0x80)
            return std::nullopt;
        c = (c << 6) | (next & 0x3F);
    }
    if ((extra == 2 && c < 0x800) || (extra == 3 && c < 0x10000) || c > kLastCodePoint || is_surrogate(c))
        return std::nullopt;
    at += 1 + extra;
    return c;
}

bool is_utf8(std::string_view text)
{
    for (std::size_t at = 0; at < text.size();)
        if (!next_code_point(text, at))
            return false;
    return true;
}

char32_t windows1252_code_point(unsigned char byte)
{
    return byte >= 0x80 && byte <= 0x9F ? kHighControls[byte - 0x80] : byte;
}

std::optional<unsigned char> windows1252_byte(char32_t c)
{
    if (c < 0x80 || (c >= 0xA0 && c <= 0xFF))
        return static_cast<unsigned char>(c);
    for (unsigned byte = 0x80; byte <= 0x9F; ++byte)
        if (kHighControls[byte - 0x80] == c)
            return static_cast<unsigned char>(byte);
    return std::nullopt;
}

std::string utf8_from_windows1252(std::string_view text)
{
    std::string out;
    out.reserve(text.size());
    for (const char c : text)
        append_utf8(out, windows1252_code_point(static_cast<unsigned char>(c)));
    return out;
}

std::optional<std::string> windows1252_from_utf8(std::string_view utf8)
{
    std::string out;
    out.reserve(utf8.size());
    for (std::size_t at = 0; at < utf8.size();) {
        const std::optional<char32_t> c = next_code_point(utf8, at);
        if (!c)
            return std::nullopt;
        const std::optional<unsigned char> byte = windows1252_byte(*c);
        if (!byte)
            return std::nullopt;
        out += static_cast<char>(*byte);
    }
    return out;
}

std::string utf8_from_utf16le(std::span<const std::uint8_t> bytes)
{
    std::string out;
    const std::size_t units = bytes.size() / 2;
    for (std::size_t i = 0; i < units; ++i) {
        const std::uint16_t unit = load_u16(bytes, 2 * i);
        if (is_high_surrogate(unit) && i + 1 < units && is_low_surrogate(load_u16(bytes, 2 * (i + 1)))) {
            const std::uint16_t low = load_u16(bytes, 2 * (i + 1));
            append_utf8(out, 0x10000 + ((static_cast<char32_t>(unit) - 0xD800) << 10) + (low - 0xDC00u));
            ++i;
        } else if (is_high_surrogate(unit) || is_low_surrogate(unit)) {
            append_utf8(out, kReplacement);
        } else {
            append_utf8(out, unit);
        }
    }
    return out;
}

std::optional<std::u16string> utf16_from_utf8(std::string_view utf8)
{
    std::u16string out;
    for (std::size_t at = 0; at < utf8.size();) {
        const std::optional<char32_t> c = next_code_point(utf8, at);
        if (!c)
            return std::nullopt;
        if (*c >= 0x10000) {
            const char32_t above = *c - 0x10000;
            out += static_cast<char16_t>(0xD800 + (above >> 10));
            out += static_cast<char16_t>(0xDC00 + (above & 0x3FF));
        } else {
            out += static_cast<char16_t>(*c);
        }
    }
    return out;
}

void append_utf16le(std::vector<std::uint8_t>& out, std::u16string_view text, bool terminate)
{
    for (const char16_t unit : text)
        append_u16(out, unit);
    if (terminate)
        append_u16(out, 0);
}

std::filesystem::path path_from_utf8(std::string_view utf8)
{
    return std::filesystem::path(std::u8string(utf8.begin(), utf8.end()));
}

std::string utf8_from_path(const std::filesystem::path& path)
{
    const std::u8string text = path.u8string();
    return std::string(text.begin(), text.end());
}

std::string printable(std::string_view text)
{
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        const auto u = static_cast<unsigned char>(text[i]);
        const auto next = i + 1 < text.size() ? static_cast<unsigned char>(text[i + 1]) : 0;
        if (u < 0x20 || u == 0x7F) {
            append_hex_escape(out, u);
        } else if (u == 0xC2 && next >= 0x80 && next <= 0x9F) {
            // A C1 control (U+0080 to U+009F) in UTF-8: some terminals act on
            // these as on escape sequences.
            append_hex_escape(out, next);
            ++i;
        } else {
            out += text[i];
        }
    }
    return out;
}

#ifdef _WIN32

std::wstring wide_from_ansi(std::string_view ansi)
{
    if (ansi.empty())
        return {};
    const int n = MultiByteToWideChar(CP_ACP, 0, ansi.data(), static_cast<int>(ansi.size()), nullptr, 0);
    std::wstring wide(static_cast<std::size_t>(n), L'\0');
    MultiByteToWideChar(CP_ACP, 0, ansi.data(), static_cast<int>(ansi.size()), wide.data(), n);
    return wide;
}

std::optional<std::string> ansi_from_wide(std::wstring_view wide)
{
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

std::string utf8_from_wide(std::wstring_view wide)
{
    if (wide.empty())
        return {};
    const int n =
        WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()), nullptr, 0, nullptr, nullptr);
    std::string utf8(static_cast<std::size_t>(n), '\0');
    WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()), utf8.data(), n, nullptr, nullptr);
    return utf8;
}

#endif

}  // namespace upkit
