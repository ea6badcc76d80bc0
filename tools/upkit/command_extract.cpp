#include <filesystem>
#include <fmt/format.h>
#include <random>

#include "archive_scan.h"
#include "cli_output.h"
#include "commands.h"
#include "engine_paths.h"
#include "kit_archives.h"
#include "member_names.h"
#include "reporting_reader.h"
#include "text_codec.h"
#include "win32_api.h"

namespace fs = std::filesystem;

namespace upkit {

namespace {

// The target folder as an absolute engine path. Absolute, so that the paths
// the engine composes need no qualifying against the current folder, which
// can make them too long for the engine's records.
std::optional<std::string> engine_directory(const fs::path& directory)
{
    std::error_code ec;
    const fs::path absolute = fs::absolute(directory, ec);
    if (ec)
        return std::nullopt;
    const std::optional<std::string> text = host_text_of(absolute.lexically_normal());
    return text ? to_engine_path(*text) : std::nullopt;
}

// A folder inside the target folder that the engine writes each member into
// under its stored name; from there it is renamed to its UTF-8 name. Removed
// with what is left in it.
class StagingFolder {
public:
    explicit StagingFolder(const fs::path& target)
    {
        std::random_device seed;
        std::mt19937 generator(seed());
        for (int attempt = 0; attempt < 100 && path_.empty(); ++attempt) {
            const fs::path candidate =
                target / fmt::format(".upkit-partial-{:08x}", static_cast<unsigned>(generator()));
            std::error_code ec;
            if (fs::create_directory(candidate, ec))
                path_ = candidate;
        }
    }
    ~StagingFolder()
    {
        std::error_code ec;
        if (!path_.empty())
            fs::remove_all(path_, ec);
    }
    StagingFolder(const StagingFolder&) = delete;
    StagingFolder& operator=(const StagingFolder&) = delete;

    const fs::path& path() const { return path_; }

private:
    fs::path path_;
};

// Checks every name before anything is written: an archive with one bad name
// is refused as a whole.
bool check_names(const std::vector<MemberEntry>& entries, const std::string& directory, const std::string& archive,
                 std::ostream& err)
{
    const bool add_separator = directory.empty() || directory.back() != '\\';
    for (const MemberEntry& entry : entries) {
        const std::string shown = printable(utf8_from_windows1252(entry.name));
        if (const char* reason = unsafe_name_reason(entry.name)) {
            print_error(err, archive,
                        fmt::format("{}: unsafe member name refused, nothing extracted: {}", shown, reason));
            return false;
        }
        const std::size_t length = directory.size() + (add_separator ? 1 : 0) + name_below_folder(entry.name).size();
        if (length >= MAX_PATH) {
            print_error(err, archive,
                        fmt::format("{}: the output path would be longer than {} characters, nothing extracted", shown,
                                    MAX_PATH - 1));
            return false;
        }
    }
    return true;
}

// Where member `name` is written below `target`: its UTF-8 name.
fs::path output_path(const fs::path& target, const std::string& name)
{
    const std::string relative = relative_utf8_path(name);
    return target / fs::path(std::u8string(relative.begin(), relative.end())).make_preferred();
}

// The file the engine just wrote below the staging folder, which holds no
// other file: each one is moved out once written. Found, not derived from the
// stored name, since the engine's way to a file name differs by host (on
// Windows through the OEM character set and back).
std::optional<fs::path> staged_file(const fs::path& staging)
{
    std::error_code ec;
    for (fs::recursive_directory_iterator it(staging, ec); !ec && it != fs::recursive_directory_iterator();
         it.increment(ec))
        if (it->is_regular_file(ec))
            return it->path();
    return std::nullopt;
}

std::string shown_path(const fs::path& path)
{
#ifdef _WIN32
    const std::u8string text = path.u8string();
    return std::string(text.begin(), text.end());
#else
    return path.string();
#endif
}

// Moves the finished member into place; what went wrong when it cannot.
std::optional<std::string> move_into_place(const fs::path& from, const fs::path& to, bool overwrite)
{
    std::error_code ec;
    fs::create_directories(to.parent_path(), ec);
    if (!ec)
        fs::rename(from, to, ec);
    if (ec && overwrite && fs::is_regular_file(fs::symlink_status(to))) {
        // Some hosts do not rename over an existing file.
        ec.clear();
        fs::remove(to, ec);
        if (!ec)
            fs::rename(from, to, ec);
    }
    if (ec)
        return fmt::format("cannot write the output file: {}", ec.message());
    return std::nullopt;
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
    std::error_code ec;
    fs::create_directories(target, ec);
    std::optional<StagingFolder> staging;
    if (!ec)
        staging.emplace(target);
    const std::optional<std::string> directory =
        staging && !staging->path().empty() ? engine_directory(staging->path()) : std::nullopt;
    if (!directory) {
        run.progress.clear();
        print_error(run.err, shown_path(target), "cannot use this folder for output");
        return kExitIoError;
    }
    ReportingReader reader;
    if (!reader.OpenArchive(input.path)) {
        run.progress.clear();
        print_error(run.err, input.label, reader.FailureText());
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
    // Members not selected, and those refused, are decoded on the way to the
    // next one written (the engine does that). A failed member is removed by
    // the engine; the members after it cannot be decoded.
    for (std::size_t k = 0; k < entries.size() && k < archive.selected.size(); ++k) {
        if (!archive.selected[k])
            continue;
        const std::string& name = entries[k].name;
        const fs::path final_path = output_path(target, name);
        if (fs::exists(fs::symlink_status(final_path, ec))) {
            if (run.options.existing == Existing::skip)
                continue;
            if (run.options.existing == Existing::refuse) {
                run.progress.clear();
                print_error(run.err, shown_path(final_path),
                            "exists; not replaced (use --overwrite to replace it, --skip-existing to pass over it)");
                status.note(kExitExists);
                continue;
            }
        }
        current = utf8_from_windows1252(name);
        if (!reader.ExtractMember(static_cast<int>(k), *directory, shown_path(final_path))) {
            run.progress.clear();
            print_error(run.err, input.label, reader.FailureText());
            status.note(reader.FailureStatus());
            return status.value();
        }
        const std::optional<fs::path> staged = staged_file(staging->path());
        const std::optional<std::string> problem =
            staged ? move_into_place(*staged, final_path, run.options.existing == Existing::overwrite)
                   : std::optional<std::string>("cannot write the output file: the archive engine wrote none");
        if (problem) {
            run.progress.clear();
            print_error(run.err, shown_path(final_path), *problem);
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
std::optional<fs::path> kit_archive_folder(const ArchiveInput& input, const ExtractOptions& options,
                                           std::ostream& err)
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

}  // namespace

int command_extract(const ExtractOptions& options, std::ostream& out, std::ostream& err)
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
    ProgressLine progress(err, options.console, !options.quiet);
    ExtractRun run{options, progress, 0, 0, out, err};
    for (const ScannedArchive& archive : archives)
        run.total += archive.decoded_size();
    for (const ScannedArchive& archive : archives) {
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

}  // namespace upkit
