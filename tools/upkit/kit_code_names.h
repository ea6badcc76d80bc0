// The numbers in a kit's tables named for people.
#pragma once

#include <cstdint>
#include <string>

namespace upkit {

// "install directory", "Windows directory", "system directory"; every base
// but 1 and 2 means the product's install directory.
std::string destination_base_name(std::uint16_t base);

// "HKEY_LOCAL_MACHINE", ...; "no root key" for codes the kit does not know.
std::string registry_root_name(std::uint16_t root);

// "REG_SZ", "REG_EXPAND_SZ", "REG_DWORD"; "no value" for codes for which the
// kit writes nothing.
std::string registry_type_name(std::uint16_t type);

}  // namespace upkit
