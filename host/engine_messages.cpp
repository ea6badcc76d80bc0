#include "engine_messages.h"

#include <filesystem>
#include <fmt/format.h>

#include "engine_codes.h"
#include "engine_paths.h"
#include "exit_status.h"
#include "open_failure.h"
#include "text_codec.h"

namespace upkit {

const char* engine_message(int code)
{
    switch (code) {
    case ARCERR_NO_MEMORY:
        return "out of memory";
    case ARCERR_BAD_VERSION:
        return "the archive was made by a newer version";
    case ARCERR_CANNOT_OPEN:
    case ARCERR_OPEN_RETRY:
        return "cannot open the file";
    case ARCERR_READ:
        return "cannot read the archive";
    case ARCERR_FLUSH:
        return "cannot write the member's data";
    case ARCERR_BAD_DATA:
        return "not an archive, or damaged data";
    case ARCERR_CANNOT_CREATE:
        return "cannot create the output file";
    case ARCERR_END_OF_DIRECTORY:
        return "no more members";
    case ARCERR_WRITE:
        return "cannot write the output file";
    case ARCERR_BAD_INDEX:
        return "no such member";
    case ARCERR_NO_NAME:
        return "no archive name";
    case ARCERR_CANCELLED:
        return "cancelled";
    case ARCERR_CHECKSUM:
        return "check value mismatch: damaged data";
    case ARCERR_ALREADY_OPEN:
        return "another archive is already open";
    default:
        return "archive engine error";
    }
}

namespace {

// The archive's one file ended before the archive did, and the engine looked
// for a continuation file that is not there.
std::string cut_short(const std::filesystem::path& archive, const std::string& continuation)
{
    std::error_code ec;
    const std::uintmax_t size = std::filesystem::file_size(archive, ec);
    if (!ec && size == 0)
        return "an empty file (0 bytes), not an archive";
    if (ec)
        return fmt::format("archive is truncated: continuation file {} not found", printable(continuation));
    return fmt::format("archive is cut short: it ends after {} bytes, and no continuation file {} follows", size,
                       printable(continuation));
}

}  // namespace

std::string describe_engine_failure(const EngineFailure& failure, std::string_view archive_engine_path)
{
    const int code = failure.code;
    std::string what;
    const bool open_failure = code == ARCERR_CANNOT_OPEN || code == ARCERR_OPEN_RETRY;
    if (open_failure && !failure.path.empty() && failure.path != archive_engine_path) {
        const std::string continuation = from_engine_path(failure.path);
        // The count holds the file the engine failed to open: 2 when the
        // archive's first continuation file is missing.
        what = failure.files_opened <= 2
                   ? cut_short(host_path_of(from_engine_path(archive_engine_path)), continuation)
                   : fmt::format("archive is truncated: continuation file {} not found", printable(continuation));
    } else if (open_failure) {
        const std::string reason = open_failure_reason(host_path_of(from_engine_path(archive_engine_path)));
        what = reason.empty() ? "cannot open the archive" : "cannot open the archive: " + reason;
    } else if (code == ARCERR_READ && failure.files_opened > 1) {
        what = fmt::format("archive is truncated: continuation file {} is empty or unreadable",
                           printable(from_engine_path(failure.last_opened)));
    } else if ((code == ARCERR_CANNOT_CREATE || code == ARCERR_WRITE || code == ARCERR_FLUSH) &&
               !failure.output.empty()) {
        what = fmt::format("{} {}", engine_message(code), printable(failure.output));
    } else if (code == ARCERR_CANNOT_CREATE && !failure.path.empty()) {
        what = fmt::format("{} {}", engine_message(code), printable(from_engine_path(failure.path)));
    } else {
        what = engine_message(code);
    }
    if (!failure.member.empty())
        what = fmt::format("{}: {}", printable(utf8_from_windows1252(failure.member)), what);
    return fmt::format("{} ({})", what, code);
}

int engine_failure_status(const EngineFailure& failure, std::string_view archive_engine_path)
{
    switch (failure.code) {
    case ARCERR_CANNOT_OPEN:
    case ARCERR_OPEN_RETRY:
        // Another file than the archive: a continuation file is missing.
        return !failure.path.empty() && failure.path != archive_engine_path ? kExitDataError : kExitIoError;
    case ARCERR_READ:
        return failure.files_opened > 1 ? kExitDataError : kExitIoError;
    case ARCERR_CANNOT_CREATE:
    case ARCERR_WRITE:
    case ARCERR_FLUSH:
        return kExitIoError;
    default:
        return kExitDataError;
    }
}

}  // namespace upkit
