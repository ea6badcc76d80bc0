// The kit's picture and icon as resources, from .bmp and .ico files.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace upkit::kitbuild {

struct BitmapInfo {
    std::int32_t width = 0;
    std::int32_t height = 0;  // negative for a top-down picture
    std::uint16_t bits_per_pixel = 0;
    std::uint32_t compression = 0;
};

struct BitmapResource {
    std::vector<std::uint8_t> data;  // the file without its 14-byte file header
    BitmapInfo info;
};

// A .bmp file as an RT_BITMAP resource. Throws KitError (naming `file`) for
// anything but a Windows bitmap with a header Windows reads.
BitmapResource bitmap_resource(const std::vector<std::uint8_t>& file_bytes, const std::string& file);

struct IconImage {
    std::uint16_t id;
    std::vector<std::uint8_t> data;
};

struct IconResources {
    std::vector<IconImage> images;    // RT_ICON, one per image of the file
    std::vector<std::uint8_t> group;  // RT_GROUP_ICON naming them by id
};

// A .ico file as its images, numbered from `first_id`, and the group that
// lists them: the file's directory with each image's offset replaced by its
// id. Throws KitError (naming `file`) for a malformed icon file.
IconResources icon_resources(const std::vector<std::uint8_t>& file_bytes, std::uint16_t first_id,
                             const std::string& file);

}  // namespace upkit::kitbuild
