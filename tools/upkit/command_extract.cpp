#include <filesystem>
#include <fmt/format.h>

#include "cli_output.h"
#include "commands.h"
#include "engine_paths.h"
#include "member_names.h"
#include "reporting_reader.h"
#include "win32_api.h"

namespace upkit {

namespace {

// The target folder as an absolute engine path. Absolute, so that the paths
// the engine composes need no qualifying against the current folder, which
// can make them too long for the engine's records.
std::optional<std::string> engine_directory(const std::string& directory)
{
    std::error_code ec;
    const std::filesystem::path absolute = std::filesystem::absolute(host_path_of(directory), ec);
    if (ec)
        return std::nullopt;
    const std::optional<std::string> text = host_text_of(absolute.lexically_normal());
    return text ? to_engine_path(*text) : std::nullopt;
}

// Checks every name before anything is written: an archive with one bad name
// is refused as a whole.
bool check_names(const std::vector<MemberEntry>& entries, const std::string& directory, const std::string& archive,
                 std::ostream& err)
{
    const bool add_separator = directory.empty() || directory.back() != '\\';
    for (const MemberEntry& entry : entries) {
        if (const char* reason = unsafe_name_reason(entry.name)) {
            print_error(
                err, archive,
                fmt::format("{}: unsafe member name refused, nothing extracted: {}", printable(entry.name), reason));
            return false;
        }
        const std::size_t length = directory.size() + (add_separator ? 1 : 0) + name_below_folder(entry.name).size();
        if (length >= MAX_PATH) {
            print_error(err, archive,
                        fmt::format("{}: the output path would be longer than {} characters, nothing extracted",
                                    printable(entry.name), MAX_PATH - 1));
            return false;
        }
    }
    return true;
}

}  // namespace

int command_extract(const ExtractOptions& options, std::ostream& out, std::ostream& err)
{
    const std::optional<std::string> directory = engine_directory(options.directory);
    if (!directory) {
        print_error(err, options.directory, "cannot use this folder for output");
        return 1;
    }
    ReportingReader reader;
    if (!reader.OpenArchive(options.archive)) {
        print_error(err, options.archive, reader.FailureText());
        return 1;
    }
    const std::vector<MemberEntry>& entries = reader.Entries();
    if (!check_names(entries, *directory, options.archive, err))
        return 1;
    // The engine makes the folders and sets each file's time. A failed member
    // is removed by the engine; the members after it cannot be decoded.
    for (std::size_t k = 0; k < entries.size(); ++k) {
        if (!reader.ExtractMember(static_cast<int>(k), *directory)) {
            print_error(err, options.archive, reader.FailureText());
            return 1;
        }
        if (!options.quiet)
            out << printable(entries[k].name) << '\n';
    }
    return 0;
}

}  // namespace upkit
