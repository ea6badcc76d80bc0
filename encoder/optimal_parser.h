// Turns a member's bytes into the cheapest LZ items it can find: a shortest
// path over the positions of a block, each step a literal or a match priced
// from the adaptive models' real state. Models adapt as items are coded, so
// the block is parsed again with prices taken from where the last parse
// left the models, and the parse that really costs least is kept; only the
// first part of it is coded before the next block is parsed from there.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

#include "binary_tree_finder.h"
#include "item_encoder.h"

namespace upkit {

struct OptimalParseOptions {
    std::size_t block_size = 4096;          // positions one parse looks at
    std::size_t commit_size = 3072;         // positions it codes, unless it reaches the end
    int passes = 1;                         // parses per block
    std::uint32_t nice_length = kMaxMatch;  // a match this long is taken at once
};

// Codes the bytes [begin, end) of the finder's data, one member. Matches may
// reach back into earlier members but never run past `end`.
void parse_member_optimal(BinaryTreeFinder& finder, ItemEncoder& items, std::span<const std::uint8_t> data,
                          std::size_t begin, std::size_t end, const OptimalParseOptions& options);

}  // namespace upkit
