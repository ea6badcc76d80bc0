#include <filesystem>
#include <fmt/format.h>

#include "cli_output.h"
#include "commands.h"
#include "engine_paths.h"
#include "kit_archives.h"
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

namespace {

bool extract_archive(const ArchiveInput& input, const std::filesystem::path& target, bool quiet, std::ostream& out,
                     std::ostream& err)
{
    std::error_code ec;
    std::filesystem::create_directories(target, ec);
    const std::optional<std::string> directory = ec ? std::nullopt : engine_directory(host_text_of(target).value_or(""));
    if (!directory) {
        print_error(err, target.string(), "cannot use this folder for output");
        return false;
    }
    ReportingReader reader;
    if (!reader.OpenArchive(input.path)) {
        print_error(err, input.label, reader.FailureText());
        return false;
    }
    const std::vector<MemberEntry>& entries = reader.Entries();
    if (!check_names(entries, *directory, input.label, err))
        return false;
    // The engine makes the folders and sets each file's time. A failed member
    // is removed by the engine; the members after it cannot be decoded.
    for (std::size_t k = 0; k < entries.size(); ++k) {
        if (!reader.ExtractMember(static_cast<int>(k), *directory)) {
            print_error(err, input.label, reader.FailureText());
            return false;
        }
        if (!quiet)
            out << printable(entries[k].name) << '\n';
    }
    return true;
}

// Where a kit's archive goes below the target folder.
std::optional<std::filesystem::path> kit_archive_folder(const ArchiveInput& input, const ExtractOptions& options,
                                                        std::ostream& err)
{
    const std::filesystem::path target = host_path_of(options.directory);
    if (options.layout != "destinations")
        return target / fmt::format("archive-{}", *input.id);
    if (!input.row) {
        print_error(err, input.label, "named by no ArchiveList row, so it has no destination; use --layout archives");
        return std::nullopt;
    }
    std::string why;
    const std::optional<std::filesystem::path> folder = destination_folder(*input.row, why);
    if (!folder) {
        print_error(err, input.label, why);
        return std::nullopt;
    }
    return target / *folder;
}

}  // namespace

int command_extract(const ExtractOptions& options, std::ostream& out, std::ostream& err)
{
    const ArchiveInputs inputs(options.archive);
    if (!inputs.from_kit()) {
        if (options.layout == "destinations") {
            print_error(err, options.archive, "--layout destinations is for kits, and this is an archive");
            return 1;
        }
        return extract_archive(inputs.archives().front(), host_path_of(options.directory), options.quiet, out, err)
                   ? 0
                   : 1;
    }
    if (inputs.archives().empty()) {
        print_error(err, options.archive, "the kit carries no archive");
        return 1;
    }
    bool all_well = true;
    for (const ArchiveInput& input : inputs.archives()) {
        const std::optional<std::filesystem::path> folder = kit_archive_folder(input, options, err);
        all_well = folder && extract_archive(input, *folder, options.quiet, out, err) && all_well;
    }
    return all_well ? 0 : 1;
}

}  // namespace upkit
