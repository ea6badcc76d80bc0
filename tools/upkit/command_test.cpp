#include <fmt/format.h>

#include "cli_output.h"
#include "commands.h"
#include "kit_archives.h"
#include "reporting_reader.h"

namespace upkit {

namespace {

bool test_archive(const ArchiveInput& input, std::ostream& out, std::ostream& err)
{
    ReportingReader reader;
    if (!reader.OpenArchive(input.path)) {
        print_error(err, input.label, reader.FailureText());
        return false;
    }
    std::uint64_t total = 0;
    const std::vector<MemberEntry>& entries = reader.Entries();
    // The stream runs on from member to member: after a failure the rest
    // cannot be decoded.
    for (std::size_t k = 0; k < entries.size(); ++k) {
        if (!reader.TestMember(static_cast<int>(k))) {
            print_error(err, input.label, reader.FailureText());
            return false;
        }
        total += entries[k].size;
    }
    out << fmt::format("{}: OK, {} members, {} bytes\n", printable(input.label), entries.size(), total);
    return true;
}

}  // namespace

int command_test(const TestOptions& options, std::ostream& out, std::ostream& err)
{
    const ArchiveInputs inputs(options.archive);
    if (inputs.from_kit() && inputs.archives().empty()) {
        print_error(err, options.archive, "the kit carries no archive");
        return 1;
    }
    // Every archive of a kit is tested, also after one fails.
    bool all_well = true;
    for (const ArchiveInput& input : inputs.archives())
        all_well = test_archive(input, out, err) && all_well;
    return all_well ? 0 : 1;
}

}  // namespace upkit
