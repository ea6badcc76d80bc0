// The files an archive is made of and the names they are stored under: the
// one walk of files and folders that `upkit create` and `upkit build` share,
// so that a file gets the same stored name from both.
//
// A file given by itself is stored under its own name; a folder's files
// below it, with backslashes between its subfolders (the folder's own name is
// not part of them). Host names are UTF-8 (natively by convention, on
// Windows from UTF-16) and are stored in Windows-1252, the character set of
// archives and of the kit: a name that is not UTF-8 or holds a character
// Windows-1252 lacks cannot be stored.
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "archive_writer.h"
#include "dos_time.h"
#include "exit_status.h"

namespace upkit {

struct MemberSource {
    std::filesystem::path path;  // the file to read
    std::string shown;           // the file as messages name it (host text)
    std::string stored;          // its stored name, Windows-1252
};

// A file that cannot be stored; `file` is the file as messages show it.
class SourceError : public std::runtime_error {
public:
    SourceError(std::string file_in, const std::string& what, int status_in = kExitDataError)
        : std::runtime_error(what)
        , file(std::move(file_in))
        , status(status_in)
    {
    }
    std::string file;
    int status;  // exit_status.h: 1 for what cannot be stored, 3 for what cannot be read
};

// What a walk does with what it meets besides plain files. `skip` is told
// each entry left out, and why; it may throw to refuse it instead.
struct SourceWalk {
    std::function<void(const std::filesystem::path&, std::string_view why)> skip;
    // An entry that must not be read (the archive being written): the reason,
    // or nullopt to take it.
    std::function<std::optional<std::string>(const std::filesystem::path&)> exclude;
};

// The file as messages name it: host text when the host's character set can
// spell it.
std::string shown_path(const std::filesystem::path& path);

// The stored name of a path relative to where its members start: its
// components in Windows-1252, joined with backslashes. Throws SourceError
// naming `file`.
std::string stored_name_of(const std::filesystem::path& relative, const std::filesystem::path& file);

// A name given in UTF-8 (by a manifest) in Windows-1252, '/' and '\' both
// taken as separators. Throws SourceError naming `file`.
std::string stored_name_from_utf8(std::string_view name, const std::filesystem::path& file);

// The regular files below `folder`, stored below it, sorted by stored name.
// Links to folders are not followed and other entries that are not regular
// files are skipped; `walk.skip` is told of each. Throws SourceError when the
// folder cannot be read (status 3) or a name cannot be stored.
std::vector<MemberSource> folder_sources(const std::filesystem::path& folder, const SourceWalk& walk);

// Names that cannot all be written below one folder: an unsafe name, two
// names that Windows takes for one (case ignored, accented letters included:
// name_folding.h), a name that is also a folder in another's. Throws
// SourceError naming the file.
void check_stored_names(const std::vector<MemberSource>& sources);

// The largest input an archive takes: the format's sizes are 31-bit.
const std::uint64_t kMaxArchiveInput = 0x7FFFFFFF;

// Each source read into a member with its stored name, in order, with
// `fixed_time` or else the file's own time. `on_read` hears of every piece
// read. Throws SourceError: a file or all of them past kMaxArchiveInput (1),
// a file that cannot be read or its time (3).
std::vector<MemberInput> read_members(const std::vector<MemberSource>& sources, std::optional<DosStamp> fixed_time,
                                      const std::function<void(const MemberSource&, std::uint64_t)>& on_read = {});

}  // namespace upkit
