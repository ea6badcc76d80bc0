// copy_match: the window's copy of a match, on the matches a greedy parse of
// the sample finds (their real mix of lengths and distances, wrapping at the
// window's end included), and on a few fixed shapes.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <vector>

#include "item_encoder.h"
#include "lz_window.h"
#include "match_finder.h"
#include "sample_data.h"

namespace upkit::bench {

namespace {

const int kWindowBits = 21;

struct Copy {
    std::uint32_t position;
    int distance;
    int length;
};

// Greedy: the longest match at each position, else one literal.
const std::vector<Copy>& sample_matches()
{
    static const std::vector<Copy> copies = [] {
        const std::vector<std::uint8_t>& data = sample_data();
        const MatchLimits limits(kWindowBits);
        MatchFinder finder(data, limits, 16);
        std::vector<Copy> out;
        std::size_t pos = 0;
        while (pos < data.size()) {
            const std::uint32_t longest =
                static_cast<std::uint32_t>(std::min<std::size_t>(kMaxMatch, data.size() - pos));
            const Match m = finder.find(pos, longest);
            if (m.length >= 3) {
                out.push_back(
                    Copy{static_cast<std::uint32_t>(pos), static_cast<int>(m.distance), static_cast<int>(m.length)});
                for (std::size_t end = pos + m.length; pos < end; ++pos)
                    finder.insert(pos);
            } else {
                finder.insert(pos++);
            }
        }
        return out;
    }();
    return copies;
}

// A window as decoder_setup leaves it, holding the start of the sample.
void load_window(const std::vector<std::uint8_t>& data)
{
    decoder_setup(kWindowBits);
    std::memcpy(window, data.data(), std::min<std::size_t>(data.size(), static_cast<std::size_t>(window_size)));
    window_pos = 0;
}

void BM_CopyMatchSample(benchmark::State& state)
{
    const std::vector<std::uint8_t>& data = sample_data();
    const std::vector<Copy>& copies = sample_matches();
    load_window(data);
    if (!window) {
        state.SkipWithError("no memory for the window");
        return;
    }
    std::int64_t bytes = 0;
    for (const Copy& c : copies)
        bytes += c.length;

    // Once, untimed: each match copies the bytes that are already there,
    // so a sample within the window must come out unchanged.
    for (const Copy& c : copies) {
        window_pos = static_cast<int>(c.position) & window_mask;
        copy_match(c.distance, c.length);
    }
    if (data.size() <= static_cast<std::size_t>(window_size) && std::memcmp(window, data.data(), data.size()) != 0) {
        state.SkipWithError("replaying the matches changed the window");
        decoder_release();
        return;
    }

    for (auto _ : state) {
        for (const Copy& c : copies) {
            window_pos = static_cast<int>(c.position) & window_mask;
            copy_match(c.distance, c.length);
        }
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(state.iterations() * bytes);
    state.counters["matches"] = static_cast<double>(copies.size());
    state.counters["mean_length"] =
        copies.empty() ? 0.0 : static_cast<double>(bytes) / static_cast<double>(copies.size());
    decoder_release();
}

// Fixed shapes: range(0) is the distance, range(1) the length. Each pass
// copies 4096 matches one after the other, running around the window.
void BM_CopyMatchFixed(benchmark::State& state)
{
    const int distance = static_cast<int>(state.range(0));
    const int length = static_cast<int>(state.range(1));
    load_window(sample_data());
    if (!window) {
        state.SkipWithError("no memory for the window");
        return;
    }
    const int kCopies = 4096;
    for (auto _ : state) {
        for (int i = 0; i < kCopies; ++i)
            copy_match(distance, length);
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(state.iterations() * kCopies * length);
    decoder_release();
}

}  // namespace

BENCHMARK(BM_CopyMatchSample)->Name("copy_match/sample_matches")->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_CopyMatchFixed)
    ->Name("copy_match/fixed")
    ->ArgNames({"distance", "length"})
    ->Args({1, 259})   // a run of one byte
    ->Args({4, 64})    // a short repeating pattern
    ->Args({3000, 3})  // the shortest match, nearby
    ->Args({200000, 4})
    ->Args({1500000, 259})  // a long match far back
    ->Unit(benchmark::kMicrosecond);

}  // namespace upkit::bench
