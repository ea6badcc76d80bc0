#include "version_resource.h"

#include <fmt/format.h>
#include <optional>

#include "diagnostics.h"
#include "little_endian.h"
#include "text_codec.h"

namespace upkit::kitbuild {

namespace {

const std::uint32_t kFixedSignature = 0xFEEF04BD;
const std::uint32_t kFixedStructVersion = 0x00010000;
const std::uint32_t kFileFlagsMask = 0x3F;

enum class ValueType : std::uint16_t {
    binary = 0,
    text = 1
};

std::u16string utf16(std::string_view text)
{
    const std::optional<std::u16string> units = utf16_from_utf8(text);
    if (!units)
        throw KitError(fmt::format("version block: \"{}\" is not UTF-8 text", text));
    return *units;
}

// Writes one node: header, key, value, then the children `write_children`
// appends; fills in the node's length afterwards.
template <typename Children>
void append_node(std::vector<std::uint8_t>& out, std::u16string_view key, ValueType type,
                 const std::vector<std::uint8_t>& value, std::uint16_t value_length, Children write_children)
{
    pad_to(out, 4);
    const std::size_t start = out.size();
    append_u16(out, 0);  // length, below
    append_u16(out, value_length);
    append_u16(out, static_cast<std::uint16_t>(type));
    append_utf16le(out, key, true);
    pad_to(out, 4);
    out.insert(out.end(), value.begin(), value.end());
    write_children(out);
    const std::size_t length = out.size() - start;
    if (length > 0xFFFF)
        throw KitError("version block: larger than 65535 bytes");
    store_u16(out, start, static_cast<std::uint16_t>(length));
}

void no_children(std::vector<std::uint8_t>&)
{
}

std::vector<std::uint8_t> fixed_info(const VersionBlock& block)
{
    std::vector<std::uint8_t> out;
    append_u32(out, kFixedSignature);
    append_u32(out, kFixedStructVersion);
    const auto pair = [](const std::array<std::uint16_t, 4>& v, int i) {
        return static_cast<std::uint32_t>(v[i]) << 16 | v[i + 1];
    };
    append_u32(out, pair(block.file_version, 0));
    append_u32(out, pair(block.file_version, 2));
    append_u32(out, pair(block.product_version, 0));
    append_u32(out, pair(block.product_version, 2));
    append_u32(out, kFileFlagsMask);
    append_u32(out, 0);  // flags
    append_u32(out, block.file_os);
    append_u32(out, block.file_type);
    append_u32(out, 0);  // subtype
    append_u32(out, 0);  // date, high
    append_u32(out, 0);  // date, low
    return out;
}

}  // namespace

std::vector<std::uint8_t> encode_version_block(const VersionBlock& block)
{
    const std::u16string table_name = utf16(fmt::format("{:04X}{:04X}", block.language, block.code_page));
    std::vector<std::uint8_t> out;
    const std::vector<std::uint8_t> fixed = fixed_info(block);
    append_node(out, u"VS_VERSION_INFO", ValueType::binary, fixed, static_cast<std::uint16_t>(fixed.size()),
                [&](std::vector<std::uint8_t>& root) {
                    append_node(root, u"StringFileInfo", ValueType::text, {}, 0, [&](std::vector<std::uint8_t>& info) {
                        append_node(info, table_name, ValueType::text, {}, 0, [&](std::vector<std::uint8_t>& table) {
                            for (const auto& [key, value] : block.strings) {
                                const std::u16string text = utf16(value);
                                if (text.size() + 1 > 0xFFFF)
                                    throw KitError(fmt::format("version block: the value of {} is too long", key));
                                std::vector<std::uint8_t> bytes;
                                append_utf16le(bytes, text, true);
                                append_node(table, utf16(key), ValueType::text, bytes,
                                            static_cast<std::uint16_t>(text.size() + 1), no_children);
                            }
                        });
                    });
                    append_node(root, u"VarFileInfo", ValueType::text, {}, 0, [&](std::vector<std::uint8_t>& var) {
                        std::vector<std::uint8_t> translation;
                        append_u16(translation, block.language);
                        append_u16(translation, block.code_page);
                        append_node(var, u"Translation", ValueType::binary, translation, 4, no_children);
                    });
                });
    return out;
}

}  // namespace upkit::kitbuild
