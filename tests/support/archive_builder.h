// Builds archives item by item, for streams our encoder would never write:
// sizes that disagree with the items, wrong check values, matches reaching
// before the first byte.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "item_encoder.h"

namespace upkit::test {

class ArchiveBuilder {
public:
    explicit ArchiveBuilder(int window_bits, std::uint8_t version_a = 0, std::uint8_t version_b = 97);

    // Items of the member being coded.
    ItemEncoder& items() { return items_; }
    void literals(const std::string& text);

    // Ends the member coded since the last call, with this directory entry
    // and this check value after its items.
    void end_member(const std::string& name, std::uint32_t declared_size, std::uint16_t check,
                    std::uint16_t dos_time = 0x6000, std::uint16_t dos_date = 0x2821);

    std::vector<std::uint8_t> finish();

private:
    std::uint8_t version_a_;
    std::uint8_t version_b_;
    int window_bits_;
    ItemEncoder items_;
    std::vector<std::uint8_t> directory_;
    int count_ = 0;
};

std::uint16_t check_value_of(const std::vector<std::uint8_t>& data);
std::uint16_t check_value_of(const std::string& text);

}  // namespace upkit::test
