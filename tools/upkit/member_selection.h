// Which members a command works on: every member, or those the MEMBER
// arguments name.
//
// A MEMBER is a stored name or a pattern in which * stands for any run of
// characters (folder separators included) and ? for any one character.
// Names are compared as Windows compares file names: without regard to case
// (A-Z, and the accented letters of Windows-1252), '/' and '\' alike, and
// without a leading separator. A MEMBER that names a folder selects every
// member below it.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "name_folding.h"

namespace upkit {

// Whether `name` (a stored name, Windows-1252) matches `pattern` (host text:
// UTF-8 natively, the ANSI code page on Windows) as described above, folder
// rule included.
bool member_matches(std::string_view pattern, std::string_view stored_name);

// The code points of a pattern as compared (name_folding.h folds stored
// names the same way). Exposed for tests.
std::u32string folded_pattern(std::string_view host_text);

// Whether folded `name` matches folded `pattern` (* and ?), without the folder
// rule.
bool wildcard_match(std::u32string_view pattern, std::u32string_view name);

class MemberSelection {
public:
    explicit MemberSelection(std::vector<std::string> patterns)
        : patterns_(std::move(patterns))
        , used_(patterns_.size())
    {
    }

    // True when no MEMBER was given: every member is selected.
    bool all() const { return patterns_.empty(); }

    // Whether the member is selected; records which MEMBERs matched.
    bool selects(std::string_view stored_name);

    // The MEMBERs that matched no member so far, in the order given.
    std::vector<std::string> unmatched() const;

private:
    std::vector<std::string> patterns_;
    std::vector<char> used_;
};

}  // namespace upkit
