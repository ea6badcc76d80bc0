#include "lz_parser.h"

#include <algorithm>

namespace upkit {

void parse_member(MatchFinder& finder, ItemEncoder& items, std::span<const std::uint8_t> data, std::size_t begin,
                  std::size_t end)
{
    auto longest_at = [&](std::size_t pos) {
        return finder.find(pos, static_cast<std::uint32_t>(std::min<std::size_t>(kMaxMatch, end - pos)));
    };

    std::size_t pos = begin;
    Match current = pos < end ? longest_at(pos) : Match{};
    while (pos < end) {
        finder.insert(pos);
        if (current.length >= kMinMatch && pos + 1 < end) {
            const Match next = longest_at(pos + 1);
            if (next.length > current.length) {
                items.literal(data[pos]);
                ++pos;
                current = next;
                continue;
            }
        }
        if (current.length >= kMinMatch) {
            items.match(current.length, current.distance);
            for (std::size_t p = pos + 1; p < pos + current.length; ++p)
                finder.insert(p);
            pos += current.length;
        } else {
            items.literal(data[pos]);
            ++pos;
        }
        current = pos < end ? longest_at(pos) : Match{};
    }
}

}  // namespace upkit
