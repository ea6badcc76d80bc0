// The decoder takes its bits in groups and scans by comparing products; a
// plain one-bit-at-a-time decoder with a divided target, kept here as the
// reference, must reach exactly the same state from any state: symbol,
// model, interval, register and input position, for sound and damaged
// streams alike.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <random>

#include "decoder_models.h"
#include "input_stream.h"
#include "test_files.h"

namespace upkit::test {
namespace {

void reference_shift()
{
    bit_register <<= 1;
    if (!(bit_register & 0xFF))
        bit_register = (bit_register & 0xFFFF0000u) | (static_cast<DWORD>(input_next_byte()) << 8) | 1;
}

void reference_narrow(DWORD lo, DWORD hi, DWORD total)
{
    DWORD range = static_cast<DWORD>(arith_high - arith_low) + 1;
    arith_high = static_cast<WORD>(arith_low + (hi * range) / total - 1);
    arith_low = static_cast<WORD>(arith_low + (lo * range) / total);
    for (;;) {
        if ((arith_low ^ arith_high) & 0x8000) {
            if (!((arith_low & 0x4000) && !(arith_high & 0x4000)))
                return;
            bit_register ^= 0x40000000u;
            arith_low &= 0x3FFF;
            arith_high |= 0x4000;
        }
        arith_low = static_cast<WORD>(arith_low << 1);
        arith_high = static_cast<WORD>((arith_high << 1) | 1);
        reference_shift();
    }
}

short reference_decode(AdaptiveModel* model)
{
    ModelEntry* p = model->entries;
    const DWORD total = p[0].cumulative;
    DWORD range = static_cast<DWORD>(arith_high - arith_low) + 1;
    short target = static_cast<short>((((bit_register >> 16) - arith_low + 1) * total - 1) / range);
    if (target < 0)
        target = 0;
    while (static_cast<short>(p[1].cumulative) > target) {
        p[0].cumulative += kModelIncrement;
        ++p;
    }
    const short symbol = static_cast<short>(p[0].symbol);
    const DWORD hi = p[0].cumulative;
    const DWORD lo = p[1].cumulative;
    p[0].cumulative += kModelIncrement;
    reference_narrow(lo, hi, total);
    if (model->entries[0].cumulative > kModelTotalLimit)
        rescale_model(model);
    return symbol;
}

DWORD reference_raw_bits(int count)
{
    DWORD result = 0;
    while (count-- > 0) {
        result = (result << 1) | ((bit_register >> 15) & 1);
        bit_register = (bit_register & 0xFFFF0000u) | ((bit_register << 1) & 0xFFFFu);
        if (!(bit_register & 0xFF))
            bit_register = (bit_register & 0xFFFF0000u) | (static_cast<DWORD>(input_next_byte()) << 8) | 1;
    }
    return result;
}

struct DecoderState {
    WORD low, high;
    DWORD reg;
    const BYTE* cursor;
    int remaining;
    AdaptiveModel model;

    static DecoderState take(const AdaptiveModel& m)
    {
        return {arith_low, arith_high, bit_register, input_cursor, input_remaining, m};
    }
    void put(AdaptiveModel& m) const
    {
        arith_low = low;
        arith_high = high;
        bit_register = reg;
        input_cursor = cursor;
        input_remaining = remaining;
        m = model;
    }
    bool operator==(const DecoderState& o) const
    {
        return low == o.low && high == o.high && reg == o.reg && cursor == o.cursor && remaining == o.remaining &&
               std::memcmp(&model, &o.model, sizeof model) == 0;
    }
};

class DecoderFastPath : public ::testing::Test {
protected:
    void SetUp() override
    {
        write_file(dir_ / "BITS.BIN", pseudo_random_bytes(1 << 20, 98));
        input_open(engine_path(dir_ / "BITS.BIN").c_str());
        ASSERT_EQ(input_status(), 0);
        initialise_models(1u << 21);
    }
    void TearDown() override { input_close(); }

    // A random decoder state: a model, an interval, a code word (mostly
    // inside the interval, as in a sound stream), the current input byte
    // with some of its bits taken.
    void random_state(AdaptiveModel& m)
    {
        const int count = 2 + static_cast<int>(random_() % 63);
        reset_model(&m, count, 0);
        for (int i = static_cast<int>(random_() % 1200); i > 0; --i) {
            // Frequencies that rescale and rebuild the model now and then;
            // the end entry (index count) keeps its 0.
            ModelEntry* e = m.entries;
            const int reach = random_() % 4 == 0 ? count : std::min(count, 3);
            const int up_to = static_cast<int>(random_() % static_cast<unsigned>(reach));
            for (int j = 0; j <= up_to; ++j)
                e[j].cumulative = static_cast<WORD>(e[j].cumulative + kModelIncrement);
            if (e[0].cumulative > kModelTotalLimit)
                rescale_model(&m);
        }
        // The decoder keeps low <= high; any such pair now and then, else an
        // interval as renormalising leaves it (more than a quarter wide).
        if (random_() % 8 == 0) {
            const WORD a = static_cast<WORD>(random_());
            const WORD b = static_cast<WORD>(random_());
            arith_low = std::min(a, b);
            arith_high = std::max(a, b);
        } else if (random_() % 2) {
            arith_low = static_cast<WORD>(random_() % 0x4000);
            arith_high = static_cast<WORD>(0x8000 + random_() % 0x8000);
        } else {
            arith_low = static_cast<WORD>(random_() % 0x8000);
            arith_high = static_cast<WORD>(0xC000 + random_() % 0x4000);
        }
        const unsigned taken = random_() % 8;
        const DWORD code = random_() % 4 == 0
                               ? random_() & 0xFFFF
                               : arith_low + random_() % (static_cast<DWORD>(arith_high - arith_low) + 1);
        bit_register = ((code & 0xFFFF) << 16) | ((((random_() & 0xFF) << 8) << taken) & 0xFFFF) | (1u << taken);
        if (input_remaining < 64) {
            input_close();
            input_open(engine_path(dir_ / "BITS.BIN").c_str());
        }
    }

    std::mt19937 random_{5};
    TempDir dir_;
};

TEST_F(DecoderFastPath, SymbolsAndStatesMatchTheOneBitDecoder)
{
    AdaptiveModel fast{};
    AdaptiveModel slow{};
    for (int trial = 0; trial < 30000; ++trial) {
        random_state(fast);
        const DecoderState start = DecoderState::take(fast);
        start.put(slow);
        const short expected = reference_decode(&slow);
        const DecoderState reference = DecoderState::take(slow);
        start.put(fast);
        ASSERT_EQ(decode_symbol(&fast), expected) << "trial " << trial;
        ASSERT_TRUE(DecoderState::take(fast) == reference) << "trial " << trial;
    }
}

TEST_F(DecoderFastPath, RawBitsMatchTheOneBitReader)
{
    AdaptiveModel unused{};
    for (int trial = 0; trial < 30000; ++trial) {
        random_state(unused);
        const DecoderState start = DecoderState::take(unused);
        const int count = static_cast<int>(random_() % 20);
        const DWORD expected = reference_raw_bits(count);
        const DecoderState reference = DecoderState::take(unused);
        start.put(unused);
        ASSERT_EQ(read_raw_bits(count), expected) << "trial " << trial;
        ASSERT_TRUE(DecoderState::take(unused) == reference) << "trial " << trial;
    }
}

}  // namespace
}  // namespace upkit::test
