#include <fmt/format.h>

#include "archive_scan.h"
#include "cli_output.h"
#include "commands.h"
#include "engine_paths.h"
#include "kit_archives.h"
#include "reporting_reader.h"
#include "text_codec.h"

namespace upkit {

namespace {

// Decodes the archive's members up to the last selected one; the stream runs
// on from member to member, so the ones before it are checked too. After a
// failure the rest cannot be decoded.
int test_archive(const ScannedArchive& archive, bool quiet, ProgressLine& progress, std::uint64_t& done_before,
                 std::uint64_t total, std::ostream& out, std::ostream& err)
{
    const ArchiveInput& input = *archive.input;
    ReportingReader reader;
    if (!reader.OpenArchive(input.path)) {
        progress.clear();
        print_error(err, input.label, reader.FailureText());
        return reader.FailureStatus();
    }
    const std::vector<MemberEntry>& entries = reader.Entries();
    std::string current;
    const std::uint64_t base = done_before;
    reader.on_progress = [&](std::uint64_t decoded) { progress.update(base + decoded, total, current); };
    const std::size_t end = std::min(archive.selected_end(), entries.size());
    for (std::size_t k = 0; k < end; ++k) {
        current = utf8_from_windows1252(entries[k].name);
        if (!reader.TestMember(static_cast<int>(k))) {
            progress.clear();
            print_error(err, input.label, reader.FailureText());
            return reader.FailureStatus();
        }
    }
    done_before += archive.decoded_size();
    progress.clear();
    if (!quiet)
        out << fmt::format("{}: OK, {} members, {} bytes\n", printable(input.label), archive.selected_count(),
                           archive.selected_size());
    return kExitOk;
}

}  // namespace

int command_test(const TestOptions& options, std::ostream& out, std::ostream& err)
{
    const ArchiveInputs inputs(options.archive);
    if (inputs.from_kit() && inputs.archives().empty()) {
        print_error(err, options.archive, "the kit carries no archive");
        return kExitDataError;
    }
    RunStatus status;
    std::vector<ScannedArchive> archives;
    if (!scan_selected_archives(inputs, options.members, options.archive, err, status, archives))
        return status.value();
    std::uint64_t total = 0;
    for (const ScannedArchive& archive : archives)
        total += archive.decoded_size();
    ProgressLine progress(err, options.console, !options.quiet);
    std::uint64_t done = 0;
    // Every archive of a kit is tested, also after one fails; with MEMBERs,
    // those holding none of them are left out.
    for (const ScannedArchive& archive : archives) {
        if (!archive.readable || (!options.members.empty() && archive.selected_count() == 0))
            continue;
        status.note(test_archive(archive, options.quiet, progress, done, total, out, err));
    }
    return status.value();
}

}  // namespace upkit
