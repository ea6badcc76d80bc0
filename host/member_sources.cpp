#include "member_sources.h"

#include <algorithm>
#include <fmt/format.h>
#include <fstream>
#include <map>

#include "engine_paths.h"
#include "member_names.h"
#include "name_folding.h"
#include "open_failure.h"
#include "text_codec.h"

namespace fs = std::filesystem;

namespace upkit {

namespace {

std::string windows1252_name(std::string_view utf8, const fs::path& file)
{
    const std::optional<std::string> text = windows1252_from_utf8(utf8);
    if (!text)
        throw SourceError(shown_path(file),
                          is_utf8(utf8) ? "the name cannot be stored: it holds a character that Windows-1252, the "
                                          "archive's character set, lacks"
                                        : "the name cannot be stored: it is not UTF-8");
    return *text;
}

std::vector<std::uint8_t> read_file(const MemberSource& source,
                                    const std::function<void(const MemberSource&, std::uint64_t)>& on_read)
{
    std::ifstream in(source.path, std::ios::binary);
    if (!in)
        throw SourceError(source.shown, cannot_open_file(source.path), kExitIoError);
    std::vector<std::uint8_t> data;
    char buffer[65536];
    while (in.read(buffer, sizeof buffer) || in.gcount() > 0) {
        data.insert(data.end(), buffer, buffer + in.gcount());
        if (on_read)
            on_read(source, static_cast<std::uint64_t>(in.gcount()));
        if (data.size() > kMaxArchiveInput)
            throw SourceError(source.shown, "the file is larger than 2 GiB");
    }
    if (in.bad())
        throw SourceError(source.shown, "cannot read the file", kExitIoError);
    return data;
}

}  // namespace

std::string shown_path(const fs::path& path)
{
    return host_text_of(path).value_or(path.string());
}

std::string stored_name_of(const fs::path& relative, const fs::path& file)
{
    std::string name;
    for (const fs::path& component : relative) {
        const std::string text = windows1252_name(utf8_from_path(component), file);
        if (text.find('\\') != std::string::npos)
            throw SourceError(shown_path(file), "a backslash in a file or folder name cannot be stored");
        if (!name.empty())
            name += '\\';
        name += text;
    }
    return name;
}

std::string stored_name_from_utf8(std::string_view name, const fs::path& file)
{
    std::string stored = windows1252_name(name, file);
    std::replace(stored.begin(), stored.end(), '/', '\\');
    return stored;
}

std::vector<MemberSource> folder_sources(const fs::path& folder, const SourceWalk& walk)
{
    std::vector<MemberSource> sources;
    std::error_code ec;
    fs::recursive_directory_iterator it(folder, ec);
    for (; !ec && it != fs::recursive_directory_iterator(); it.increment(ec)) {
        const fs::directory_entry& entry = *it;
        std::error_code type_ec;
        if (entry.is_directory(type_ec)) {
            if (entry.is_symlink(type_ec) && walk.skip)
                walk.skip(entry.path(), "a link to a folder is not followed");
            continue;
        }
        if (!entry.is_regular_file(type_ec)) {
            if (walk.skip)
                walk.skip(entry.path(), "not a regular file");
            continue;
        }
        if (walk.exclude) {
            if (const std::optional<std::string> why = walk.exclude(entry.path())) {
                if (walk.skip)
                    walk.skip(entry.path(), *why);
                continue;
            }
        }
        sources.push_back(MemberSource{entry.path(), shown_path(entry.path()),
                                       stored_name_of(entry.path().lexically_relative(folder), entry.path())});
    }
    // A folder that could not be read would silently leave files out.
    if (ec)
        throw SourceError(shown_path(folder), fmt::format("cannot read the folder: {}", ec.message()), kExitIoError);
    std::sort(sources.begin(), sources.end(),
              [](const MemberSource& a, const MemberSource& b) { return a.stored < b.stored; });
    return sources;
}

void check_stored_names(const std::vector<MemberSource>& sources)
{
    const auto shown_name = [](const MemberSource& source) { return printable(utf8_from_windows1252(source.stored)); };
    std::map<std::u32string, const MemberSource*> files;
    std::map<std::u32string, const MemberSource*> folders;
    for (const MemberSource& source : sources) {
        if (const char* reason = unsafe_name_reason(source.stored))
            throw SourceError(source.shown, fmt::format("cannot be stored as {}: {}", shown_name(source), reason));
        const std::u32string key = folded_stored_name(source.stored);
        const auto [existing, inserted] = files.emplace(key, &source);
        if (!inserted)
            throw SourceError(source.shown, fmt::format("stored as {}, which clashes with {}{}", shown_name(source),
                                                        printable(existing->second->shown),
                                                        existing->second->stored == source.stored
                                                            ? ""
                                                            : " (Windows does not tell case apart)"));
        for (std::size_t at = key.find(U'\\'); at != std::u32string::npos; at = key.find(U'\\', at + 1))
            folders.emplace(key.substr(0, at), &source);
    }
    for (const auto& [key, source] : files) {
        const auto folder = folders.find(key);
        if (folder != folders.end())
            throw SourceError(source->shown,
                              fmt::format("stored as {}, which is also a folder in the stored name of {}",
                                          shown_name(*source), printable(folder->second->shown)));
    }
}

std::vector<MemberInput> read_members(const std::vector<MemberSource>& sources, std::optional<DosStamp> fixed_time,
                                      const std::function<void(const MemberSource&, std::uint64_t)>& on_read)
{
    std::vector<MemberInput> members;
    members.reserve(sources.size());
    std::uint64_t total = 0;
    for (const MemberSource& source : sources) {
        MemberInput member;
        member.name = source.stored;
        const std::optional<DosStamp> stamp = fixed_time ? fixed_time : file_dos_stamp(source.path);
        if (!stamp)
            throw SourceError(source.shown, "cannot read the file's time", kExitIoError);
        member.dos_time = stamp->time;
        member.dos_date = stamp->date;
        member.data = read_file(source, on_read);
        total += member.data.size();
        if (total > kMaxArchiveInput)
            throw SourceError(source.shown, "the files add up to more than 2 GiB");
        members.push_back(std::move(member));
    }
    return members;
}

}  // namespace upkit
