// An archive reader that keeps what the engine reported, so that a command
// can say what went wrong, in which file and with which member.
//
// One reader serves one archive. It closes the archive when destroyed, which
// releases the engine's process-wide state for the next reader.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "archive_reader.h"

namespace upkit {

// The first error the engine reported, with what was known around it.
struct EngineFailure {
    int code = 0;             // 0 while nothing has gone wrong
    std::string path;         // engine path: the file behind 3 and 21, the output file behind 10
    std::string output;       // host text: the file a member was to be written to, as the user sees it
    std::string member;       // the member being decoded or written, if any
    std::string last_opened;  // base name of the archive file opened last
    int files_opened = 0;     // archive files opened when the error came
};

struct MemberEntry {
    std::string name;
    std::string note;
    std::uint32_t size = 0;
    std::uint16_t time = 0;
    std::uint16_t date = 0;
};

class ReportingReader : public ArchiveReader {
public:
    ReportingReader() = default;
    ~ReportingReader();

    // Opens the archive at `archive` (host text) and copies its directory.
    // False when that failed or any error was reported on the way.
    bool OpenArchive(const std::string& archive);

    // The directory entries, in stored order, once OpenArchive succeeded.
    const std::vector<MemberEntry>& Entries() const { return entries_; }

    // Decodes member `index` without writing it and checks its check value.
    // Members must be taken in order, each once. False on any error report.
    bool TestMember(int index);

    // Writes member `index` below `engine_directory`, keeping its stored
    // folders; members between the last one taken and `index` are decoded
    // without being written. `shown_output` names the output file in a
    // failure (default: the engine's path). False on any error report.
    bool ExtractMember(int index, const std::string& engine_directory, const std::string& shown_output = {});

    bool failed() const { return failure_.code != 0 || !problem_.empty(); }
    const EngineFailure& failure() const { return failure_; }
    // What went wrong, for "upkit: <archive>: <text>".
    std::string FailureText() const;
    // The exit status that failure calls for (exit_status.h).
    int FailureStatus() const;

    // Called as members are decoded with the bytes decoded since the archive
    // was opened, the members skipped on the way included.
    std::function<void(std::uint64_t decoded)> on_progress;

    // Asked as members are decoded: true stops the decoding, which then
    // fails with ARCERR_CANCELLED (the member's file is removed).
    std::function<bool()> should_stop;

    int OnError(int code, void* detail) override;
    void OnStatus(int code, const char* name) override;
    int OnProgress(DWORD done, DWORD total) override;

private:
    std::string MemberName(int index);
    void CopyDirectory();

    std::string engine_path_;
    std::vector<MemberEntry> entries_;
    std::string problem_;  // a failure found before the engine was asked
    EngineFailure failure_;
    std::string current_member_;
    std::string last_opened_;
    int files_opened_ = 0;
    std::uint64_t decoded_ = 0;  // bytes of the members decoded to their end
};

}  // namespace upkit
