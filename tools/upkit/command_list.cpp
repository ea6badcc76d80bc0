#include <fmt/format.h>
#include <nlohmann/json.hpp>

#include "cli_output.h"
#include "commands.h"
#include "dos_time.h"
#include "engine_paths.h"
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

void print_json(std::ostream& out, const std::string& archive, const ReportingReader& reader,
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
    const nlohmann::json document = {
        {"archive", archive},
        {"member_count", entries.size()},
        {"window_bits", reader.GetWindowBits()},
        {"version_bytes", {reader.GetVersionA(), reader.GetVersionB()}},
        {"total_size", total},
        {"members", members},
    };
    // Names that are not valid UTF-8 get replacement characters instead of
    // failing the whole listing.
    out << document.dump(2, ' ', false, nlohmann::json::error_handler_t::replace) << '\n';
}

}  // namespace

int command_list(const ListOptions& options, std::ostream& out, std::ostream& err)
{
    ReportingReader reader;
    if (!reader.OpenArchive(options.archive)) {
        print_error(err, options.archive, reader.FailureText());
        return 1;
    }
    const std::vector<MemberEntry>& entries = reader.Entries();
    if (options.json)
        print_json(out, options.archive, reader, entries);
    else
        print_table(out, options.archive, reader, entries);
    return 0;
}

}  // namespace upkit
