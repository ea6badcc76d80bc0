#include "kit_archives.h"

#include <fmt/format.h>
#include <fstream>
#include <span>

#include "engine_paths.h"
#include "kit_contents.h"
#include "kit_resource_ids.h"
#include "member_names.h"
#include "text_codec.h"

namespace fs = std::filesystem;

namespace upkit {

namespace {

bool starts_like_a_program(const std::string& path)
{
    std::ifstream in(host_path_of(path), std::ios::binary);
    char signature[2] = {};
    in.read(signature, 2);
    return in.gcount() == 2 && signature[0] == 'M' && signature[1] == 'Z';
}

// Writes one of a kit's archives, in a folder of its own, for the engine.
bool write_archive_file(const fs::path& file, std::span<const std::uint8_t> bytes)
{
    std::error_code ec;
    fs::create_directory(file.parent_path(), ec);
    if (ec)
        return false;
    try {
        TemporaryFolder::write_file(file, bytes);
    } catch (const std::runtime_error&) {
        return false;
    }
    return true;
}

}  // namespace

ArchiveInputs::ArchiveInputs(const std::string& path)
{
    if (!starts_like_a_program(path)) {
        archives_.push_back(ArchiveInput{path, path, std::nullopt, std::nullopt, {}});
        return;
    }
    kitread::KitContents kit;
    try {
        kit = kitread::read_kit_file(host_path_of(path));
    } catch (const std::exception& e) {
        throw std::runtime_error(fmt::format("{}: {}", path, e.what()));
    }
    if (!kitread::carries_kit_resources(kit))
        throw std::runtime_error(fmt::format("{}: not a kit: a Windows program without a kit's tables, archives or "
                                             "install dialog",
                                             printable(path)));
    add_kit_archives(path, kit);
}

ArchiveInputs::ArchiveInputs(const std::string& path, const kitread::KitContents& kit)
{
    add_kit_archives(path, kit);
}

void ArchiveInputs::add_kit_archives(const std::string& path, const kitread::KitContents& kit)
{
    from_kit_ = true;
    if (!kit.archives.empty())
        folder_ = std::make_unique<TemporaryFolder>("upkit-kit");
    for (const kitread::KitArchive& archive : kit.archives) {
        ArchiveInput input;
        input.label = fmt::format("{}, archive {}", path, archive.id);
        input.id = archive.id;
        if (archive.row > 0 && kit.tables.archives)
            input.row = kit.tables.archives->at(static_cast<std::size_t>(archive.row - 1));
        // One folder per archive: the engine looks for continuation files
        // beside an archive whose directory runs past its end, and must find
        // none of another archive's.
        const fs::path file = folder_->path() / std::to_string(archive.id) / fmt::format("{}.kw", archive.id);
        if (!write_archive_file(file, archive.bytes)) {
            // The kit's other archives may still be read.
            input.unavailable = fmt::format("cannot be written to {} to be read", file.string());
            archives_.push_back(std::move(input));
            continue;
        }
        const std::optional<std::string> text = host_text_of(file);
        if (text)
            input.path = *text;
        else
            input.unavailable = "the temporary folder's path cannot be given to the archive engine";
        archives_.push_back(std::move(input));
    }
}

std::optional<fs::path> destination_folder(const ArchiveRow& row, std::string& why)
{
    fs::path folder;
    switch (row.base) {
    case KIT_BASE_INSTALL:
        folder = "install";
        break;
    case KIT_BASE_WINDOWS:
        folder = "windows";
        break;
    case KIT_BASE_SYSTEM:
        folder = "system";
        break;
    default:
        folder = fmt::format("base-{}", row.base);
        break;
    }
    if (row.subdirectory.empty())
        return folder;
    if (const char* reason = unsafe_name_reason(row.subdirectory)) {
        why = fmt::format("its subdirectory \"{}\" is refused: {}", row.subdirectory, reason);
        return std::nullopt;
    }
    // The row's texts are UTF-8 already (kitread decodes the table).
    std::string relative(name_below_folder(row.subdirectory));
    for (char& c : relative)
        if (c == '\\')
            c = '/';
    return folder / path_from_utf8(relative);
}

}  // namespace upkit
