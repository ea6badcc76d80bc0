#include "member_order.h"

#include <algorithm>
#include <string>

#include "name_folding.h"

namespace upkit {

namespace {

// The extension of a stored name's last component, case folded as Windows
// compares names: "" for a name without one.
std::u32string kind_of(const std::string& stored)
{
    const std::size_t component = stored.rfind('\\');
    const std::size_t start = component == std::string::npos ? 0 : component + 1;
    const std::size_t dot = stored.rfind('.');
    if (dot == std::string::npos || dot < start)
        return {};
    return folded_stored_name(std::string_view(stored).substr(dot + 1));
}

}  // namespace

std::optional<MemberOrder> member_order_named(std::string_view word)
{
    if (word == "name")
        return MemberOrder::name;
    if (word == "kind")
        return MemberOrder::kind;
    return std::nullopt;
}

void order_members(std::vector<MemberSource>& sources, MemberOrder order)
{
    std::sort(sources.begin(), sources.end(), [order](const MemberSource& a, const MemberSource& b) {
        if (order == MemberOrder::kind) {
            const std::u32string a_kind = kind_of(a.stored);
            const std::u32string b_kind = kind_of(b.stored);
            if (a_kind != b_kind)
                return a_kind < b_kind;
        }
        return a.stored < b.stored;
    });
}

}  // namespace upkit
