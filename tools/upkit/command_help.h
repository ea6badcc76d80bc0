// Help texts that list, test and extract share.
#pragma once

namespace upkit {

inline constexpr const char* kMemberHelp = "Members to work on, by stored name or pattern (default: all)";

inline constexpr const char* kMemberFooter =
    "MEMBER is a stored name or a pattern: * stands for any characters (\\ included),\n"
    "? for one. They are matched as Windows matches file names: case ignored, / and\n"
    "\\ alike. A folder's name selects the members below it. A MEMBER that matches\n"
    "nothing is an error (exit status 5) and nothing is done.\n";

}  // namespace upkit
