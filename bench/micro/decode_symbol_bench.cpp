// decode_symbol: the decoder's innermost step, one symbol from an adaptive
// model through the arithmetic decoder. Measured on the literals of the
// sample, each coded as the decoder reads one: the selector symbol, then the
// byte from the literal model it picks.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <vector>

#include "decoder_models.h"
#include "input_stream.h"
#include "item_encoder.h"
#include "sample_data.h"

namespace upkit::bench {

namespace {

const int kWindowBits = 21;

const std::vector<std::uint8_t>& literal_stream()
{
    static const std::vector<std::uint8_t> stream = [] {
        ItemEncoder items(kWindowBits);
        for (std::uint8_t byte : sample_data())
            items.literal(byte);
        return items.finish();
    }();
    return stream;
}

// Puts the engine's input and models where an archive's stream starts: the
// models fresh, the code word holding the stream's first bytes.
void start_stream(const std::vector<std::uint8_t>& stream)
{
    initialise_models(DWORD{1} << kWindowBits);
    arith_low = 0;
    arith_high = 0xFFFF;
    input_cursor = stream.data();
    input_remaining = static_cast<int>(stream.size());
    const DWORD b0 = input_next_byte();
    const DWORD b1 = input_next_byte();
    const DWORD b2 = input_next_byte();
    bit_register = (b0 << 24) | (b1 << 16) | (b2 << 8) | 1;
}

std::uint8_t decode_literal_item()
{
    const short selector = decode_symbol(&selector_model);
    return static_cast<std::uint8_t>(decode_symbol(&literal_models[selector & 3]));
}

void BM_DecodeSymbolLiterals(benchmark::State& state)
{
    const std::vector<std::uint8_t>& data = sample_data();
    const std::vector<std::uint8_t>& stream = literal_stream();

    // Once, untimed: the stream decodes to the sample.
    start_stream(stream);
    for (std::size_t i = 0; i < data.size(); ++i) {
        if (decode_literal_item() != data[i]) {
            state.SkipWithError("the coded literals do not decode to the sample");
            return;
        }
    }

    for (auto _ : state) {
        start_stream(stream);
        unsigned sum = 0;
        for (std::size_t i = 0; i < data.size(); ++i)
            sum += decode_literal_item();
        benchmark::DoNotOptimize(sum);
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * data.size()));
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations() * data.size() * 2));
    state.counters["stream_bytes"] = static_cast<double>(stream.size());
}

}  // namespace

// Items are symbols: two per byte.
BENCHMARK(BM_DecodeSymbolLiterals)->Name("decode_symbol/literals")->Unit(benchmark::kMillisecond);

}  // namespace upkit::bench
