// What list, test, extract and inspect first learn of their input: each
// archive's header and directory, and which members the MEMBER arguments
// select.
#pragma once

#include <cstdint>
#include <ostream>
#include <string>
#include <vector>

#include "exit_status.h"
#include "kit_archives.h"
#include "member_selection.h"
#include "reporting_reader.h"

namespace upkit {

struct ScannedArchive {
    const ArchiveInput* input = nullptr;
    bool readable = false;
    std::string failure;           // why not, when not readable
    int failure_status = kExitOk;  // and the exit status that calls for
    int window_bits = 0;
    int version_a = 0;
    int version_b = 0;
    std::vector<MemberEntry> entries;
    std::vector<char> selected;     // per entry
    std::uint64_t packed_size = 0;  // bytes of the archive's files
    int files = 0;                  // the archive file and the continuation files beside it

    std::size_t selected_count() const;
    std::uint64_t selected_size() const;
    // Bytes decoded to reach the end of the last selected member.
    std::uint64_t decoded_size() const;
    // One past the last selected member (0 when none is).
    std::size_t selected_end() const;
};

// What went wrong with `input` as `reader` reported it, for messages. The
// engine looks for continuation files beside an archive that runs past its
// end; a kit's archive is its whole resource, so the file the engine missed,
// in a temporary folder, is not named.
std::string archive_failure_text(const ReportingReader& reader, const ArchiveInput& input);

// Reads the archive's header and directory (the archive is closed again);
// prints nothing.
ScannedArchive scan_archive(const ArchiveInput& input);

// Reads each archive's directory. A failure is printed on err and noted in
// status; the archive stays in the result, not readable.
std::vector<ScannedArchive> scan_archives(const ArchiveInputs& inputs, std::ostream& err, RunStatus& status);

// Marks the selected members of every readable archive. A MEMBER that
// matches nothing in any of them is printed on err as an error against
// `shown_file`; false then (status 5). True when no archive could be read.
bool select_members(std::vector<ScannedArchive>& archives, const std::vector<std::string>& patterns,
                    const std::string& shown_file, std::ostream& err);

// Both steps, as list, test and extract take them: false when a MEMBER
// matches nothing (status 5 noted).
bool scan_selected_archives(const ArchiveInputs& inputs, const std::vector<std::string>& patterns,
                            const std::string& shown_file, std::ostream& err, RunStatus& status,
                            std::vector<ScannedArchive>& archives);

}  // namespace upkit
