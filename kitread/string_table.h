// String table blocks (RT_STRING). Block n (a resource id from 1 to 4096)
// holds the strings with ids (n - 1) * 16 to (n - 1) * 16 + 15: sixteen
// UTF-16 strings in a row, each a 16-bit count of code units followed by that
// many units, with no terminating NUL.
#pragma once

#include <cstdint>
#include <map>
#include <span>
#include <string>

namespace upkit::kitread {

// The block holding string `id`.
std::uint16_t string_block_of(std::uint16_t id);

// The block's non-empty strings by id, as UTF-8: an empty string is one that
// the program cannot load. Throws DecodeError for a block id outside 1 to
// 4096 or a string that runs past the data; bytes after the sixteenth string
// are ignored.
std::map<std::uint16_t, std::string> decode_string_block(std::uint16_t block, std::span<const std::uint8_t> data);

}  // namespace upkit::kitread
