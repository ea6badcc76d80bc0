// Everything a kit carries, read from its file: the image's headers, every
// resource, the decoded version block, strings, dialog, icon group and four
// tables, and the bytes of each archive; with what a kit needs but this file
// lacks, what it carries that the kit does not use, and what could not be
// decoded.
#pragma once

#include <cstdint>
#include <filesystem>
#include <map>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "dialog_template.h"
#include "group_icon.h"
#include "kit_rows.h"
#include "pe_image.h"
#include "resource_entry.h"
#include "version_info.h"

namespace upkit::kitread {

struct KitIcon {
    pe::ResourceKey name;
    std::vector<GroupIconEntry> images;
};

struct KitArchive {
    std::uint16_t id = 0;
    int row = 0;  // the ArchiveList row (from 1) that names it; 0 for none
    std::vector<std::uint8_t> bytes;
};

// Each table is present when its resource was found and decoded.
struct KitTables {
    std::optional<std::vector<AppVersionRow>> app_versions;
    std::optional<std::vector<WindowRow>> windows;
    std::optional<std::vector<ArchiveRow>> archives;
    std::optional<std::vector<RegistryRow>> registry;
};

struct KitContents {
    pe::CoffHeader coff;
    pe::OptionalHeader optional;
    std::vector<pe::Section> sections;
    std::vector<pe::Resource> resources;  // all of them, in directory order

    std::optional<VersionInfo> version;
    std::map<std::uint16_t, std::string> strings;  // from every string block
    std::optional<DialogTemplate> dialog;
    std::optional<KitIcon> icon;
    KitTables tables;
    std::vector<KitArchive> archives;  // ARCHIVE resources with ids, in directory order

    std::vector<std::string> missing;     // "dialog 100 (RT_DIALOG)", "string 1004", ...
    std::vector<std::string> unexpected;  // resources the kit does not use
    std::vector<std::string> damaged;     // resources present but not decodable
};

// Reads a kit image. Throws pe::PeError when the bytes are not a PE image or
// its resource directory is damaged; a resource that cannot be decoded is
// listed in `damaged` instead.
KitContents read_kit_contents(std::span<const std::uint8_t> bytes);

// The same for a file; also throws std::runtime_error when it cannot be read.
KitContents read_kit_file(const std::filesystem::path& path);

// Whether the image carries anything of a kit: one of its tables, an archive
// or the install dialog. Any other Windows program is not a kit, though it is
// read as one.
bool carries_kit_resources(const KitContents& kit);

}  // namespace upkit::kitread
