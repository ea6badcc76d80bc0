// Turns a member's bytes into LZ items for the item encoder.
#pragma once

#include <cstddef>

#include "item_encoder.h"
#include "match_finder.h"

namespace upkit {

// Codes the bytes [begin, end) of the finder's data, one member, with lazy
// matching: a match is put off by one byte when the next position has a
// longer one. Matches may reach back into earlier members but never run past
// `end`.
void parse_member(MatchFinder& finder, ItemEncoder& items, std::span<const std::uint8_t> data, std::size_t begin,
                  std::size_t end);

}  // namespace upkit
