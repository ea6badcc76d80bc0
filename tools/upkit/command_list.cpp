#include <fmt/format.h>
#include <nlohmann/json.hpp>

#include "cli_output.h"
#include "commands.h"
#include "dos_time.h"
#include "engine_paths.h"
#include "kit_archives.h"
#include "reporting_reader.h"

namespace upkit {

namespace {

std::string stamp_text(const MemberEntry& entry)
{
    return format_dos_stamp(DosStamp{entry.time, entry.date});
}

void print_table(std::ostream& out, const std::string& archive, const ReportingReader& reader,
                 const std::vector<MemberEntry>& entries)
{
    out << fmt::format("{}: {} members, window {} bits, version bytes {} {}\n", printable(archive), entries.size(),
                       reader.GetWindowBits(), reader.GetVersionA(), reader.GetVersionB());
    out << fmt::format("{:>10}  {:<19}  {}\n", "size", "modified", "name");
    std::uint64_t total = 0;
    for (const MemberEntry& entry : entries) {
        std::string line = fmt::format("{:>10}  {}  {}", entry.size, stamp_text(entry), printable(entry.name));
        if (!entry.note.empty())
            line += fmt::format("  [{}]", printable(entry.note));
        out << line << '\n';
        total += entry.size;
    }
    out << fmt::format("{:>10}  {:<19}  {} members\n", total, "total", entries.size());
}

nlohmann::json listing_json(const std::string& archive, const ReportingReader& reader,
                            const std::vector<MemberEntry>& entries)
{
    nlohmann::json members = nlohmann::json::array();
    std::uint64_t total = 0;
    for (const MemberEntry& entry : entries) {
        members.push_back({{"name", utf8_from_engine_text(entry.name)},
                           {"size", entry.size},
                           {"modified", stamp_text(entry)},
                           {"note", utf8_from_engine_text(entry.note)}});
        total += entry.size;
    }
    return {
        {"archive", archive},
        {"member_count", entries.size()},
        {"window_bits", reader.GetWindowBits()},
        {"version_bytes", {reader.GetVersionA(), reader.GetVersionB()}},
        {"total_size", total},
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
    return fmt::format("archive {}: to {}, \"{}\"", *input.id,
                       folder ? folder->generic_string() : "an unsafe folder", printable(input.row->progress));
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
    // Names that are not valid UTF-8 get replacement characters instead of
    // failing the whole listing.
    out << document.dump(2, ' ', false, nlohmann::json::error_handler_t::replace) << '\n';
}

}  // namespace

int command_list(const ListOptions& options, std::ostream& out, std::ostream& err)
{
    const ArchiveInputs inputs(options.archive);
    nlohmann::json archives = nlohmann::json::array();
    bool failed = false;
    for (const ArchiveInput& input : inputs.archives()) {
        ReportingReader reader;
        if (!reader.OpenArchive(input.path)) {
            print_error(err, input.label, reader.FailureText());
            failed = true;
            continue;
        }
        const std::vector<MemberEntry>& entries = reader.Entries();
        if (options.json) {
            nlohmann::json listing = listing_json(input.label, reader, entries);
            if (inputs.from_kit())
                listing.update(row_json(input));
            archives.push_back(std::move(listing));
        } else {
            if (inputs.from_kit())
                out << row_text(input) << '\n';
            print_table(out, input.label, reader, entries);
        }
    }
    if (inputs.from_kit() && inputs.archives().empty() && !options.json)
        out << fmt::format("{}: the kit carries no archive\n", printable(options.archive));
    if (options.json) {
        if (inputs.from_kit())
            print_json(out, {{"kit", options.archive}, {"archives", archives}});
        else if (!archives.empty())
            print_json(out, archives.front());
    }
    return failed ? 1 : 0;
}

}  // namespace upkit
