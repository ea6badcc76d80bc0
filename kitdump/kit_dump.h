// A kit turned back into a manifest and the files it names, from which
// `upkit build` makes a kit with the same resources: the face as [kit]
// fields, the picture and icon as .bmp and .ico files, the four tables as
// rows, and each archive kept as it is.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "kit_contents.h"

namespace upkit::kitread {

struct DumpedFile {
    std::string name;  // relative to the manifest's folder
    std::vector<std::uint8_t> bytes;
};

struct DumpedKit {
    std::string manifest;            // TOML text
    std::vector<DumpedFile> files;   // kit.bmp, kit.ico, archive-<id>.kw
    std::vector<std::string> notes;  // what the manifest cannot say the same way
};

// `source` names the kit in the manifest's opening comment.
DumpedKit dump_kit(const KitContents& kit, const std::string& source);

// A .bmp file around an RT_BITMAP resource (which is the file without its
// 14-byte header); throws DecodeError when the header inside is damaged.
std::vector<std::uint8_t> bitmap_file(std::span<const std::uint8_t> resource);

// A .ico file from an icon group and its images, in the group's order;
// throws DecodeError when an image the group names is missing.
std::vector<std::uint8_t> icon_file(std::span<const std::uint8_t> group,
                                    const std::vector<std::vector<std::uint8_t>>& images);

}  // namespace upkit::kitread
