// Writes KW archives: header, directory and one coded stream for all members,
// optionally split into continuation files.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "item_format.h"

namespace upkit {

struct MemberInput {
    std::string name;  // stored name: relative, backslashes between folders
    std::string note;  // kept by readers, never interpreted
    std::vector<std::uint8_t> data;
    std::uint16_t dos_time = 0;
    std::uint16_t dos_date = 0;
};

enum class Parser {
    lazy,     // hash chains; a match is put off by one byte for a longer one
    optimal,  // binary trees; the cheapest path through each block
};

struct EncoderOptions {
    int window_bits = 18;
    Parser parser = Parser::lazy;
    int max_chain = 64;                     // lazy: candidates tried per position
    int search_depth = 32;                  // optimal: tree nodes visited per position
    int passes = 1;                         // optimal: parses per block
    std::uint32_t nice_length = kMaxMatch;  // optimal: a match this long is taken at once
};

// The options of a compression level, 1 (fastest) to 9 (smallest). Levels
// 1 to 5 parse lazily over hash chains, each trying twice as many
// candidates as the one before; 6 to 9 parse optimally over binary trees,
// searching deeper and iterating the prices more. Level 5 is the default.
const int kMinLevel = 1;
const int kMaxLevel = 9;
const int kDefaultLevel = 5;
EncoderOptions level_options(int level, int window_bits);

// Header fields our archives carry.
const std::uint8_t kVersionA = 0;
const std::uint8_t kVersionB = 97;
const std::uint8_t kReservedByte = 3;
const int kMinEncoderWindowBits = 10;
const int kMaxEncoderWindowBits = 21;
const std::size_t kMaxTextLength = 0x7FFF;
const std::size_t kMaxMembers = 0xFFFF;

// The whole archive as one byte image. Deterministic: the same members and
// options give the same bytes. Throws std::invalid_argument for input the
// format cannot carry.
std::vector<std::uint8_t> encode_archive(const std::vector<MemberInput>& members, const EncoderOptions& options);

// The directory entry of one member, as it is stored.
std::vector<std::uint8_t> encode_directory_entry(const MemberInput& member);

// Splits an archive image into files of at most volume_size bytes: the first
// holds the image's start, each further one its 16-bit sequence number (2, 3,
// ...) followed by the next bytes.
std::vector<std::vector<std::uint8_t>> split_into_volumes(const std::vector<std::uint8_t>& image,
                                                          std::size_t volume_size);

// The smallest window (at least kMinEncoderWindowBits, at most max_bits) that
// holds all of `total_size` bytes.
int fitting_window_bits(std::uint64_t total_size, int max_bits);

}  // namespace upkit
