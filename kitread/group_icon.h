// Icon groups (RT_GROUP_ICON): the list of images of one icon, each a size,
// colour depth and the id of the RT_ICON resource that holds it.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

namespace upkit::kitread {

struct GroupIconEntry {
    int width = 0;                 // pixels; a stored 0 means 256
    int height = 0;                // pixels; a stored 0 means 256
    std::uint8_t color_count = 0;  // 0 for 256 colours or more
    std::uint16_t planes = 0;
    std::uint16_t bit_count = 0;
    std::uint32_t size = 0;  // bytes of the RT_ICON resource
    std::uint16_t icon_id = 0;
};

// Throws DecodeError for data that is not an icon group (reserved word not 0,
// type not 1) or whose entries run past the data.
std::vector<GroupIconEntry> decode_group_icon(std::span<const std::uint8_t> data);

}  // namespace upkit::kitread
