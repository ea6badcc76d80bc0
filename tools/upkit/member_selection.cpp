#include "member_selection.h"

#include "name_folding.h"

#ifdef _WIN32
#include <windows.h>
#endif

namespace upkit {

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
    return folded_code_points(std::move(points));
#else
    return folded_utf8_name(host_text);
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
