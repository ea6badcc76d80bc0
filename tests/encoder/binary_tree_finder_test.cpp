// The binary-tree match finder against a brute-force search: at every
// position it must report real matches, the longest there is, and for each
// length the nearest occurrence.
#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "binary_tree_finder.h"
#include "test_files.h"

namespace upkit::test {
namespace {

std::uint32_t common_length(const std::vector<std::uint8_t>& data, std::size_t a, std::size_t b)
{
    std::uint32_t n = 0;
    while (b + n < data.size() && n < kMaxMatch && data[a + n] == data[b + n])
        ++n;
    return n;
}

// Checks every position of data against a search of the whole reach.
void check_against_brute_force(const std::vector<std::uint8_t>& data, int window_bits)
{
    const MatchLimits limits(window_bits);
    const std::uint32_t reach = std::min(limits.max_distance_long, limits.window_size - 1);
    BinaryTreeFinder finder(data, limits, 1 << 20);
    MatchCandidate found[kMaxCandidates];
    for (std::size_t pos = 0; pos < data.size(); ++pos) {
        const std::size_t n = finder.find(pos, found);
        // nearest[L]: the nearest distance with a match of L bytes or more.
        std::vector<std::uint32_t> nearest(kMaxMatch + 1, 0);
        std::uint32_t longest = 0;
        for (std::uint32_t d = 1; d <= reach && d <= pos; ++d) {
            const std::uint32_t length = common_length(data, pos - d, pos);
            for (std::uint32_t l = 3; l <= length; ++l)
                if (!nearest[l])
                    nearest[l] = d;
            longest = std::max(longest, length);
        }
        ASSERT_EQ(n ? found[n - 1].length : 0u, longest < 3 ? 0u : longest) << "at " << pos;
        std::uint32_t previous = 2;
        for (std::size_t k = 0; k < n; ++k) {
            ASSERT_GT(found[k].length, previous) << "at " << pos;
            ASSERT_EQ(found[k].distance, nearest[found[k].length]) << "at " << pos << ", length " << found[k].length;
            // Lengths between two candidates are served by the later one.
            for (std::uint32_t l = previous + 1; l <= found[k].length; ++l)
                ASSERT_EQ(nearest[l], found[k].distance) << "at " << pos << ", length " << l;
            previous = found[k].length;
        }
    }
}

TEST(BinaryTreeFinder, FindsTheNearestMatchOfEveryLength)
{
    // Few symbols give many matches of every length; runs and a repeated
    // block give matches as long as the data allows.
    std::vector<std::uint8_t> data = pseudo_random_bytes(3000, 5, 3);
    const std::vector<std::uint8_t> block = pseudo_random_bytes(400, 6, 256);
    data.insert(data.end(), block.begin(), block.end());
    data.insert(data.end(), 600, 'z');
    data.insert(data.end(), block.begin(), block.end());
    check_against_brute_force(data, 12);
}

TEST(BinaryTreeFinder, ForgetsWhatLeftTheWindow)
{
    // A window of 1 KiB over a 3 KiB period: the ring of tree nodes is
    // reused many times and nothing beyond the window may be reported.
    std::vector<std::uint8_t> data;
    const std::vector<std::uint8_t> unit = pseudo_random_bytes(3000, 7, 4);
    for (int i = 0; i < 3; ++i)
        data.insert(data.end(), unit.begin(), unit.end());
    check_against_brute_force(data, 10);
}

TEST(BinaryTreeFinder, SkippedPositionsAreStillFound)
{
    const std::vector<std::uint8_t> data = pseudo_random_bytes(2000, 8, 256);
    std::vector<std::uint8_t> twice = data;
    twice.insert(twice.end(), data.begin(), data.end());
    const MatchLimits limits(12);
    BinaryTreeFinder finder(twice, limits, 64);
    MatchCandidate found[kMaxCandidates];
    for (std::size_t pos = 0; pos < data.size(); ++pos)
        finder.skip(pos);
    const std::size_t n = finder.find(data.size() + 10, found);
    ASSERT_GT(n, 0u);
    EXPECT_EQ(found[n - 1].length, kMaxMatch);
    EXPECT_EQ(found[n - 1].distance, data.size());
}

}  // namespace
}  // namespace upkit::test
