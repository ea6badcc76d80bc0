#include "member_placement.h"

#include <fmt/format.h>

#include "cli_output.h"
#include "engine_paths.h"
#include "member_names.h"
#include "text_codec.h"
#include "win32_api.h"

namespace fs = std::filesystem;

namespace upkit {

std::optional<std::string> engine_directory(const fs::path& directory)
{
    std::error_code ec;
    const fs::path absolute = fs::absolute(directory, ec);
    if (ec)
        return std::nullopt;
    const std::optional<std::string> text = host_text_of(absolute.lexically_normal());
    return text ? to_engine_path(*text) : std::nullopt;
}

bool check_names(const std::vector<MemberEntry>& entries, const std::string& directory, const std::string& archive,
                 std::ostream& err)
{
    const bool add_separator = directory.empty() || directory.back() != '\\';
    for (const MemberEntry& entry : entries) {
        const std::string shown = printable(utf8_from_windows1252(entry.name));
        if (const char* reason = unsafe_name_reason(entry.name)) {
            print_error(err, archive,
                        fmt::format("{}: unsafe member name refused, nothing extracted: {}", shown, reason));
            return false;
        }
        const std::size_t length = directory.size() + (add_separator ? 1 : 0) + name_below_folder(entry.name).size();
        if (length >= MAX_PATH) {
            print_error(err, archive,
                        fmt::format("{}: the output path would be longer than {} characters, nothing extracted", shown,
                                    MAX_PATH - 1));
            return false;
        }
    }
    return true;
}

fs::path output_path(const fs::path& target, const std::string& name)
{
    const std::string relative = relative_utf8_path(name);
    return target / path_from_utf8(relative).make_preferred();
}

std::optional<fs::path> staged_file(const fs::path& staging)
{
    std::error_code ec;
    for (fs::recursive_directory_iterator it(staging, ec); !ec && it != fs::recursive_directory_iterator();
         it.increment(ec))
        if (it->is_regular_file(ec))
            return it->path();
    return std::nullopt;
}

std::string message_path(const fs::path& path)
{
    return utf8_from_path(path);
}

std::optional<std::string> move_into_place(const fs::path& from, const fs::path& to, bool overwrite)
{
    std::error_code ec;
    fs::create_directories(to.parent_path(), ec);
    if (!ec)
        fs::rename(from, to, ec);
    if (ec && overwrite && fs::is_regular_file(fs::symlink_status(to))) {
        // Some hosts do not rename over an existing file.
        ec.clear();
        fs::remove(to, ec);
        if (!ec)
            fs::rename(from, to, ec);
    }
    if (ec)
        return fmt::format("cannot write the output file: {}", ec.message());
    return std::nullopt;
}

}  // namespace upkit
