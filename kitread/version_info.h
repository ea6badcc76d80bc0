// Version blocks (RT_VERSION): the fixed part with the numeric versions and
// file type, the string tables of StringFileInfo (one per language and code
// page, key to value) and the Translation list of VarFileInfo.
//
// The block is a tree of nodes, each a length, a value length, a type (0
// binary, 1 text), a UTF-16 key, its value and its children, every part on a
// 4-byte boundary. Each node must lie within its parent.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <utility>
#include <vector>

namespace upkit::kitread {

const std::uint32_t kFixedFileInfoSignature = 0xFEEF04BD;

struct FixedFileInfo {
    std::uint32_t struct_version = 0;
    std::uint32_t file_version_ms = 0, file_version_ls = 0;
    std::uint32_t product_version_ms = 0, product_version_ls = 0;
    std::uint32_t flags_mask = 0;
    std::uint32_t flags = 0;
    std::uint32_t os = 0;
    std::uint32_t type = 0;
    std::uint32_t subtype = 0;
    std::uint32_t date_ms = 0, date_ls = 0;
};

struct VersionStringTable {
    std::string key;                                          // language and code page in hexadecimal: "040904E4"
    std::vector<std::pair<std::string, std::string>> values;  // in stored order

    // The first value stored under `name`.
    std::optional<std::string> value(const std::string& name) const;
};

struct Translation {
    std::uint16_t language = 0;
    std::uint16_t code_page = 0;
};

struct VersionInfo {
    std::optional<FixedFileInfo> fixed;
    std::vector<VersionStringTable> string_tables;
    std::vector<Translation> translations;
};

// Throws DecodeError for a block that is not a version block or whose nodes
// do not fit inside each other; nodes other than StringFileInfo and
// VarFileInfo, and values in VarFileInfo other than Translation, are skipped.
VersionInfo decode_version_info(std::span<const std::uint8_t> data);

// "1.10.0.0" from the two halves of a version in the fixed part.
std::string version_text(std::uint32_t most_significant, std::uint32_t least_significant);

}  // namespace upkit::kitread
