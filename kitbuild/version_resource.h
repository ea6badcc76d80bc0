// The version block as a resource: the fixed file information and one
// string table, as Windows' version functions and the shell read it.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace upkit::kitbuild {

struct VersionBlock {
    std::array<std::uint16_t, 4> file_version{};  // 1.10.0.0 is {1, 10, 0, 0}
    std::array<std::uint16_t, 4> product_version{};
    std::uint32_t file_os = 0x00000004;  // 32-bit Windows, any kind
    std::uint32_t file_type = 1;         // an application
    std::uint16_t language = 0x0409;
    std::uint16_t code_page = 1252;
    std::vector<std::pair<std::string, std::string>> strings;  // key, value (UTF-8), in order
};

// VS_VERSIONINFO with a StringFileInfo holding one table named by the
// language and code page ("040904E4") and a VarFileInfo with their
// Translation. Every node is laid out as resource compilers lay it out: its
// length counts its header, key, padding, value and children but not the
// padding after its end; text values count their characters with the
// terminating zero. Throws KitError for text that is not UTF-8 or a block
// larger than a node can measure.
std::vector<std::uint8_t> encode_version_block(const VersionBlock& block);

}  // namespace upkit::kitbuild
