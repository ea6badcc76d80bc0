#include <CLI/CLI.hpp>
#include <filesystem>
#include <fmt/format.h>
#include <memory>

#include "archive_scan.h"
#include "cli_output.h"
#include "command.h"
#include "command_help.h"
#include "engine_paths.h"
#include "exit_status.h"
#include "interruption.h"
#include "kit_archives.h"
#include "member_placement.h"
#include "reporting_reader.h"
#include "temporary_folder.h"
#include "text_codec.h"

namespace fs = std::filesystem;

namespace upkit {

namespace {

// What extract does with a member whose output file exists already.
enum class Existing {
    refuse,
    overwrite,
    skip
};

struct ExtractOptions {
    std::string archive;  // an archive, or a kit program
    std::vector<std::string> members;
    std::string directory = ".";
    std::string layout = "archives";  // a kit's archives: archive-<id>/ each, or destinations
    Existing existing = Existing::refuse;
    bool follow_links = false;  // write through symbolic links below the target folder
    bool quiet = false;
};

// Makes the staging folder inside `target` (and `target` when missing);
// `staging` stays empty when either cannot be made. The folder goes, with
// what is left in it, on every way out of the archive's extraction.
void make_staging_folder(const fs::path& target, std::optional<TemporaryFolder>& staging)
{
    std::error_code ec;
    fs::create_directories(target, ec);
    if (ec)
        return;
    remove_stale_staging_folders(target);
    try {
        staging.emplace(staging_prefix(), target);
    } catch (const fs::filesystem_error&) {
        // Left empty: the caller names the folder it cannot use.
    }
}

struct ExtractRun {
    const ExtractOptions& options;
    ProgressLine& progress;
    std::uint64_t done = 0;   // bytes decoded in the archives before this one
    std::uint64_t total = 0;  // bytes to decode in all
    std::ostream& out;
    std::ostream& err;
};

int extract_archive(const ScannedArchive& archive, const fs::path& target, ExtractRun& run)
{
    const ArchiveInput& input = *archive.input;
    std::optional<TemporaryFolder> staging;
    make_staging_folder(target, staging);
    const std::optional<std::string> directory = staging ? engine_directory(staging->path()) : std::nullopt;
    if (!directory) {
        run.progress.clear();
        print_error(run.err, message_path(target), "cannot use this folder for output");
        return kExitIoError;
    }
    ReportingReader reader;
    if (!reader.OpenArchive(input.path)) {
        run.progress.clear();
        print_error(run.err, input.label, archive_failure_text(reader, input));
        return reader.FailureStatus();
    }
    const std::vector<MemberEntry>& entries = reader.Entries();
    run.progress.clear();
    if (!check_names(entries, *directory, input.label, run.err))
        return kExitDataError;

    RunStatus status;
    std::string current;
    const std::uint64_t base = run.done;
    reader.on_progress = [&](std::uint64_t decoded) { run.progress.update(base + decoded, run.total, current); };
    reader.should_stop = [] { return interrupted(); };
    // Members not selected, and those refused, are decoded on the way to the
    // next one written (the engine does that). A failed member is removed by
    // the engine; the members after it cannot be decoded.
    for (std::size_t k = 0; k < entries.size() && k < archive.selected.size(); ++k) {
        if (interrupted())
            return status.value();
        if (!archive.selected[k])
            continue;
        const std::string& name = entries[k].name;
        const fs::path final_path = output_path(target, name);
        // A link below the target would take the member elsewhere (or be
        // replaced by it): not unless asked for.
        if (!run.options.follow_links) {
            if (const std::optional<fs::path> link = link_on_path(target, final_path)) {
                run.progress.clear();
                print_error(run.err, message_path(final_path),
                            fmt::format("not written: {} is a symbolic link (--follow-links writes through links)",
                                        message_path(*link)));
                status.note(kExitDataError);
                continue;
            }
        }
        std::error_code ec;
        if (fs::exists(fs::symlink_status(final_path, ec))) {
            if (run.options.existing == Existing::skip)
                continue;
            if (run.options.existing == Existing::refuse) {
                run.progress.clear();
                print_error(run.err, message_path(final_path),
                            "exists; not replaced (use --overwrite to replace it, --skip-existing to pass over it)");
                status.note(kExitExists);
                continue;
            }
        }
        current = utf8_from_windows1252(name);
        if (!reader.ExtractMember(static_cast<int>(k), *directory, message_path(final_path))) {
            run.progress.clear();
            if (interrupted())
                return status.value();
            print_error(run.err, input.label, archive_failure_text(reader, input));
            status.note(reader.FailureStatus());
            return status.value();
        }
        const std::optional<fs::path> staged = staged_file(staging->path());
        const std::optional<std::string> problem =
            staged ? move_into_place(*staged, final_path, run.options.existing == Existing::overwrite)
                   : std::optional<std::string>("cannot write the output file: the archive engine wrote none");
        if (problem) {
            run.progress.clear();
            print_error(run.err, message_path(final_path), *problem);
            status.note(kExitIoError);
            return status.value();
        }
        if (!run.options.quiet) {
            run.progress.clear();
            run.out << printable(utf8_from_windows1252(name)) << '\n';
            // Before the line is drawn again (on the same terminal, likely).
            if (run.progress.active())
                run.out << std::flush;
        }
    }
    run.done += archive.decoded_size();
    return status.value();
}

// Where a kit's archive goes below the target folder.
std::optional<fs::path> kit_archive_folder(const ArchiveInput& input, const ExtractOptions& options, std::ostream& err)
{
    const fs::path target = host_path_of(options.directory);
    if (options.layout != "destinations")
        return target / fmt::format("archive-{}", *input.id);
    if (!input.row) {
        print_error(err, input.label, "named by no ArchiveList row, so it has no destination; use --layout archives");
        return std::nullopt;
    }
    std::string why;
    const std::optional<fs::path> folder = destination_folder(*input.row, why);
    if (!folder) {
        print_error(err, input.label, why);
        return std::nullopt;
    }
    return target / *folder;
}

int extract_all(const ExtractOptions& options, const Console& console, std::ostream& out, std::ostream& err);

// Extraction stops at an interruption, removes its partial folder and says
// so; main then ends the process by the signal.
int run_extract(const ExtractOptions& options, const Console& console, std::ostream& out, std::ostream& err)
{
    return run_interruptible(err, "interrupted; the member being written was removed",
                             [&] { return extract_all(options, console, out, err); });
}

int extract_all(const ExtractOptions& options, const Console& console, std::ostream& out, std::ostream& err)
{
    const ArchiveInputs inputs(options.archive);
    if (!inputs.from_kit() && options.layout == "destinations") {
        print_error(err, options.archive, "--layout destinations is for kits, and this is an archive");
        return kExitUsage;
    }
    if (inputs.from_kit() && inputs.archives().empty()) {
        print_error(err, options.archive, "the kit carries no archive");
        return kExitDataError;
    }
    RunStatus status;
    std::vector<ScannedArchive> archives;
    if (!scan_selected_archives(inputs, options.members, options.archive, err, status, archives))
        return status.value();
    ProgressLine progress(err, console, !options.quiet);
    ExtractRun run{options, progress, 0, 0, out, err};
    for (const ScannedArchive& archive : archives)
        run.total += archive.decoded_size();
    for (const ScannedArchive& archive : archives) {
        if (interrupted())
            break;
        if (!archive.readable || (!options.members.empty() && archive.selected_count() == 0))
            continue;
        if (!inputs.from_kit()) {
            status.note(extract_archive(archive, host_path_of(options.directory), run));
            continue;
        }
        progress.clear();
        const std::optional<fs::path> folder = kit_archive_folder(*archive.input, options, err);
        if (!folder) {
            status.note(kExitDataError);
            continue;
        }
        status.note(extract_archive(archive, *folder, run));
    }
    return status.value();
}

}  // namespace

void add_extract_command(CLI::App& app, CommandRun& run)
{
    struct Parsed {
        ExtractOptions options;
        bool overwrite = false;
        bool skip_existing = false;
    };
    const auto parsed = std::make_shared<Parsed>();
    ExtractOptions& options = parsed->options;
    CLI::App* command = app.add_subcommand("extract", "Write an archive's members below a folder");
    command->footer("Writes the members below the folder with their stored times, under their names\n"
                    "in UTF-8; a kit's archives go to archive-<id>/ each, or with --layout\n"
                    "destinations to install/, windows/ and system/. An archive with a name that\n"
                    "would land outside the folder is refused before anything is written. A member\n"
                    "whose file exists is not written, with a message and exit status 4, unless\n"
                    "--overwrite or --skip-existing is given. A member whose way below the folder\n"
                    "passes a symbolic link, or ends at one, is not written (exit status 1) unless\n"
                    "--follow-links is given. Interrupted (Ctrl-C, SIGTERM), extract removes the\n"
                    "member it was writing before it ends. A progress line shows on stderr when\n"
                    "it is a terminal.\n\n" +
                    std::string(kMemberFooter));
    command->add_option("ARCHIVE", options.archive, "Archive or kit program to read")->required();
    command->add_option("MEMBER", options.members, kMemberHelp);
    command->add_option("-d,--directory", options.directory, "Target folder (default: the current one)");
    CLI::Option* overwrite_option =
        command->add_flag("--overwrite", parsed->overwrite, "Replace files that exist already");
    command->add_flag("--skip-existing", parsed->skip_existing, "Leave files that exist already alone, silently")
        ->excludes(overwrite_option);
    command
        ->add_option("--layout", options.layout,
                     "A kit's archives: one folder each (archives, the default), or the install, "
                     "windows and system folders they install into (destinations)")
        ->check(CLI::IsMember({"archives", "destinations"}));
    command->add_flag("--follow-links", options.follow_links,
                      "Write through symbolic links that stand below the folder (refused by default)");
    command->add_flag("-q,--quiet", options.quiet, "Do not print member names, no progress line");

    command->callback([parsed, &run] {
        parsed->options.existing = parsed->overwrite       ? Existing::overwrite
                                   : parsed->skip_existing ? Existing::skip
                                                           : Existing::refuse;
        run = [parsed](const CommandStreams& streams) {
            return run_extract(parsed->options, streams.console, streams.out, streams.err);
        };
    });
}

}  // namespace upkit
