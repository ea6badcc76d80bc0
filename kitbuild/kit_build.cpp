#include "kit_build.h"

#include <algorithm>
#include <cstring>
#include <fmt/format.h>
#include <fstream>
#include <map>

#include "engine_paths.h"
#include "file_checksum.h"
#include "kit_resource_ids.h"
#include "member_names.h"
#include "table_encoding.h"

namespace fs = std::filesystem;

namespace upkit::kitbuild {

namespace {

// The largest input an archive takes: the format's sizes are 31-bit.
const std::uint64_t kMaxArchiveInput = 0x7FFFFFFF;

fs::path path_of_utf8(std::string_view text)
{
    return fs::path(std::u8string(text.begin(), text.end()));
}

struct Source {
    fs::path path;
    std::string stored;
    std::string label;  // the content entry it comes from
};

std::string stored_component(const fs::path& component, const Origin& origin, const std::string& label,
                             const fs::path& file)
{
    const std::optional<std::string> text = host_text_of(component);
    if (!text)
        refuse(origin, label, fmt::format("{}: the name cannot be written in the archive", file.string()));
    if (text->find('\\') != std::string::npos)
        refuse(origin, label, fmt::format("{}: a backslash in a file or folder name cannot be stored", file.string()));
    return *text;
}

void add_folder(const fs::path& folder, const Origin& origin, const std::string& label, std::vector<Source>& sources,
                std::vector<fs::path>& read)
{
    std::vector<Source> found;
    read.push_back(folder);
    std::error_code ec;
    fs::recursive_directory_iterator it(folder, ec);
    for (; !ec && it != fs::recursive_directory_iterator(); it.increment(ec)) {
        const fs::directory_entry& entry = *it;
        std::error_code type_ec;
        if (entry.is_directory(type_ec)) {
            if (entry.is_symlink(type_ec))
                refuse(origin, label,
                       fmt::format("{}: a link to a folder is not followed; list its target instead",
                                   entry.path().string()));
            read.push_back(entry.path());
            continue;
        }
        if (!entry.is_regular_file(type_ec))
            refuse(origin, label, fmt::format("{}: not a regular file", entry.path().string()));
        std::string stored;
        for (const fs::path& component : entry.path().lexically_relative(folder)) {
            if (!stored.empty())
                stored += '\\';
            stored += stored_component(component, origin, label, entry.path());
        }
        found.push_back(Source{entry.path(), stored, label});
    }
    if (ec)
        refuse(origin, label, fmt::format("{}: cannot read the folder: {}", folder.string(), ec.message()));
    std::sort(found.begin(), found.end(), [](const Source& a, const Source& b) { return a.stored < b.stored; });
    sources.insert(sources.end(), found.begin(), found.end());
}

std::vector<Source> gather_sources(const ArchiveRow& row, const InputFolders& folders, std::vector<fs::path>& read)
{
    std::vector<Source> sources;
    for (const ContentEntry& entry : row.content) {
        const fs::path path = resolve_input(entry.source, folders, row.origin, entry.label);
        std::error_code ec;
        const fs::file_status status = fs::status(path, ec);
        const bool is_folder = fs::is_directory(status);
        const bool is_file = fs::is_regular_file(status);
        if (!is_folder && !is_file)
            refuse(row.origin, entry.label,
                   fmt::format("{}: {}", path.string(), fs::exists(status) ? "neither a file nor a folder"
                                                                           : "no such file or folder"));
        if (entry.kind == ContentKind::file && !is_file)
            refuse(row.origin, entry.label, fmt::format("{}: a folder, not a file", path.string()));
        if (entry.kind == ContentKind::folder && !is_folder)
            refuse(row.origin, entry.label, fmt::format("{}: a file, not a folder", path.string()));
        if (is_folder) {
            add_folder(path, row.origin, entry.label, sources, read);
        } else {
            // A given name may use either separator; the archive stores
            // backslashes.
            std::string stored =
                entry.name ? *entry.name : stored_component(path.filename(), row.origin, entry.label, path);
            if (entry.name)
                std::replace(stored.begin(), stored.end(), '/', '\\');
            sources.push_back(Source{path, stored, entry.label});
            read.push_back(path);
        }
    }
    return sources;
}

// Names that cannot all be installed side by side: unsafe names, equal names
// (ignoring case) and a name that is also a folder of another.
void check_stored_names(const std::vector<Source>& sources, const Origin& origin)
{
    std::map<std::string, const Source*> files;
    std::map<std::string, const Source*> folders;
    for (const Source& source : sources) {
        if (const char* reason = unsafe_name_reason(source.stored))
            refuse(origin, source.label,
                   fmt::format("{}: cannot be stored as \"{}\": {}", source.path.string(), source.stored, reason));
        const std::string key = folded_name(source.stored);
        const auto [existing, inserted] = files.emplace(key, &source);
        if (!inserted)
            refuse(origin, source.label,
                   fmt::format("{}: stored as \"{}\", which clashes with {}{}", source.path.string(), source.stored,
                               existing->second->path.string(),
                               existing->second->stored == source.stored ? "" : " (Windows does not tell case apart)"));
        for (std::size_t at = key.find('\\'); at != std::string::npos; at = key.find('\\', at + 1))
            folders.emplace(key.substr(0, at), &source);
    }
    for (const auto& [key, source] : files) {
        const auto folder = folders.find(key);
        if (folder != folders.end())
            refuse(origin, source->label,
                   fmt::format("{}: stored as \"{}\", which is also a folder in the stored name of {}",
                               source->path.string(), source->stored, folder->second->path.string()));
    }
}

std::vector<std::uint8_t> read_whole_file(const fs::path& path, const Origin& origin, std::string_view field)
{
    std::ifstream in(path, std::ios::binary);
    if (!in)
        refuse(origin, field, fmt::format("{}: cannot open the file", path.string()));
    std::vector<std::uint8_t> data;
    char buffer[65536];
    while (in.read(buffer, sizeof buffer) || in.gcount() > 0) {
        data.insert(data.end(), buffer, buffer + in.gcount());
        if (data.size() > kMaxArchiveInput)
            refuse(origin, field, fmt::format("{}: the file is larger than 2 GiB", path.string()));
    }
    if (in.bad())
        refuse(origin, field, fmt::format("{}: cannot read the file", path.string()));
    return data;
}

void write_whole_file(const fs::path& path, const std::vector<std::uint8_t>& bytes)
{
    const fs::path temporary = fs::path(path).concat(".tmp");
    {
        std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
        if (out)
            out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
        if (out)
            out.close();
        if (!out) {
            std::error_code ec;
            fs::remove(temporary, ec);
            throw KitError(fmt::format("{}: cannot write the file", temporary.string()));
        }
    }
    std::error_code ec;
    fs::rename(temporary, path, ec);
    if (ec) {
        std::error_code ignored;
        fs::remove(temporary, ignored);
        throw KitError(fmt::format("{}: cannot write the file: {}", path.string(), ec.message()));
    }
}

// A path in a make-style dependency file: spaces, '#' and '$' escaped.
std::string dependency_path(const fs::path& path)
{
    std::string out;
    for (char c : path.string()) {
        if (c == ' ' || c == '#')
            out += '\\';
        if (c == '$')
            out += '$';
        out += c;
    }
    return out;
}

}  // namespace

fs::path resolve_input(const InputPath& input, const InputFolders& folders, const Origin& origin,
                       std::string_view field)
{
    if (input.path.empty())
        refuse(origin, field, "an empty path");
    const fs::path path = path_of_utf8(input.path);
    if (path.is_absolute())
        return path;
    if (input.root == InputRoot::files) {
        if (!folders.files)
            refuse(origin, field,
                   fmt::format("\"{}\" is in the folder of built inputs, but no such folder was given (--files)",
                               input.path));
        return *folders.files / path;
    }
    return folders.manifest / path;
}

std::uint16_t file_checksum(const fs::path& file)
{
    std::ifstream in(file, std::ios::binary);
    if (!in)
        throw KitError(fmt::format("{}: cannot open the file", file.string()));
    unsigned short sum = 0;
    unsigned char buffer[1024];
    std::streamsize count = 0;
    do {
        std::memset(buffer, 0, sizeof buffer);
        in.read(reinterpret_cast<char*>(buffer), sizeof buffer);
        count = in.gcount();
        if (in.bad())
            throw KitError(fmt::format("{}: cannot read the file", file.string()));
        sum = add_checksum_words(sum, buffer, static_cast<unsigned int>(count));
    } while (count == static_cast<std::streamsize>(sizeof buffer));
    return finish_checksum(sum);
}

void resolve_checksums(std::vector<AppVersionRow>& rows, const InputFolders& folders, std::vector<fs::path>& read)
{
    for (AppVersionRow& row : rows) {
        if (row.checksum || !row.checksum_of)
            continue;
        const fs::path file = resolve_input(*row.checksum_of, folders, row.origin, "checksum_of");
        std::error_code ec;
        if (!fs::is_regular_file(file, ec))
            refuse(row.origin, "checksum_of", fmt::format("{}: no such file", file.string()));
        try {
            row.checksum = file_checksum(file);
        } catch (const KitError& e) {
            refuse(row.origin, "checksum_of", e.what());
        }
        read.push_back(file);
    }
}

std::vector<MemberInput> archive_members(const ArchiveRow& row, const KitInfo& kit, const InputFolders& folders,
                                         std::vector<fs::path>& read)
{
    const std::vector<Source> sources = gather_sources(row, folders, read);
    check_stored_names(sources, row.origin);
    const std::optional<DosStamp> fixed_time = row.file_time ? row.file_time : kit.file_time;

    std::vector<MemberInput> members;
    std::uint64_t total = 0;
    for (const Source& source : sources) {
        MemberInput member;
        member.name = source.stored;
        const std::optional<DosStamp> stamp = fixed_time ? fixed_time : file_dos_stamp(source.path);
        if (!stamp)
            refuse(row.origin, source.label, fmt::format("{}: cannot read the file's time", source.path.string()));
        member.dos_time = stamp->time;
        member.dos_date = stamp->date;
        member.data = read_whole_file(source.path, row.origin, source.label);
        total += member.data.size();
        if (total > kMaxArchiveInput)
            refuse(row.origin, "content", "the files add up to more than 2 GiB");
        members.push_back(std::move(member));
    }
    return members;
}

std::vector<std::uint8_t> build_archive(const ArchiveRow& row, const std::vector<MemberInput>& members)
{
    if (row.window_bits < kMinEncoderWindowBits || row.window_bits > kMaxEncoderWindowBits)
        refuse(row.origin, "window_bits",
               fmt::format("{} is out of range ({} to {})", row.window_bits, kMinEncoderWindowBits,
                           kMaxEncoderWindowBits));
    if (members.empty())
        refuse(row.origin, "content", "no files to store");
    const EncoderOptions options = level_options(row.level, row.window_bits);
    try {
        return encode_archive(members, options);
    } catch (const std::invalid_argument& e) {
        refuse(row.origin, "content", e.what());
    }
}

std::vector<std::uint8_t> read_prebuilt_archive(const ArchiveRow& row, const InputFolders& folders,
                                                std::vector<fs::path>& read)
{
    const fs::path path = resolve_input(*row.prebuilt, folders, row.origin, "archive");
    std::error_code ec;
    if (!fs::is_regular_file(path, ec))
        refuse(row.origin, "archive", fmt::format("{}: no such file", path.string()));
    std::vector<std::uint8_t> bytes = read_whole_file(path, row.origin, "archive");
    if (bytes.size() < 2 || bytes[0] != 'K' || bytes[1] != 'W')
        refuse(row.origin, "archive", fmt::format("{}: not a KW archive (it must start with \"KW\")", path.string()));
    read.push_back(path);
    return bytes;
}

KitResources build_kit_resources(const Manifest& manifest, const std::optional<fs::path>& files_folder,
                                 Diagnostics& diagnostics)
{
    const InputFolders folders{manifest.folder, files_folder};
    KitResources resources;
    resources.inputs.push_back(manifest.file);

    std::vector<AppVersionRow> app_versions = manifest.app_versions;
    resolve_checksums(app_versions, folders, resources.inputs);

    // The tables first: they refuse bad archive ids before any archive is
    // built.
    resources.files.push_back({std::string(KIT_TABLE_APP_VERSIONS) + ".bin",
                               encode_app_versions(app_versions, diagnostics)});
    resources.files.push_back({std::string(KIT_TABLE_WINDOW_LIST) + ".bin",
                               encode_window_list(manifest.windows, diagnostics)});
    resources.files.push_back({std::string(KIT_TABLE_ARCHIVE_LIST) + ".bin",
                               encode_archive_list(manifest.archives, diagnostics)});
    resources.files.push_back({std::string(KIT_TABLE_REGISTRY_LIST) + ".bin",
                               encode_registry_list(manifest.registry, diagnostics)});

    for (const ArchiveRow& row : manifest.archives) {
        const std::string name = fmt::format("archive-{}.kw", row.id);
        if (!row.carried)
            continue;
        if (row.prebuilt) {
            resources.files.push_back({name, read_prebuilt_archive(row, folders, resources.inputs)});
            continue;
        }
        const std::vector<MemberInput> members = archive_members(row, manifest.kit, folders, resources.inputs);
        resources.files.push_back({name, build_archive(row, members)});
    }
    return resources;
}

void write_kit_resources(const KitResources& resources, const fs::path& folder)
{
    std::error_code ec;
    fs::create_directories(folder, ec);
    if (ec)
        throw KitError(fmt::format("{}: cannot create the folder: {}", folder.string(), ec.message()));
    for (const OutputFile& file : resources.files)
        write_whole_file(folder / file.name, file.bytes);
}

std::string dependency_file_text(const std::vector<fs::path>& outputs, const std::vector<fs::path>& inputs)
{
    std::string text;
    for (const fs::path& output : outputs)
        text += (text.empty() ? "" : " ") + dependency_path(output);
    text += ":";
    for (const fs::path& input : inputs)
        text += " \\\n  " + dependency_path(input);
    return text + "\n";
}

}  // namespace upkit::kitbuild
