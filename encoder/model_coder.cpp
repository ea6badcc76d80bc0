#include "model_coder.h"

#include <cmath>
#include <stdexcept>

namespace upkit {

void ModelCoder::reset(int symbol_count, int first_symbol)
{
    reset_model(&model_, symbol_count, first_symbol);
    first_symbol_ = first_symbol;
    index_entries();
}

void ModelCoder::index_entries()
{
    for (int i = 0; i < model_.symbol_count; ++i)
        entry_of_[model_.entries[i].symbol - first_symbol_] = static_cast<std::uint8_t>(i);
}

void ModelCoder::encode(ArithEncoder& coder, int symbol)
{
    const int offset = symbol - first_symbol_;
    if (offset < 0 || offset >= model_.symbol_count)
        throw std::logic_error("symbol outside its model");
    const int i = entry_of_[offset];
    ModelEntry* e = model_.entries;
    coder.encode(e[i + 1].cumulative, e[i].cumulative, e[0].cumulative);
    // The decoder's scan adds the increment to every entry up to the found one.
    for (int j = 0; j <= i; ++j)
        e[j].cumulative = static_cast<std::uint16_t>(e[j].cumulative + kModelIncrement);
    if (e[0].cumulative > kModelTotalLimit) {
        rescale_model(&model_);
        index_entries();
    }
}

std::uint32_t ModelCoder::cost(int symbol) const
{
    const int i = entry_of_[symbol - first_symbol_];
    const ModelEntry* e = model_.entries;
    const double share = static_cast<double>(e[i].cumulative - e[i + 1].cumulative) / e[0].cumulative;
    return static_cast<std::uint32_t>(-std::log2(share) * 256.0 + 0.5);
}

}  // namespace upkit
