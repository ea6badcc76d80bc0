#include "member_selection.h"

#include "member_names.h"
#include "text_codec.h"

#ifdef _WIN32
#include <windows.h>
#endif

namespace upkit {

namespace {

bool is_separator(char32_t c)
{
    return c == U'\\' || c == U'/';
}

// Lower case for the letters Windows-1252 holds.
char32_t fold_case(char32_t c)
{
    if (c >= U'A' && c <= U'Z')
        return c - U'A' + U'a';
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

std::u32string folded(std::u32string text)
{
    std::size_t start = 0;
    while (start < text.size() && is_separator(text[start]))
        ++start;
    text.erase(0, start);
    for (char32_t& c : text)
        c = is_separator(c) ? U'\\' : fold_case(c);
    return text;
}

#ifndef _WIN32
// UTF-8 to code points; a byte that does not start a valid sequence stands
// for itself (as Latin-1).
std::u32string decode_utf8(std::string_view text)
{
    std::u32string out;
    for (std::size_t i = 0; i < text.size();) {
        const auto b = static_cast<unsigned char>(text[i]);
        int length = b < 0x80 ? 1 : (b >> 5) == 6 ? 2 : (b >> 4) == 14 ? 3 : (b >> 3) == 30 ? 4 : 0;
        char32_t c = length == 1 ? b : length == 2 ? (b & 0x1F) : length == 3 ? (b & 0x0F) : (b & 0x07);
        bool valid = length > 0 && i + static_cast<std::size_t>(length) <= text.size();
        for (int k = 1; valid && k < length; ++k) {
            const auto t = static_cast<unsigned char>(text[i + static_cast<std::size_t>(k)]);
            valid = (t & 0xC0) == 0x80;
            c = (c << 6) | (t & 0x3F);
        }
        if (!valid) {
            out += b;
            ++i;
        } else {
            out += c;
            i += static_cast<std::size_t>(length);
        }
    }
    return out;
}
#endif

}  // namespace

std::u32string folded_stored_name(std::string_view stored_name)
{
    std::u32string points;
    points.reserve(stored_name.size());
    for (char c : stored_name)
        points += windows1252_code_point(static_cast<unsigned char>(c));
    return folded(std::move(points));
}

std::u32string folded_pattern(std::string_view host_text)
{
#ifdef _WIN32
    std::u32string points;
    if (!host_text.empty()) {
        const int n = MultiByteToWideChar(CP_ACP, 0, host_text.data(), static_cast<int>(host_text.size()), nullptr, 0);
        std::wstring wide(static_cast<std::size_t>(n), L'\0');
        MultiByteToWideChar(CP_ACP, 0, host_text.data(), static_cast<int>(host_text.size()), wide.data(), n);
        for (wchar_t c : wide)
            points += static_cast<char32_t>(c);
    }
    return folded(std::move(points));
#else
    return folded(decode_utf8(host_text));
#endif
}

bool wildcard_match(std::u32string_view pattern, std::u32string_view name)
{
    // Greedy with one backtracking point: the last star seen.
    std::size_t p = 0;
    std::size_t n = 0;
    std::size_t star = std::u32string_view::npos;
    std::size_t star_n = 0;
    while (n < name.size()) {
        if (p < pattern.size() && (pattern[p] == U'?' || pattern[p] == name[n])) {
            ++p;
            ++n;
        } else if (p < pattern.size() && pattern[p] == U'*') {
            star = p++;
            star_n = n;
        } else if (star != std::u32string_view::npos) {
            p = star + 1;
            n = ++star_n;
        } else {
            return false;
        }
    }
    while (p < pattern.size() && pattern[p] == U'*')
        ++p;
    return p == pattern.size();
}

bool member_matches(std::string_view pattern, std::string_view stored_name)
{
    std::u32string folded_pattern_text = folded_pattern(pattern);
    const std::u32string name = folded_stored_name(stored_name);
    if (wildcard_match(folded_pattern_text, name))
        return true;
    // A folder selects what lies below it.
    if (folded_pattern_text.empty())
        return false;
    if (folded_pattern_text.back() != U'\\')
        folded_pattern_text += U'\\';
    folded_pattern_text += U'*';
    return wildcard_match(folded_pattern_text, name);
}

bool MemberSelection::selects(std::string_view stored_name)
{
    if (patterns_.empty())
        return true;
    bool selected = false;
    for (std::size_t i = 0; i < patterns_.size(); ++i) {
        if (member_matches(patterns_[i], stored_name)) {
            used_[i] = 1;
            selected = true;
        }
    }
    return selected;
}

std::vector<std::string> MemberSelection::unmatched() const
{
    std::vector<std::string> left;
    for (std::size_t i = 0; i < patterns_.size(); ++i)
        if (!used_[i])
            left.push_back(patterns_[i]);
    return left;
}

}  // namespace upkit
