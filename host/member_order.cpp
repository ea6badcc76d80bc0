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
    const auto by_name = [](const MemberSource& a, const MemberSource& b) { return a.stored < b.stored; };
    if (order == MemberOrder::name) {
        std::sort(sources.begin(), sources.end(), by_name);
        return;
    }
    struct Keyed {
        std::u32string kind;
        MemberSource source;
    };
    std::vector<Keyed> keyed;
    keyed.reserve(sources.size());
    for (MemberSource& source : sources)
        keyed.push_back({kind_of(source.stored), std::move(source)});
    std::sort(keyed.begin(), keyed.end(), [&](const Keyed& a, const Keyed& b) {
        if (a.kind != b.kind)
            return a.kind < b.kind;
        return by_name(a.source, b.source);
    });
    for (std::size_t i = 0; i < keyed.size(); ++i)
        sources[i] = std::move(keyed[i].source);
}

}  // namespace upkit
