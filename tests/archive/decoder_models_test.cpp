// The adaptive models and the arithmetic decoder on hand-made states.
#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "decoder_models.h"
#include "input_stream.h"
#include "test_files.h"

namespace upkit::test {
namespace {

std::vector<int> cumulatives(const AdaptiveModel& m)
{
    std::vector<int> c;
    for (int i = 0; i <= m.symbol_count; ++i)
        c.push_back(m.entries[i].cumulative);
    return c;
}

std::vector<int> symbols(const AdaptiveModel& m)
{
    std::vector<int> s;
    for (int i = 0; i < m.symbol_count; ++i)
        s.push_back(m.entries[i].symbol);
    return s;
}

// Sets a model's entries from frequencies in entry order.
void set_frequencies(AdaptiveModel* m, const std::vector<int>& symbols_in_order, const std::vector<int>& frequencies)
{
    m->symbol_count = static_cast<int>(frequencies.size());
    int c = 0;
    m->entries[m->symbol_count] = {0, static_cast<WORD>(m->symbol_count)};
    for (int i = m->symbol_count - 1; i >= 0; --i) {
        c += frequencies[static_cast<std::size_t>(i)];
        m->entries[i] = {static_cast<WORD>(c), static_cast<WORD>(symbols_in_order[static_cast<std::size_t>(i)])};
    }
}

// The interval at its start and the code word given; the current byte fresh.
void set_decoder(WORD code, BYTE current = 0)
{
    arith_low = 0;
    arith_high = 0xFFFF;
    bit_register = (DWORD{code} << 16) | (DWORD{current} << 8) | 1;
}

// Gives the decoder a real stream to fetch further bytes from.
class DecoderModels : public ::testing::Test {
protected:
    void SetUp() override
    {
        write_file(dir_ / "BITS.BIN", pseudo_random_bytes(1 << 16, 99));
        input_open(engine_path(dir_ / "BITS.BIN").c_str());
        ASSERT_EQ(input_status(), 0);
        initialise_models(1u << 15);
    }
    void TearDown() override { input_close(); }

