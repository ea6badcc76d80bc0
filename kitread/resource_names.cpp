#include "resource_names.h"

#include <fmt/format.h>

namespace upkit::kitread {

namespace {

const char* standard_type_name(std::uint16_t id)
{
    switch (id) {
    case 1:
        return "RT_CURSOR";
    case 2:
        return "RT_BITMAP";
    case 3:
        return "RT_ICON";
    case 4:
        return "RT_MENU";
    case 5:
        return "RT_DIALOG";
    case 6:
        return "RT_STRING";
    case 7:
        return "RT_FONTDIR";
    case 8:
        return "RT_FONT";
    case 9:
        return "RT_ACCELERATOR";
    case 10:
        return "RT_RCDATA";
    case 11:
        return "RT_MESSAGETABLE";
    case 12:
        return "RT_GROUP_CURSOR";
    case 14:
        return "RT_GROUP_ICON";
    case 16:
        return "RT_VERSION";
    case 24:
        return "RT_MANIFEST";
    default:
        return nullptr;
    }
}

char ascii_upper(char c)
{
    return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
}

}  // namespace

std::string describe_type(const pe::ResourceKey& type)
{
    if (type.is_id()) {
        if (const char* name = standard_type_name(*type.id))
            return name;
    }
    return type.describe();
}

std::string describe_resource(const pe::Resource& resource)
{
    return fmt::format("{}/{} (language {})", describe_type(resource.type), resource.name.describe(),
                       resource.language);
}

bool same_key(const pe::ResourceKey& key, const pe::ResourceKey& wanted)
{
    if (key.is_id() || wanted.is_id())
        return key.id == wanted.id;
    if (key.name.size() != wanted.name.size())
        return false;
    for (std::size_t i = 0; i < key.name.size(); ++i)
        if (ascii_upper(key.name[i]) != ascii_upper(wanted.name[i]))
            return false;
    return true;
}

}  // namespace upkit::kitread
