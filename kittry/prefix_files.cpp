#include "prefix_files.h"

#include <sys/stat.h>

#include <algorithm>
#include <ctime>

namespace fs = std::filesystem;

namespace upkit::kittry {

FileSnapshot snapshot_files(const fs::path& drive_c)
{
    FileSnapshot snapshot;
    std::error_code ec;
    for (fs::recursive_directory_iterator it(drive_c, fs::directory_options::skip_permission_denied, ec), end;
         it != end; it.increment(ec)) {
        if (ec)
            break;
        // Wine links the user's folders (Documents, ...) to the host's
        // home: those are no part of the prefix.
        if (it->is_symlink(ec)) {
            it.disable_recursion_pending();
            continue;
        }
        if (!it->is_regular_file(ec))
            continue;
        struct stat status { };
        if (::stat(it->path().c_str(), &status) != 0)
            continue;
        std::string name = "C:\\" + it->path().lexically_relative(drive_c).string();
        for (char& c : name)
            if (c == '/')
                c = '\\';
        snapshot[name] = {static_cast<std::uintmax_t>(status.st_size),
                          static_cast<std::int64_t>(status.st_mtim.tv_sec) * 1000000000 + status.st_mtim.tv_nsec};
    }
    return snapshot;
}

std::vector<FileChange> compare_snapshots(const FileSnapshot& before, const FileSnapshot& after)
{
    std::vector<FileChange> changes;
    for (const auto& [path, state] : after) {
        const auto old = before.find(path);
        if (old == before.end())
            changes.push_back({path, FileChange::added, state});
        else if (old->second.size != state.size || old->second.mtime_ns != state.mtime_ns)
            changes.push_back({path, FileChange::changed, state});
    }
    for (const auto& [path, state] : before)
        if (!after.contains(path))
            changes.push_back({path, FileChange::removed, state});
    std::sort(changes.begin(), changes.end(), [](const FileChange& a, const FileChange& b) { return a.path < b.path; });
    return changes;
}

std::string utc_text(std::int64_t mtime_ns)
{
    std::time_t seconds = static_cast<std::time_t>(mtime_ns / 1000000000);
    if (mtime_ns < 0 && mtime_ns % 1000000000 != 0)
        --seconds;
    std::tm parts{};
    ::gmtime_r(&seconds, &parts);
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S UTC", &parts);
    return text;
}

const char* change_name(FileChange::Kind kind)
{
    switch (kind) {
    case FileChange::added:
        return "new";
    case FileChange::changed:
        return "replaced";
    case FileChange::removed:
        return "removed";
    }
    return "";
}

}  // namespace upkit::kittry
