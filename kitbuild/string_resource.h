// String tables as resources: blocks of 16 counted UTF-16 strings, block n
// holding the ids (n - 1) * 16 to (n - 1) * 16 + 15.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace upkit::kitbuild {

struct StringBlock {
    std::uint16_t block_id;
    std::vector<std::uint8_t> data;
};

// One block per 16 ids that hold any string, in block order. Each string is
// its length in code units and the units, with no terminating zero; ids of a
// block without a string have length 0. Texts are UTF-8; throws KitError
// for text that is not, or is longer than 65535 units.
std::vector<StringBlock> encode_string_table(const std::map<std::uint16_t, std::string>& strings);

}  // namespace upkit::kitbuild
