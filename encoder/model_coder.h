// One adaptive model on the encoder's side: the decoder's own model record
// and update rules, plus the reverse map from symbol to entry that the
// encoder needs (the entries are kept in frequency order, not symbol order).
#pragma once

#include <cstdint>

#include "arith_encoder.h"
#include "decoder_models.h"

namespace upkit {

// Prices are in 1/256 bit.
const std::uint32_t kPriceOneBit = 256;

class ModelCoder {
public:
    void reset(int symbol_count, int first_symbol);
    void encode(ArithEncoder& coder, int symbol);
    // What coding the symbol does to the model, without coding it: the
    // parser plays items through copies of the models to price them.
    void update(int symbol);
    // Cost of coding the symbol now.
    std::uint32_t cost(int symbol) const
    {
        const int i = entry_of_[symbol - first_symbol_];
        const ModelEntry* e = model_.entries;
        return log2_price(e[0].cumulative) - log2_price(e[i].cumulative - e[i + 1].cumulative);
    }
    int symbol_count() const { return model_.symbol_count; }
    int first_symbol() const { return first_symbol_; }

    // log2(n) in 1/256 bit, for 1 <= n < 65536.
    static std::uint32_t log2_price(std::uint32_t n);

private:
    void index_entries();

    AdaptiveModel model_{};
    int first_symbol_ = 0;
    std::uint8_t entry_of_[kMaxModelSymbols] = {};
};

}  // namespace upkit
