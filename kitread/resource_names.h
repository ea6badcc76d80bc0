// Resources named for people: "RT_RCDATA" for type 10, "ARCHIVE/2001", ...
#pragma once

#include <string>

#include "resource_entry.h"

namespace upkit::kitread {

// The RT_ name of a standard type id, else the id or the type's name.
std::string describe_type(const pe::ResourceKey& type);

// "RT_DIALOG/100 (language 1033)".
std::string describe_resource(const pe::Resource& resource);

// Names compared as Windows looks them up: ASCII letters without regard to
// case. Ids match only ids.
bool same_key(const pe::ResourceKey& key, const pe::ResourceKey& wanted);

}  // namespace upkit::kitread
