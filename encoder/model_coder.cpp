#include "model_coder.h"

#include <array>
#include <cmath>
#include <stdexcept>

#include "invariant.h"

namespace upkit {

std::uint32_t ModelCoder::log2_price(std::uint32_t n)
{
    static const auto table = [] {
        std::array<std::uint16_t, 65536> t{};
        for (std::uint32_t i = 1; i < t.size(); ++i)
            t[i] = static_cast<std::uint16_t>(std::lround(std::log2(static_cast<double>(i)) * kPriceOneBit));
        return t;
    }();
    return table[n & 0xFFFF];
}

void ModelCoder::reset(int symbol_count, int first_symbol)
{
    reset_model(&model_, symbol_count, first_symbol);
    first_symbol_ = first_symbol;
    index_entries();
}

void ModelCoder::index_entries()
{
    for (int i = 0; i < model_.symbol_count; ++i) {
        const int offset = model_.entries[i].symbol - first_symbol_;
        UPKIT_ASSERT(offset >= 0 && offset < model_.symbol_count);  // rescaling only reorders the symbols
        entry_of_[offset] = static_cast<std::uint8_t>(i);
    }
}

void ModelCoder::encode(ArithEncoder& coder, int symbol)
{
    const int offset = symbol - first_symbol_;
    if (offset < 0 || offset >= model_.symbol_count)
        throw std::logic_error("symbol outside its model");
    const ModelEntry* e = model_.entries;
    const int i = entry_of_[offset];
    UPKIT_ASSERT(e[i].symbol == symbol);  // the reverse map follows every rebuild
    coder.encode(e[i + 1].cumulative, e[i].cumulative, e[0].cumulative);
    update(symbol);
}

void ModelCoder::update(int symbol)
{
    const int i = entry_of_[symbol - first_symbol_];
    ModelEntry* e = model_.entries;
    // The decoder's scan adds the increment to every entry up to the found one.
    for (int j = 0; j <= i; ++j)
        e[j].cumulative = static_cast<std::uint16_t>(e[j].cumulative + kModelIncrement);
    if (e[0].cumulative > kModelTotalLimit) {
        rescale_model(&model_);
        index_entries();
    }
    // As the decoder leaves its model: the next symbol is coded with a total
    // within the limit.
    UPKIT_ASSERT(e[0].cumulative <= kModelTotalLimit);
}

}  // namespace upkit
