#include "kit_archives.h"

#include <fmt/format.h>
#include <fstream>

#include "engine_paths.h"
#include "kit_contents.h"
#include "kit_resource_ids.h"
#include "member_names.h"

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

}  // namespace

ArchiveInputs::ArchiveInputs(const std::string& path)
{
    if (!starts_like_a_program(path)) {
        archives_.push_back(ArchiveInput{path, path, std::nullopt, std::nullopt});
        return;
    }
    kitread::KitContents kit;
    try {
        kit = kitread::read_kit_file(host_path_of(path));
    } catch (const std::exception& e) {
        throw std::runtime_error(fmt::format("{}: {}", path, e.what()));
    }
    folder_ = std::make_unique<TemporaryFolder>("upkit-kit");
    for (const kitread::KitArchive& archive : kit.archives) {
        ArchiveInput input;
        input.label = fmt::format("{}, archive {}", path, archive.id);
        input.id = archive.id;
        if (archive.row > 0 && kit.tables.archives)
            input.row = kit.tables.archives->at(static_cast<std::size_t>(archive.row - 1));
        // One folder per archive: the engine looks for continuation files
        // beside an archive whose directory runs past its end.
        const fs::path folder = folder_->path() / std::to_string(archive.id);
        fs::create_directory(folder);
        const fs::path file = folder / fmt::format("{}.kw", archive.id);
        TemporaryFolder::write_file(file, archive.bytes);
        const std::optional<std::string> text = host_text_of(file);
        if (!text)
            throw std::runtime_error("the temporary folder's path cannot be given to the archive engine");
        input.path = *text;
        archives_.push_back(std::move(input));
    }
}

std::optional<fs::path> destination_folder(const ArchiveRow& row, std::string& why)
{
    fs::path folder;
    switch (row.base) {
    case KIT_BASE_INSTALL: folder = "install"; break;
    case KIT_BASE_WINDOWS: folder = "windows"; break;
    case KIT_BASE_SYSTEM: folder = "system"; break;
    default: folder = fmt::format("base-{}", row.base); break;
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
    return folder / fs::path(std::u8string(relative.begin(), relative.end()));
}

}  // namespace upkit
