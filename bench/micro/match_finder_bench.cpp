// MatchFinder: the encoder's search for earlier occurrences, driven as a
// parser drives it: at every position of the sample the longest match is
// looked up, then the position is inserted. The argument is the number of
// candidates tried per position (max_chain).
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdint>
#include <vector>

#include "item_encoder.h"
#include "match_finder.h"
#include "sample_data.h"

namespace upkit::bench {

namespace {

const int kWindowBits = 21;

void BM_MatchFinder(benchmark::State& state)
{
    const std::vector<std::uint8_t>& data = sample_data();
    const MatchLimits limits(kWindowBits);
    const int max_chain = static_cast<int>(state.range(0));
    std::uint64_t matched = 0;
    for (auto _ : state) {
        MatchFinder finder(data, limits, max_chain);
        matched = 0;
        for (std::size_t pos = 0; pos < data.size(); ++pos) {
            const std::uint32_t longest =
                static_cast<std::uint32_t>(std::min<std::size_t>(kMaxMatch, data.size() - pos));
            const Match m = finder.find(pos, longest);
            matched += m.length;
            finder.insert(pos);
        }
        benchmark::DoNotOptimize(matched);
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * data.size()));
    // The mean longest match per position: what the search effort buys.
    state.counters["mean_match"] = static_cast<double>(matched) / static_cast<double>(data.size());
}

}  // namespace

BENCHMARK(BM_MatchFinder)
    ->Name("MatchFinder/find_insert")
    ->ArgName("max_chain")
    ->Arg(4)
    ->Arg(16)
    ->Arg(64)
    ->Arg(256)
    ->Arg(1024)
    ->Unit(benchmark::kMillisecond);

}  // namespace upkit::bench
