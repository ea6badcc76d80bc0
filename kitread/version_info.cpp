#include "version_info.h"

#include <fmt/format.h>

#include "decode_error.h"
#include "little_endian.h"
#include "text_codec.h"

namespace upkit::kitread {

namespace {

const std::size_t kNodeHeaderSize = 6;
const std::size_t kFixedFileInfoSize = 52;
const std::uint16_t kTextValue = 1;
// VS_VERSION_INFO, StringFileInfo, a string table, a string: nothing deeper.
const int kMaxDepth = 3;

std::size_t align4(std::size_t offset)
{
    return (offset + 3) & ~std::size_t{3};
}

struct VersionNode {
    std::string key;
    std::uint16_t type = 0;
    std::span<const std::uint8_t> value;
    std::vector<VersionNode> children;
};

// Offsets are from the start of the block, which is 4-byte aligned.
class VersionTreeReader {
public:
    explicit VersionTreeReader(std::span<const std::uint8_t> data) : data_(data) { }

    VersionNode read_root()
    {
        std::size_t length = 0;
        return read_node(0, data_.size(), 0, "the root node", length);
    }

private:
    [[noreturn]] void fail(const std::string& where, std::size_t at, const std::string& problem) const
    {
        throw DecodeError(fmt::format("version block: {} at offset 0x{:X} {}", where, at, problem));
    }

    VersionNode read_node(std::size_t at, std::size_t end, int depth, const std::string& where, std::size_t& length)
    {
        if (!fits(end, at, kNodeHeaderSize))
            fail(where, at,
                 fmt::format("needs {} bytes for its header; its parent ends at 0x{:X}", kNodeHeaderSize, end));
        length = load_u16(data_, at);
        const std::uint16_t value_length = load_u16(data_, at + 2);
        VersionNode node;
        node.type = load_u16(data_, at + 4);
        if (length < kNodeHeaderSize || !fits(end, at, length))
            fail(where, at,
                 fmt::format("has the length {}, which does not fit between its header and the end of its "
                             "parent at 0x{:X}",
                             length, end));
        const std::size_t node_end = at + length;

        std::size_t key_end = at + kNodeHeaderSize;
        while (key_end + 1 < node_end && load_u16(data_, key_end) != 0)
            key_end += 2;
        if (key_end + 1 >= node_end)
            fail(where, at, "has a key without a terminating NUL inside the node");
        node.key = utf8_from_utf16le(data_.subspan(at + kNodeHeaderSize, key_end - at - kNodeHeaderSize));
        const std::string named = fmt::format("node \"{}\"", node.key);

        const std::size_t value_at = std::min(align4(key_end + 2), node_end);
        std::size_t value_end = value_at;
        if (node.type == kTextValue) {
            // Compilers disagree on whether the value length counts
            // characters or bytes, with or without the NUL: a text value is
            // taken to fill its node, and it ends at its NUL.
            if (value_length != 0) {
                std::size_t text_end = value_at;
                while (text_end + 1 < node_end && load_u16(data_, text_end) != 0)
                    text_end += 2;
                node.value = data_.subspan(value_at, text_end - value_at);
                value_end = node_end;
            }
        } else {
            if (!fits(node_end, value_at, value_length))
                fail(named, at,
                     fmt::format("has a {}-byte value that runs past the node's end at 0x{:X}", value_length,
                                 node_end));
            node.value = data_.subspan(value_at, value_length);
            value_end = value_at + value_length;
        }

        std::size_t child_at = align4(value_end);
        while (child_at < node_end) {
            if (depth == kMaxDepth)
                fail(named, at, "holds nodes nested deeper than a version block has them");
            std::size_t child_length = 0;
            node.children.push_back(
                read_node(child_at, node_end, depth + 1, fmt::format("a node inside {}", named), child_length));
            child_at = align4(child_at + child_length);
        }
        return node;
    }

    std::span<const std::uint8_t> data_;
};

FixedFileInfo read_fixed(std::span<const std::uint8_t> value)
{
    if (load_u32(value, 0) != kFixedFileInfoSignature)
        throw DecodeError(fmt::format("version block: the fixed part has the signature 0x{:08X}, not 0x{:08X}",
                                      load_u32(value, 0), kFixedFileInfoSignature));
    FixedFileInfo fixed;
    fixed.struct_version = load_u32(value, 4);
    fixed.file_version_ms = load_u32(value, 8);
    fixed.file_version_ls = load_u32(value, 12);
    fixed.product_version_ms = load_u32(value, 16);
    fixed.product_version_ls = load_u32(value, 20);
    fixed.flags_mask = load_u32(value, 24);
    fixed.flags = load_u32(value, 28);
    fixed.os = load_u32(value, 32);
    fixed.type = load_u32(value, 36);
    fixed.subtype = load_u32(value, 40);
    fixed.date_ms = load_u32(value, 44);
    fixed.date_ls = load_u32(value, 48);
    return fixed;
}

std::string text_of(const VersionNode& node)
{
    return utf8_from_utf16le(node.value);
}

void read_string_file_info(const VersionNode& node, VersionInfo& info)
{
    for (const VersionNode& table : node.children) {
        VersionStringTable strings;
        strings.key = table.key;
        for (const VersionNode& entry : table.children)
            strings.values.emplace_back(entry.key, text_of(entry));
        info.string_tables.push_back(std::move(strings));
    }
}

void read_var_file_info(const VersionNode& node, VersionInfo& info)
{
    for (const VersionNode& var : node.children) {
        if (var.key != "Translation")
            continue;
        if (var.value.size() % 4 != 0)
            throw DecodeError(fmt::format("version block: the Translation value is {} bytes, not a whole number of "
                                          "language and code page pairs",
                                          var.value.size()));
        for (std::size_t i = 0; i < var.value.size(); i += 4)
            info.translations.push_back(Translation{load_u16(var.value, i), load_u16(var.value, i + 2)});
    }
}

}  // namespace

std::optional<std::string> VersionStringTable::value(const std::string& name) const
{
    for (const auto& [stored_name, text] : values)
        if (stored_name == name)
            return text;
    return std::nullopt;
}

VersionInfo decode_version_info(std::span<const std::uint8_t> data)
{
    const VersionNode root = VersionTreeReader(data).read_root();
    if (root.key != "VS_VERSION_INFO")
        throw DecodeError(fmt::format("version block: the first node is \"{}\", not \"VS_VERSION_INFO\"", root.key));
    VersionInfo info;
    if (root.value.size() == kFixedFileInfoSize)
        info.fixed = read_fixed(root.value);
    else if (!root.value.empty())
        throw DecodeError(
            fmt::format("version block: the fixed part is {} bytes, not {}", root.value.size(), kFixedFileInfoSize));
    for (const VersionNode& child : root.children) {
        if (child.key == "StringFileInfo")
            read_string_file_info(child, info);
        else if (child.key == "VarFileInfo")
            read_var_file_info(child, info);
    }
    return info;
}

std::string version_text(std::uint32_t most_significant, std::uint32_t least_significant)
{
    return fmt::format("{}.{}.{}.{}", most_significant >> 16, most_significant & 0xFFFF, least_significant >> 16,
                       least_significant & 0xFFFF);
}

}  // namespace upkit::kitread