    TempDir dir_;
};

TEST_F(DecoderModels, FreshModelsAndPositionSlotsPerWindow)
{
    EXPECT_EQ(selector_model.entries[0].cumulative, 7);
    EXPECT_EQ(literal_models[3].entries[0].cumulative, 64);
    EXPECT_EQ(literal_models[3].entries[0].symbol, 192);
    EXPECT_EQ(literal_models[3].entries[63].symbol, 255);
    EXPECT_EQ(length_model.entries[0].cumulative, 27);
    EXPECT_EQ(selector_model.rescales_before_rebuild, 4);
    EXPECT_EQ(selector_model.entries[7].cumulative, 0);

    struct Expect {
        unsigned bits;
        int match3, match4, longest;
    };
    for (Expect e : {Expect{15, 24, 30, 30}, Expect{18, 24, 36, 36}, Expect{21, 24, 36, 42}, Expect{9, 18, 18, 18}}) {
        initialise_models(1u << e.bits);
        EXPECT_EQ(match3_position_model.symbol_count, e.match3) << e.bits;
        EXPECT_EQ(match4_position_model.symbol_count, e.match4) << e.bits;
        EXPECT_EQ(long_match_position_model.symbol_count, e.longest) << e.bits;
    }
}

TEST_F(DecoderModels, SlotBasesFollowFromTheExtraBits)
{
    const std::vector<DWORD> lengths = {0,  1,  2,  3,  4,  5,  6,  8,   10,  12,  14,  18,  22, 26,
                                        30, 38, 46, 54, 62, 78, 94, 110, 126, 158, 190, 222, 254};
    EXPECT_EQ(std::vector<DWORD>(length_base, length_base + kLengthSlots), lengths);
    EXPECT_EQ(position_base[4], 4u);
    EXPECT_EQ(position_base[24], 4096u);
    EXPECT_EQ(position_base[36], 262144u);
    EXPECT_EQ(position_base[41], 1572864u);
    // The last slot reaches exactly 2 MiB back.
    EXPECT_EQ(position_base[41] + (1u << position_extra_bits[41]), 2097152u);
}

TEST_F(DecoderModels, FreshSelectorDecodesTheLowestAndHighestCode)
{
    set_decoder(0x0000);
    EXPECT_EQ(decode_symbol(&selector_model), 6);
    EXPECT_EQ(cumulatives(selector_model), (std::vector<int>{15, 14, 13, 12, 11, 10, 9, 0}));
    EXPECT_EQ(arith_low, 0);
    EXPECT_EQ(arith_high, 0x9247);

    initialise_models(1u << 15);
    set_decoder(0xFFFF);
    EXPECT_EQ(decode_symbol(&selector_model), 0);
    EXPECT_EQ(cumulatives(selector_model), (std::vector<int>{15, 6, 5, 4, 3, 2, 1, 0}));
    EXPECT_EQ(arith_low, 0x6DB4);
    EXPECT_EQ(arith_high, 0xFFFF);
}

TEST_F(DecoderModels, RescaleComesOnlyWhenTheTotalPasses3800)
{
    AdaptiveModel m;
    reset_model(&m, 7, 0);
    set_frequencies(&m, {0, 1, 2, 3, 4, 5, 6}, {3786, 1, 1, 1, 1, 1, 1});
    set_decoder(0xFFFF);
    EXPECT_EQ(decode_symbol(&m), 0);
    EXPECT_EQ(m.entries[0].cumulative, 3800);
    EXPECT_EQ(m.rescales_before_rebuild, 4);

    set_decoder(0xFFFF);
    EXPECT_EQ(decode_symbol(&m), 0);
    EXPECT_EQ(m.rescales_before_rebuild, 3);
    EXPECT_EQ(cumulatives(m), (std::vector<int>{1904, 6, 5, 4, 3, 2, 1, 0}));
}

TEST_F(DecoderModels, HalvingKeepsEveryFrequencyAtLeastOne)
{
    AdaptiveModel m;
    reset_model(&m, 3, 0);
    set_frequencies(&m, {0, 1, 2}, {1, 1, 3});  // cumulatives 5, 4, 3, 0
    rescale_model(&m);
    EXPECT_EQ(cumulatives(m), (std::vector<int>{3, 2, 1, 0}));
    EXPECT_EQ(symbols(m), (std::vector<int>{0, 1, 2}));
}

TEST_F(DecoderModels, RebuildSortsByFrequencyInItsOwnUnstableOrder)
{
    AdaptiveModel m;
    reset_model(&m, 3, 0);
    const int p = 10, q = 11, r = 12;
    set_frequencies(&m, {p, q, r}, {1, 2, 3});  // cumulatives 6, 5, 3, 0
    m.rescales_before_rebuild = 1;
    rescale_model(&m);
    EXPECT_EQ(symbols(m), (std::vector<int>{r, q, p}));
    EXPECT_EQ(cumulatives(m), (std::vector<int>{4, 2, 1, 0}));
    EXPECT_EQ(m.rescales_before_rebuild, 50);
}

TEST_F(DecoderModels, FourthRescaleRebuildsThenEveryFiftieth)
{
    AdaptiveModel m;
    reset_model(&m, 4, 0);
    int rebuilds = 0;
    for (int i = 1; i <= 104; ++i) {
        rescale_model(&m);
        if (m.rescales_before_rebuild == 50) {
            ++rebuilds;
            EXPECT_TRUE(i == 4 || i == 54 || i == 104) << i;
        }
    }
    EXPECT_EQ(rebuilds, 3);
}

TEST_F(DecoderModels, DecodeThatRebuildsReturnsTheSymbolItFound)
{
    AdaptiveModel m;
    reset_model(&m, 3, 0);
    set_frequencies(&m, {0, 1, 2}, {1, 1, 3798});
    m.rescales_before_rebuild = 1;
    set_decoder(0x0000);
    EXPECT_EQ(decode_symbol(&m), 2);
    EXPECT_EQ(symbols(m), (std::vector<int>{2, 1, 0}));
    EXPECT_EQ(cumulatives(m), (std::vector<int>{1905, 2, 1, 0}));
}

TEST_F(DecoderModels, MiddleHalfNarrowingFlipsCodeBit14UntilItEnds)
{
    // One middle-half step: [0x4000, 0xBFFF] opens to the whole range.
    set_decoder(0x5555, 0x80);
    arith_narrow(1, 3, 4);
    EXPECT_EQ(arith_low, 0);
    EXPECT_EQ(arith_high, 0xFFFF);
    EXPECT_EQ(bit_register >> 16, ((0x5555u ^ 0x4000u) << 1 | 1u) & 0xFFFFu);

    // [0x6000, 0x9FFF] takes two.
    set_decoder(0x7000, 0x00);
    arith_narrow(3, 5, 8);
    EXPECT_EQ(arith_low, 0);
    EXPECT_EQ(arith_high, 0xFFFF);
    const DWORD once = ((0x7000u ^ 0x4000u) << 1) & 0xFFFFu;
    EXPECT_EQ(bit_register >> 16, ((once ^ 0x4000u) << 1) & 0xFFFFu);
}

TEST_F(DecoderModels, RawBitsComeFromTheCurrentByteAndLeaveTheCodeAlone)
{
    bit_register = 0x1234A501;
    EXPECT_EQ(read_raw_bits(0), 0u);
    EXPECT_EQ(bit_register, 0x1234A501u);
    EXPECT_EQ(read_raw_bits(4), 0xAu);
    EXPECT_EQ(bit_register, 0x12345010u);
    // The next four finish the byte; the next byte is fetched at once.
    EXPECT_EQ(read_raw_bits(4), 0x5u);
    EXPECT_EQ(bit_register >> 16, 0x1234u);
    EXPECT_EQ(bit_register & 0xFF, 1u);
}

TEST_F(DecoderModels, ScanStaysInsideTheModelForAnyCodeWord)
{
    // Code words outside the interval only come from damaged streams; the
    // symbol must still be one of the model's, never an entry beyond it.
    std::mt19937 rng(7);
    for (int round = 0; round < 20000; ++round) {
        AdaptiveModel m;
        const int n = 1 + static_cast<int>(rng() % 64);
        reset_model(&m, n, 0);
        for (int k = 0; k < 4; ++k) {
            WORD a = static_cast<WORD>(rng());
            WORD b = static_cast<WORD>(rng());
            arith_low = a < b ? a : b;
            arith_high = a < b ? b : a;
            bit_register = (rng() & 0xFFFFFF00u) | 1;
            const int symbol = decode_symbol(&m);
            ASSERT_GE(symbol, 0);
            ASSERT_LT(symbol, n);
        }
    }
}

}  // namespace
}  // namespace upkit::test
