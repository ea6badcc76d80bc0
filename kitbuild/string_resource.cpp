#include "string_resource.h"

#include <fmt/format.h>
#include <optional>

#include "diagnostics.h"
#include "little_endian.h"
#include "text_codec.h"

namespace upkit::kitbuild {

std::vector<StringBlock> encode_string_table(const std::map<std::uint16_t, std::string>& strings)
{
    std::map<std::uint16_t, std::map<int, std::u16string>> blocks;
    for (const auto& [id, text] : strings) {
        const std::optional<std::u16string> units = utf16_from_utf8(text);
        if (!units)
            throw KitError(fmt::format("string {}: not UTF-8 text", id));
        if (units->size() > 0xFFFF)
            throw KitError(fmt::format("string {}: longer than 65535 characters", id));
        blocks[static_cast<std::uint16_t>(id / 16 + 1)][id % 16] = *units;
    }

    std::vector<StringBlock> out;
    for (const auto& [block_id, texts] : blocks) {
        StringBlock block{block_id, {}};
        for (int slot = 0; slot < 16; ++slot) {
            const auto found = texts.find(slot);
            const std::u16string_view text = found == texts.end() ? std::u16string_view() : found->second;
            append_u16(block.data, static_cast<std::uint16_t>(text.size()));
            append_utf16le(block.data, text, false);
        }
        out.push_back(std::move(block));
    }
    return out;
}

}  // namespace upkit::kitbuild
