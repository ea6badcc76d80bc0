#include <fmt/format.h>

#include "cli_output.h"
#include "commands.h"
#include "reporting_reader.h"

namespace upkit {

int command_test(const TestOptions& options, std::ostream& out, std::ostream& err)
{
    ReportingReader reader;
    if (!reader.OpenArchive(options.archive)) {
        print_error(err, options.archive, reader.FailureText());
        return 1;
    }
    std::uint64_t total = 0;
    const std::vector<MemberEntry>& entries = reader.Entries();
    // The stream runs on from member to member: after a failure the rest
    // cannot be decoded.
    for (std::size_t k = 0; k < entries.size(); ++k) {
        if (!reader.TestMember(static_cast<int>(k))) {
            print_error(err, options.archive, reader.FailureText());
            return 1;
        }
        total += entries[k].size;
    }
    out << fmt::format("{}: OK, {} members, {} bytes\n", printable(options.archive), entries.size(), total);
    return 0;
}

}  // namespace upkit
