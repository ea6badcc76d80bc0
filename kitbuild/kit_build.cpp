#include "kit_build.h"

#include <algorithm>
#include <cstring>
#include <fmt/format.h>
#include <fstream>
#include <map>

#include "engine_paths.h"
#include "file_checksum.h"
#include "kit_resource_ids.h"
#include "member_sources.h"
#include "open_failure.h"
#include "table_encoding.h"
#include "text_codec.h"

namespace fs = std::filesystem;

namespace upkit::kitbuild {

namespace {

// A refusal of the shared walk, as the manifest's refusal of the content
// entry it comes from.
[[noreturn]] void refuse_source(const Origin& origin, std::string_view label, const SourceError& e)
{
    refuse(origin, label, fmt::format("{}: {}", e.file, e.what()));
}

// Each content entry's members, in content order: a folder's files below it,
// sorted by stored name; a file under its own name or the one given.
struct RowSources {
    std::vector<MemberSource> sources;
    std::vector<std::string> labels;  // per source: the content entry it comes from

    // The label of the source a refusal names.
    std::string_view label_of(const SourceError& e) const
    {
        for (std::size_t i = 0; i < sources.size(); ++i)
            if (sources[i].shown == e.file)
                return labels[i];
        return "content";
    }
};

RowSources gather_sources(const ArchiveRow& row, const InputFolders& folders, std::vector<fs::path>& read)
{
    RowSources found;
    for (const ContentEntry& entry : row.content) {
        const fs::path path = resolve_input(entry.source, folders, row.origin, entry.label);
        std::error_code ec;
        const fs::file_status status = fs::status(path, ec);
        const bool is_folder = fs::is_directory(status);
        const bool is_file = fs::is_regular_file(status);
        if (!is_folder && !is_file)
            refuse(row.origin, entry.label,
                   fmt::format("{}: {}", path.string(),
                               fs::exists(status) ? "neither a file nor a folder" : "no such file or folder"));
        if (entry.kind == ContentKind::file && !is_file)
            refuse(row.origin, entry.label, fmt::format("{}: a folder, not a file", path.string()));
        if (entry.kind == ContentKind::folder && !is_folder)
            refuse(row.origin, entry.label, fmt::format("{}: a file, not a folder", path.string()));
        try {
            if (is_folder) {
                // A kit holds exactly what its manifest names: nothing is
                // skipped quietly.
                SourceWalk walk;
                walk.skip = [&](const fs::path& skipped, std::string_view why) {
                    refuse(row.origin, entry.label, fmt::format("{}: {}", skipped.string(), why));
                };
                read.push_back(path);
                for (MemberSource& source : folder_sources(path, walk)) {
                    read.push_back(source.path);
                    found.sources.push_back(std::move(source));
                    found.labels.push_back(entry.label);
                }
            } else {
                const std::string stored =
                    entry.name ? stored_name_from_utf8(*entry.name, path) : stored_name_of(path.filename(), path);
                found.sources.push_back(MemberSource{path, shown_path(path), stored});
                found.labels.push_back(entry.label);
                read.push_back(path);
            }
        } catch (const SourceError& e) {
            refuse_source(row.origin, entry.label, e);
        }
    }
    return found;
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
    const fs::path path = path_from_utf8(input.path);
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

std::vector<std::uint8_t> read_whole_file(const fs::path& path, const Origin& origin, std::string_view field)
{
    std::ifstream in(path, std::ios::binary);
    if (!in)
        refuse(origin, field, fmt::format("{}: {}", path.string(), cannot_open_file(path)));
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

std::uint16_t file_checksum(const fs::path& file)
{
    // A folder opens as a stream on some systems and reads as empty: it
    // would get the checksum of an empty file.
    std::error_code ec;
    const fs::file_status status = fs::status(file, ec);
    if (status.type() == fs::file_type::not_found)
        throw KitError(fmt::format("{}: no such file", file.string()));
    if (fs::is_directory(status))
        throw KitError(fmt::format("{}: a folder, not a file", file.string()));
    if (fs::exists(status) && !fs::is_regular_file(status))
        throw KitError(fmt::format("{}: not a regular file", file.string()));
    std::ifstream in(file, std::ios::binary);
    if (!in)
        throw KitError(fmt::format("{}: {}", file.string(), cannot_open_file(file)));
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
    const RowSources found = gather_sources(row, folders, read);
    try {
        check_stored_names(found.sources);
        return read_members(found.sources, row.file_time ? row.file_time : kit.file_time);
    } catch (const SourceError& e) {
        refuse_source(row.origin, found.label_of(e), e);
    }
}

std::vector<std::uint8_t> build_archive(const ArchiveRow& row, const std::vector<MemberInput>& members)
{
    if (row.window_bits && (*row.window_bits < kMinEncoderWindowBits || *row.window_bits > kMaxEncoderWindowBits))
        refuse(row.origin, "window_bits",
               fmt::format("{} is out of range ({} to {})", *row.window_bits, kMinEncoderWindowBits,
                           kMaxEncoderWindowBits));
    if (members.empty())
        refuse(row.origin, "content", "no files to store");
    std::uint64_t total = 0;
    for (const MemberInput& member : members)
        total += member.data.size();
    const EncoderOptions options =
        level_options(row.level, row.window_bits.value_or(fitting_window_bits(total, kMaxFittedArchiveWindowBits)));
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

namespace {

// The kit names a member it cannot install in a message cut to its buffer:
// the longest stored name tells whether this archive's names fit.
void warn_about_cut_transfer_message(const ArchiveRow& row, const std::vector<MemberInput>& members,
                                     const KitTexts& texts, Diagnostics& diagnostics)
{
    const auto longest = std::max_element(members.begin(), members.end(),
                                          [](const auto& a, const auto& b) { return a.name.size() < b.name.size(); });
    if (longest == members.end())
        return;
    if (const std::optional<std::string> problem = transfer_message_problem(texts, longest->name))
        diagnostics.warn(row.origin, "content", fmt::format("{}: {}", utf8_from_windows1252(longest->name), *problem));
}

}  // namespace

KitResources build_kit_resources(const Manifest& manifest, const std::optional<fs::path>& files_folder,
                                 Diagnostics& diagnostics)
{
    const InputFolders folders{manifest.folder, files_folder};
    KitResources resources;
    resources.inputs.push_back(manifest.file);
    resources.inputs.insert(resources.inputs.end(), manifest.bases.begin(), manifest.bases.end());

    std::vector<AppVersionRow> app_versions = manifest.app_versions;
    resolve_checksums(app_versions, folders, resources.inputs);

    // The tables first: they refuse bad archive ids before any archive is
    // built.
    resources.files.push_back(
        {std::string(KIT_TABLE_APP_VERSIONS) + ".bin", encode_app_versions(app_versions, diagnostics)});
    resources.files.push_back(
        {std::string(KIT_TABLE_WINDOW_LIST) + ".bin", encode_window_list(manifest.windows, diagnostics)});
    resources.files.push_back(
        {std::string(KIT_TABLE_ARCHIVE_LIST) + ".bin", encode_archive_list(manifest.archives, diagnostics)});
    resources.files.push_back(
        {std::string(KIT_TABLE_REGISTRY_LIST) + ".bin", encode_registry_list(manifest.registry, diagnostics)});

    for (const ArchiveRow& row : manifest.archives) {
        const std::string name = fmt::format("archive-{}.kw", row.id);
        if (!row.carried)
            continue;
        if (row.prebuilt) {
            resources.files.push_back({name, read_prebuilt_archive(row, folders, resources.inputs)});
            continue;
        }
        const std::vector<MemberInput> members = archive_members(row, manifest.kit, folders, resources.inputs);
        warn_about_cut_transfer_message(row, members, manifest.kit.texts, diagnostics);
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
