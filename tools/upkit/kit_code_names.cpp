#include "kit_code_names.h"

#include "kit_resource_ids.h"

namespace upkit {

std::string destination_base_name(std::uint16_t base)
{
    switch (base) {
    case KIT_BASE_WINDOWS:
        return "Windows directory";
    case KIT_BASE_SYSTEM:
        return "system directory";
    default:
        return "install directory";
    }
}

std::string registry_root_name(std::uint16_t root)
{
    switch (root) {
    case KIT_ROOT_CLASSES_ROOT:
        return "HKEY_CLASSES_ROOT";
    case KIT_ROOT_LOCAL_MACHINE:
        return "HKEY_LOCAL_MACHINE";
    case KIT_ROOT_CURRENT_USER:
        return "HKEY_CURRENT_USER";
    case KIT_ROOT_USERS:
        return "HKEY_USERS";
    default:
        return "no root key";
    }
}

std::string registry_type_name(std::uint16_t type)
{
    switch (type) {
    case KIT_TYPE_STRING:
        return "REG_SZ";
    case KIT_TYPE_EXPAND_STRING:
        return "REG_EXPAND_SZ";
    case KIT_TYPE_DWORD:
        return "REG_DWORD";
    default:
        return "no value";
    }
}

}  // namespace upkit
