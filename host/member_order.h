// The order members go into an archive. Members are coded as one stream, so
// a member compresses best after others like it: by kind, similar files
// come within each other's reach of the window.
#pragma once

#include <optional>
#include <string_view>
#include <vector>

#include "member_sources.h"

namespace upkit {

enum class MemberOrder {
    name,  // by stored name
    kind,  // by extension (without regard to case), then by stored name
};

// "name" or "kind".
std::optional<MemberOrder> member_order_named(std::string_view word);

// Puts the sources into the order. Names compare by their stored bytes, so
// the order is the same on every host.
void order_members(std::vector<MemberSource>& sources, MemberOrder order);

}  // namespace upkit
