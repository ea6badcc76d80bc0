// Stored member names: which ones can be written safely below a target
// folder on Windows, and how they read on the host.
//
// Archives store names (and notes) in Windows-1252 (text_codec.h); everything
// upkit shows, writes as JSON or uses as a file name on the host is UTF-8.
#pragma once

#include <string>
#include <string_view>

namespace upkit {

// Why `stored_name` cannot be extracted below a folder, or nullptr when it
// can. One leading backslash is allowed (the reader drops it when joining the
// name to a folder). Refused: names that would leave the folder (absolute,
// drive or UNC names, ".." components), empty names or components, characters
// no Windows file name may hold, and device names such as CON or LPT1, which
// Windows opens as devices in any folder.
const char* unsafe_name_reason(std::string_view stored_name);

// The name as the reader joins it to a folder: without one leading backslash.
std::string_view name_below_folder(std::string_view stored_name);

// The name with ASCII letters in lower case: Windows compares names without
// regard to case, so "A.TXT" and "a.txt" land in one file.
std::string folded_name(std::string_view name);

// A stored name as UTF-8 with '/' between folders, without the one leading
// backslash the reader drops: the relative path a member is written to.
std::string relative_utf8_path(std::string_view stored_name);

}  // namespace upkit
