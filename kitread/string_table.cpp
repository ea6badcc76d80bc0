#include "string_table.h"

#include <fmt/format.h>

#include "byte_cursor.h"
#include "text_codec.h"

namespace upkit::kitread {

namespace {

const unsigned kStringsPerBlock = 16;
const unsigned kLastBlock = 4096;

}  // namespace

std::uint16_t string_block_of(std::uint16_t id)
{
    return static_cast<std::uint16_t>(id / kStringsPerBlock + 1);
}

std::map<std::uint16_t, std::string> decode_string_block(std::uint16_t block, std::span<const std::uint8_t> data)
{
    if (block == 0 || block > kLastBlock)
        throw DecodeError(fmt::format("string block {}: block ids run from 1 to {}", block, kLastBlock));
    ByteCursor in(data, fmt::format("string block {}", block));
    std::map<std::uint16_t, std::string> strings;
    const unsigned first = (block - 1u) * kStringsPerBlock;
    for (unsigned i = 0; i < kStringsPerBlock; ++i) {
        const auto id = static_cast<std::uint16_t>(first + i);
        const std::string field = fmt::format("string {}", id);
        const std::uint16_t length = in.u16(field);
        const std::span<const std::uint8_t> units = in.bytes(std::size_t{length} * 2, field);
        if (length != 0)
            strings.emplace(id, utf8_from_utf16le(units));
    }
    return strings;
}

}  // namespace upkit::kitread
