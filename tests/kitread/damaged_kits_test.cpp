// Damaged kits: whatever the bytes, reading a kit ends in its contents (with
// the damage listed) or in PeError, and the sanitizer builds see no bad
// memory access. Damage is aimed at the headers and the resource directory
// as well as spread over the whole file.

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <random>

#include "demo_kit.h"
#include "kit_contents.h"
#include "pe_image.h"

namespace upkit::test {
namespace {

enum class Outcome {
    read_whole,
    read_with_findings,
    refused
};

struct Region {
    std::size_t begin;
    std::size_t end;
};

Bytes damage(Bytes bytes, std::mt19937& rng, const std::vector<Region>& targets)
{
    const Region& region = targets[rng() % targets.size()];
    const auto at = [&] { return region.begin + rng() % (region.end - region.begin); };
    switch (rng() % 4) {
    case 0:  // flipped bits
        for (int i = 0, n = 1 + static_cast<int>(rng() % 8); i < n; ++i)
            bytes[at()] ^= static_cast<std::uint8_t>(1u << (rng() % 8));
        break;
    case 1:  // cut short
        bytes.resize(at());
        break;
    case 2:  // a stretch overwritten with noise
    {
        const std::size_t start = at();
        for (std::size_t i = start; i < bytes.size() && i < start + 1 + rng() % 64; ++i)
            bytes[i] = static_cast<std::uint8_t>(rng());
        break;
    }
    default:  // a 32-bit field set to an extreme
    {
        const std::size_t start = at() & ~std::size_t{3};
        const std::uint32_t values[] = {0, 0xFFFFFFFF, 0x80000000, 0x7FFFFFFF, 0x80000010};
        if (start + 4 <= bytes.size())
            put32(bytes, start, values[rng() % 5]);
        break;
    }
    }
    return bytes;
}

Outcome read_damaged(const Bytes& bytes)
{
    try {
        const kitread::KitContents kit = kitread::read_kit_contents(bytes);
        return kit.missing.empty() && kit.unexpected.empty() && kit.damaged.empty() ? Outcome::read_whole
                                                                                    : Outcome::read_with_findings;
    } catch (const pe::PeError&) {
        return Outcome::refused;
    }
    // Anything else escaping is a failure of the test.
}

class DamagedKits : public ::testing::TestWithParam<std::string> { };

TEST_P(DamagedKits, AreReadOrRefusedWithPeError)
{
    const Bytes original = demo_kit_bytes(GetParam());
    const pe::PeImage image(original);
    const pe::Section* rsrc = nullptr;
    for (const pe::Section& section : image.sections())
        if (section.name == ".rsrc")
            rsrc = &section;
    ASSERT_NE(rsrc, nullptr);
    // Our build lays out the dialog, strings, tables, icon group and version
    // block last, after the archives and the picture.
    const Bytes& dialog = demo_resource_data(GetParam(), pe::kTypeDialog, 100);
    const auto decoded = std::search(original.begin(), original.end(), dialog.begin(), dialog.end());
    ASSERT_NE(decoded, original.end());
    const std::size_t decoded_at = static_cast<std::size_t>(decoded - original.begin());
    const std::vector<Region> targets = {
        {0, original.size()},                                              // anywhere
        {0, image.section_table_offset() + 40 * image.sections().size()},  // the headers
        {rsrc->raw_offset, rsrc->raw_offset + 0x410},                      // the resource tree and its entries
        {decoded_at, rsrc->raw_offset + rsrc->virtual_size},               // the decoded resources
    };

    std::mt19937 rng(GetParam() == "win32" ? 1997 : 2001);
    std::map<Outcome, int> outcomes;
    for (int round = 0; round < 400; ++round)
        ++outcomes[read_damaged(damage(original, rng, targets))];
    // The damage must reach every stage: some kits still read whole (bytes
    // the reader never looks at), some with findings, some refused.
    EXPECT_GT(outcomes[Outcome::read_whole], 20);
    EXPECT_GT(outcomes[Outcome::read_with_findings], 20);
    EXPECT_GT(outcomes[Outcome::refused], 20);
}

INSTANTIATE_TEST_SUITE_P(BothTargets, DamagedKits, ::testing::Values("win32", "win64"));

}  // namespace
}  // namespace upkit::test
