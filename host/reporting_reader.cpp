#include "reporting_reader.h"

#include "engine_messages.h"
#include "engine_paths.h"
#include "exit_status.h"
#include "member_names.h"

namespace upkit {

namespace {

// The engine refuses longer archive paths.
const std::size_t kLongestArchivePath = 255;

}  // namespace

ReportingReader::~ReportingReader()
{
    Close();
}

bool ReportingReader::OpenArchive(const std::string& archive)
{
    const std::optional<std::string> engine = to_engine_path(archive);
    if (!engine) {
        problem_ = "a backslash in a path cannot be passed on (it would be read as a separator)";
        return false;
    }
    if (engine->size() > kLongestArchivePath) {
        problem_ = "the path is longer than 255 characters";
        return false;
    }
    engine_path_ = *engine;
    if (Open(engine_path_.c_str()) != 0 || GetStatus() != 0) {
        // A failure reported only through the status still needs a code.
        if (failure_.code == 0)
            failure_.code = GetStatus() ? GetStatus() : ARCERR_BAD_DATA;
        return false;
    }
    CopyDirectory();
    return !failed();
}

void ReportingReader::CopyDirectory()
{
    entries_.clear();
    for (int i = 0; i < GetCount(); ++i) {
        ArchiveEntry entry;
        if (GetEntry(i, &entry) != 0)
            break;
        MemberEntry copy;
        copy.name = entry.name;
        copy.note.assign(entry.note, static_cast<std::size_t>(entry.note_length));
        copy.size = entry.size;
        copy.time = entry.time;
        copy.date = entry.date;
        entries_.push_back(std::move(copy));
    }
}

std::string ReportingReader::MemberName(int index)
{
    ArchiveEntry entry;
    return GetEntry(index, &entry) == 0 ? std::string(entry.name) : std::string();
}

bool ReportingReader::TestMember(int index)
{
    if (failed() || index < 0 || index >= GetCount())
        return false;
    current_member_ = MemberName(index);
    const int result = ExtractOne(0, index, nullptr, 0);
    if (result != 0 && failure_.code == 0) {
        failure_.code = result;
        failure_.member = current_member_;
    }
    return result == 0 && !failed();
}

bool ReportingReader::ExtractMember(int index, const std::string& engine_directory, const std::string& shown_output)
{
    if (failed())
        return false;
    current_member_ = MemberName(index);
    const int result = Extract(index, engine_directory.c_str(), 1);
    if (result != 0 && failure_.code == 0) {
        failure_.code = result;
        failure_.member = current_member_;
    }
    if (failure_.code != 0 && failure_.member == MemberName(index))
        failure_.output = shown_output;
    // The engine names no file when it cannot create one; it is the member's
    // name joined to the directory.
    if (failure_.code == ARCERR_CANNOT_CREATE && failure_.path.empty()) {
        std::string path = engine_directory;
        if (!path.empty() && path.back() != '\\')
            path += '\\';
        failure_.path = path + std::string(name_below_folder(current_member_));
    }
    return result == 0 && !failed();
}

// Runs inside the engine, which is built without exceptions: nothing may
// escape from here.
int ReportingReader::OnError(int code, void* detail)
{
    if (failure_.code != 0)
        return 0;
    try {
        failure_.code = code;
        failure_.member = current_member_;
        failure_.last_opened = last_opened_;
        failure_.files_opened = files_opened_;
        if (detail && (code == ARCERR_CANNOT_OPEN || code == ARCERR_OPEN_RETRY)) {
            const char* path = *static_cast<char**>(detail);
            if (path)
                failure_.path = path;
        } else if (detail && code == ARCERR_WRITE) {
            const char* name = *static_cast<const char**>(detail);
            if (name)
                failure_.member = name;
        }
    } catch (...) {
        // Out of memory for the texts: the code alone still fails the run.
    }
    // No second attempt at opening a missing file.
    return 0;
}

void ReportingReader::OnStatus(int code, const char* name)
{
    try {
        if (code == ARCSTAT_OPEN) {
            ++files_opened_;
            last_opened_ = name ? name : "";
        } else if ((code == ARCSTAT_EXTRACT || code == ARCSTAT_SKIP) && name) {
            current_member_ = name;
        }
    } catch (...) {
    }
}

int ReportingReader::OnProgress(DWORD done, DWORD total)
{
    // The last query of a member gives its whole size (and a member of no
    // bytes is asked twice with 0 and 0).
    if (done == total)
        decoded_ += total;
    if (on_progress) {
        try {
            on_progress(done == total ? decoded_ : decoded_ + done);
        } catch (...) {
        }
    }
    if (should_stop && should_stop())
        return 0;
    return 1;
}

int ReportingReader::FailureStatus() const
{
    if (!problem_.empty())
        return kExitIoError;
    return engine_failure_status(failure_, engine_path_);
}

std::string ReportingReader::FailureText() const
{
    if (!problem_.empty())
        return problem_;
    return describe_engine_failure(failure_, engine_path_);
}

}  // namespace upkit
