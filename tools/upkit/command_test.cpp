#include <CLI/CLI.hpp>
#include <fmt/format.h>
#include <memory>

#include "archive_scan.h"
#include "cli_output.h"
#include "command.h"
#include "command_help.h"
#include "engine_paths.h"
#include "interruption.h"
#include "kit_archives.h"
#include "reporting_reader.h"
#include "text_codec.h"

namespace upkit {

namespace {

struct TestOptions {
    std::string archive;               // an archive, or a kit program
    std::vector<std::string> members;  // names or patterns; empty: all
    bool quiet = false;
};

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
        print_error(err, input.label, archive_failure_text(reader, input));
        return reader.FailureStatus();
    }
    const std::vector<MemberEntry>& entries = reader.Entries();
    std::string current;
    const std::uint64_t base = done_before;
    reader.on_progress = [&](std::uint64_t decoded) { progress.update(base + decoded, total, current); };
    reader.should_stop = [] { return interrupted(); };
    const std::size_t end = std::min(archive.selected_end(), entries.size());
    for (std::size_t k = 0; k < end; ++k) {
        current = utf8_from_windows1252(entries[k].name);
        if (!reader.TestMember(static_cast<int>(k))) {
            progress.clear();
            if (interrupted())
                return kExitInterrupted;
            print_error(err, input.label, archive_failure_text(reader, input));
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

int test_all(const TestOptions& options, const Console& console, std::ostream& out, std::ostream& err)
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
    ProgressLine progress(err, console, !options.quiet);
    std::uint64_t done = 0;
    // Every archive of a kit is tested, also after one fails; with MEMBERs,
    // those holding none of them are left out.
    for (const ScannedArchive& archive : archives) {
        if (interrupted())
            break;
        if (!archive.readable || (!options.members.empty() && archive.selected_count() == 0))
            continue;
        status.note(test_archive(archive, options.quiet, progress, done, total, out, err));
    }
    return status.value();
}

// Testing stops at an interruption; the copies of a kit's archives go with
// their temporary folder, and main then ends the process by the signal.
int run_test(const TestOptions& options, const Console& console, std::ostream& out, std::ostream& err)
{
    return run_interruptible(err, "interrupted", [&] { return test_all(options, console, out, err); });
}

}  // namespace

void add_test_command(CLI::App& app, CommandRun& run)
{
    const auto options = std::make_shared<TestOptions>();
    CLI::App* command = app.add_subcommand("test", "Decode every member and check its check value");
    command->footer("Decodes the members without writing them and compares each one's check value\n"
                    "(every archive of a kit). With MEMBERs, every member up to the last one selected\n"
                    "is decoded. A progress line shows on stderr when it is a terminal.\n\n" +
                    std::string(kMemberFooter));
    command->add_option("ARCHIVE", options->archive, "Archive or kit program to read")->required();
    command->add_option("MEMBER", options->members, kMemberHelp);
    command->add_flag("-q,--quiet", options->quiet, "No OK line and no progress line");
    command->callback([options, &run] {
        run = [options](const CommandStreams& streams) {
            return run_test(*options, streams.console, streams.out, streams.err);
        };
    });
}

}  // namespace upkit
