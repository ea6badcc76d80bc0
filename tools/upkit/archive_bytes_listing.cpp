#include "archive_bytes_listing.h"

#include <fmt/format.h>
#include <fstream>

#include "engine_codes.h"
#include "engine_paths.h"

namespace upkit {

ArchiveListing ArchiveBytesLister::list(std::uint16_t id, std::span<const std::uint8_t> bytes)
{
    ArchiveListing listing;
    // A folder of its own: the engine looks for continuation files next to
    // an archive whose directory runs past its end, and must find none.
    const std::filesystem::path file = folder_.path() / fmt::format("{}.kw", id);
    try {
        TemporaryFolder::write_file(file, bytes);
    } catch (const std::runtime_error&) {
        listing.failure = fmt::format("cannot be written to {} to be read", file.string());
        return listing;
    }
    const std::optional<std::string> path = host_text_of(file);
    if (!path) {
        listing.failure = "the temporary folder's path cannot be given to the archive engine";
        return listing;
    }
    {
        // One reader at a time: the engine's state is process-wide, and the
        // reader releases it when it goes.
        ReportingReader reader;
        if (reader.OpenArchive(*path)) {
            listing.readable = true;
            listing.window_bits = reader.GetWindowBits();
            listing.version_a = reader.GetVersionA();
            listing.version_b = reader.GetVersionB();
            listing.members = reader.Entries();
        } else {
            const EngineFailure& failure = reader.failure();
            const bool wants_continuation = (failure.code == ARCERR_CANNOT_OPEN || failure.code == ARCERR_OPEN_RETRY) &&
                                            !failure.path.empty() && failure.path != to_engine_path(*path);
            // The resource is the whole archive: a directory that asks for a
            // continuation file runs past its end.
            listing.failure = wants_continuation ? "its directory runs past the end of the resource"
                                                 : reader.FailureText();
        }
    }
    std::error_code ignored;
    std::filesystem::remove(file, ignored);
    return listing;
}

}  // namespace upkit
