#include <CLI/CLI.hpp>
#include <algorithm>
#include <fmt/format.h>
#include <memory>
#include <nlohmann/json.hpp>

#include "archive_scan.h"
#include "cli_output.h"
#include "command.h"
#include "command_help.h"
#include "dos_time.h"
#include "engine_paths.h"
#include "kit_archives.h"
#include "member_names.h"
#include "text_codec.h"

namespace upkit {

namespace {

struct ListOptions {
    std::string archive;               // an archive, or a kit program
    std::vector<std::string> members;  // names or patterns; empty: all
    bool json = false;
};

std::string stamp_text(const MemberEntry& entry)
{
    return format_dos_stamp(DosStamp{entry.time, entry.date});
}

// ", 1234 bytes packed (61.4%)", or ", 1234 bytes packed in 3 files (...)".
std::string packed_text(const ScannedArchive& archive, std::uint64_t total)
{
    if (archive.files == 0)
        return std::string();
    std::string text = fmt::format(", {} bytes packed", archive.packed_size);
    if (archive.files > 1)
        text += fmt::format(" in {} files", archive.files);
    if (total > 0)
        text +=
            fmt::format(" ({:.1f}%)", 100.0 * static_cast<double>(archive.packed_size) / static_cast<double>(total));
    return text;
}

std::uint64_t total_size(const std::vector<MemberEntry>& entries)
{
    std::uint64_t total = 0;
    for (const MemberEntry& entry : entries)
        total += entry.size;
    return total;
}

void print_table(std::ostream& out, const ScannedArchive& archive)
{
    const std::vector<MemberEntry>& entries = archive.entries;
    out << fmt::format("{}: {} members, window {} bits, version bytes {} {}\n", printable(archive.input->label),
                       entries.size(), archive.window_bits, archive.version_a, archive.version_b);
    out << fmt::format("{:>10}  {:<19}  {}\n", "size", "modified", "name");
    for (std::size_t k = 0; k < entries.size(); ++k) {
        if (!archive.selected[k])
            continue;
        const MemberEntry& entry = entries[k];
        std::string line =
            fmt::format("{:>10}  {}  {}", entry.size, stamp_text(entry), printable(utf8_from_windows1252(entry.name)));
        if (!entry.note.empty())
            line += fmt::format("  [{}]", printable(utf8_from_windows1252(entry.note)));
        out << line << '\n';
    }
    // The total of what was listed; the packed size is the whole archive's.
    out << fmt::format("{:>10}  {:<19}  {} members{}\n", archive.selected_size(), "total", archive.selected_count(),
                       packed_text(archive, total_size(entries)));
}

nlohmann::json listing_json(const ScannedArchive& archive)
{
    nlohmann::json members = nlohmann::json::array();
    for (std::size_t k = 0; k < archive.entries.size(); ++k) {
        if (!archive.selected[k])
            continue;
        const MemberEntry& entry = archive.entries[k];
        const std::optional<std::string> time = iso_8601_dos_stamp(DosStamp{entry.time, entry.date});
        members.push_back({{"name", utf8_from_windows1252(entry.name)},
                           {"size", entry.size},
                           {"modified", time ? nlohmann::json(*time) : nlohmann::json()},
                           {"note", utf8_from_windows1252(entry.note)}});
    }
    const std::uint64_t total = total_size(archive.entries);
    return {
        {"archive", utf8_from_host_text(archive.input->label)},
        {"member_count", archive.entries.size()},
        {"window_bits", archive.window_bits},
        {"version_bytes", {archive.version_a, archive.version_b}},
        {"total_size", total},
        {"packed_size", archive.packed_size},
        {"files", archive.files},
        {"ratio", total > 0 ? nlohmann::json(static_cast<double>(archive.packed_size) / static_cast<double>(total))
                            : nlohmann::json()},
        {"members", members},
    };
}

// What a kit's list row says of an archive, for the listing's heading.
std::string row_text(const ArchiveInput& input)
{
    if (!input.row)
        return fmt::format("archive {}: named by no ArchiveList row", *input.id);
    std::string why;
    const std::optional<std::filesystem::path> folder = destination_folder(*input.row, why);
    // The folder as text: the base's folder, then the subdirectory as UTF-8.
    std::string shown = "an unsafe folder";
    if (folder) {
        shown = utf8_from_path(*folder);
        std::replace(shown.begin(), shown.end(), '\\', '/');  // Windows' separators, shown as elsewhere
    }
    // The row's texts are UTF-8 already (kitread decodes the table).
    return fmt::format("archive {}: to {}, \"{}\"", *input.id, printable(shown), printable(input.row->progress));
}

nlohmann::json row_json(const ArchiveInput& input)
{
    nlohmann::json row = {{"id", *input.id}};
    if (input.row) {
        row["progress"] = input.row->progress;
        row["base"] = input.row->base;
        row["subdirectory"] = input.row->subdirectory;
    }
    return row;
}

void print_json(std::ostream& out, const nlohmann::json& document)
{
    // Host paths that are not valid UTF-8 get replacement characters instead
    // of failing the whole listing.
    out << document.dump(2, ' ', false, nlohmann::json::error_handler_t::replace) << '\n';
}

int list_all(const ListOptions& options, std::ostream& out, std::ostream& err)
{
    const ArchiveInputs inputs(options.archive);
    RunStatus status;
    std::vector<ScannedArchive> archives;
    if (!scan_selected_archives(inputs, options.members, options.archive, err, status, archives))
        return status.value();

    nlohmann::json listings = nlohmann::json::array();
    std::uint64_t kit_members = 0;
    std::uint64_t kit_total = 0;
    for (const ScannedArchive& archive : archives) {
        const ArchiveInput& input = *archive.input;
        if (!archive.readable) {
            if (options.json && inputs.from_kit()) {
                nlohmann::json listing = {{"archive", utf8_from_host_text(input.label)}, {"error", archive.failure}};
                listing.update(row_json(input));
                listings.push_back(std::move(listing));
            }
            continue;
        }
        // The kit's totals are of every archive; with MEMBERs, the archives
        // that hold none of them are not listed.
        kit_members += archive.entries.size();
        kit_total += total_size(archive.entries);
        if (inputs.from_kit() && !options.members.empty() && archive.selected_count() == 0)
            continue;
        if (options.json) {
            nlohmann::json listing = listing_json(archive);
            if (inputs.from_kit())
                listing.update(row_json(input));
            listings.push_back(std::move(listing));
        } else {
            if (inputs.from_kit())
                out << row_text(input) << '\n';
            print_table(out, archive);
        }
    }
    if (inputs.from_kit() && inputs.archives().empty() && !options.json)
        out << fmt::format("{}: the kit carries no archive\n", printable(options.archive));
    if (options.json) {
        if (inputs.from_kit())
            print_json(out, {{"kit", utf8_from_host_text(options.archive)},
                             {"archive_count", inputs.archives().size()},
                             {"member_count", kit_members},
                             {"total_size", kit_total},
                             {"archives", listings}});
        else if (!listings.empty())
            print_json(out, listings.front());
    }
    return status.value();
}

// Listing a kit writes out copies of its archives: at an interruption they go
// with their temporary folder before main ends the process by the signal.
int run_list(const ListOptions& options, std::ostream& out, std::ostream& err)
{
    return run_interruptible(err, "interrupted", [&] { return list_all(options, out, err); });
}

}  // namespace

void add_list_command(CLI::App& app, CommandRun& run)
{
    const auto options = std::make_shared<ListOptions>();
    CLI::App* command = app.add_subcommand("list", "Show an archive's members");
    command->footer("Shows size, time, name and note of each member (of every archive a kit carries),\n"
                    "and the totals, with the archive's size on disk. Names are shown in UTF-8.\n\n" +
                    std::string(kMemberFooter));
    command->add_option("ARCHIVE", options->archive, "Archive or kit program to read")->required();
    command->add_option("MEMBER", options->members, kMemberHelp);
    command->add_flag("--json", options->json,
                      "One JSON object instead of a table: names in UTF-8, times in ISO 8601, sizes in bytes");
    command->callback([options, &run] {
        run = [options](const CommandStreams& streams) { return run_list(*options, streams.out, streams.err); };
    });
}

}  // namespace upkit
