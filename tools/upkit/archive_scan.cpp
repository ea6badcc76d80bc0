#include "archive_scan.h"

#include <algorithm>
#include <filesystem>
#include <fmt/format.h>

#include "cli_output.h"
#include "engine_codes.h"
#include "engine_paths.h"
#include "text_codec.h"

namespace upkit {

namespace {

// The archive file and the continuation files found beside it, in sequence.
void measure_files(ScannedArchive& archive)
{
    std::error_code ec;
    const std::uintmax_t first = std::filesystem::file_size(host_path_of(archive.input->path), ec);
    if (ec)
        return;
    archive.packed_size = first;
    archive.files = 1;
    for (int n = 2;; ++n) {
        const std::optional<std::string> next = continuation_path(archive.input->path, n);
        if (!next)
            break;
        const std::uintmax_t size = std::filesystem::file_size(host_path_of(*next), ec);
        if (ec)
            break;
        archive.packed_size += size;
        archive.files = n;
    }
}

}  // namespace

std::size_t ScannedArchive::selected_count() const
{
    std::size_t n = 0;
    for (char s : selected)
        n += s ? 1 : 0;
    return n;
}

std::uint64_t ScannedArchive::selected_size() const
{
    std::uint64_t total = 0;
    for (std::size_t k = 0; k < entries.size(); ++k)
        if (selected[k])
            total += entries[k].size;
    return total;
}

std::size_t ScannedArchive::selected_end() const
{
    for (std::size_t k = selected.size(); k > 0; --k)
        if (selected[k - 1])
            return k;
    return 0;
}

std::uint64_t ScannedArchive::decoded_size() const
{
    std::uint64_t total = 0;
    for (std::size_t k = 0; k < selected_end(); ++k)
        total += entries[k].size;
    return total;
}

std::string archive_failure_text(const ReportingReader& reader, const ArchiveInput& input)
{
    const EngineFailure& failure = reader.failure();
    const bool open_failure = failure.code == ARCERR_CANNOT_OPEN || failure.code == ARCERR_OPEN_RETRY;
    const bool wants_continuation =
        input.id && open_failure && !failure.path.empty() && failure.path != to_engine_path(input.path);
    if (!wants_continuation)
        return reader.FailureText();
    if (failure.member.empty())
        return "its directory runs past the end of the resource";
    return fmt::format("{}: its data runs past the end of the resource",
                       printable(utf8_from_windows1252(failure.member)));
}

ScannedArchive scan_archive(const ArchiveInput& input)
{
    ScannedArchive archive;
    archive.input = &input;
    if (!input.unavailable.empty()) {
        archive.failure = input.unavailable;
        // The status of a kit that cannot be read.
        archive.failure_status = kExitDataError;
        return archive;
    }
    // Closed on return: the engine's state is process-wide, one reader at a
    // time.
    ReportingReader reader;
    if (!reader.OpenArchive(input.path)) {
        archive.failure = archive_failure_text(reader, input);
        archive.failure_status = reader.FailureStatus();
        return archive;
    }
    archive.readable = true;
    archive.window_bits = reader.GetWindowBits();
    archive.version_a = reader.GetVersionA();
    archive.version_b = reader.GetVersionB();
    archive.entries = reader.Entries();
    archive.selected.assign(archive.entries.size(), 1);
    measure_files(archive);
    return archive;
}

std::vector<ScannedArchive> scan_archives(const ArchiveInputs& inputs, std::ostream& err, RunStatus& status)
{
    std::vector<ScannedArchive> result;
    for (const ArchiveInput& input : inputs.archives()) {
        ScannedArchive archive = scan_archive(input);
        if (!archive.readable) {
            print_error(err, input.label, archive.failure);
            status.note(archive.failure_status);
        }
        result.push_back(std::move(archive));
    }
    return result;
}

bool select_members(std::vector<ScannedArchive>& archives, const std::vector<std::string>& patterns,
                    const std::string& shown_file, std::ostream& err)
{
    MemberSelection selection(patterns);
    // With no archive read there is nothing to match against: the archives'
    // failures say enough.
    const bool any_readable =
        std::any_of(archives.begin(), archives.end(), [](const ScannedArchive& a) { return a.readable; });
    if (selection.all() || !any_readable)
        return true;
    for (ScannedArchive& archive : archives)
        for (std::size_t k = 0; k < archive.entries.size(); ++k)
            archive.selected[k] = selection.selects(archive.entries[k].name) ? 1 : 0;
    const std::vector<std::string> unmatched = selection.unmatched();
    for (const std::string& pattern : unmatched)
        print_error(err, shown_file, fmt::format("no member matches \"{}\"", printable(pattern)));
    return unmatched.empty();
}

bool scan_selected_archives(const ArchiveInputs& inputs, const std::vector<std::string>& patterns,
                            const std::string& shown_file, std::ostream& err, RunStatus& status,
                            std::vector<ScannedArchive>& archives)
{
    archives = scan_archives(inputs, err, status);
    if (select_members(archives, patterns, shown_file, err))
        return true;
    status.note(kExitNoMatch);
    return false;
}

}  // namespace upkit
