#include "group_icon.h"

#include <fmt/format.h>

#include "byte_cursor.h"

namespace upkit::kitread {

namespace {

const std::uint16_t kIconGroupType = 1;

int pixels(std::uint8_t stored)
{
    return stored == 0 ? 256 : stored;
}

}  // namespace

std::vector<GroupIconEntry> decode_group_icon(std::span<const std::uint8_t> data)
{
    ByteCursor in(data, "icon group");
    const std::uint16_t reserved = in.u16("reserved word");
    const std::uint16_t type = in.u16("type");
    if (reserved != 0 || type != kIconGroupType)
        throw DecodeError(fmt::format("icon group: the header words are {} and {}, not 0 and {}: not an icon group",
                                      reserved, type, kIconGroupType));
    const std::uint16_t count = in.u16("image count");
    std::vector<GroupIconEntry> entries;
    for (std::size_t i = 0; i < count; ++i) {
        const std::string field = fmt::format("image {}", i + 1);
        GroupIconEntry entry;
        entry.width = pixels(in.u8(field));
        entry.height = pixels(in.u8(field));
        entry.color_count = in.u8(field);
        in.u8(field);  // reserved
        entry.planes = in.u16(field);
        entry.bit_count = in.u16(field);
        entry.size = in.u32(field);
        entry.icon_id = in.u16(field);
        entries.push_back(entry);
    }
    return entries;
}

}  // namespace upkit::kitread
