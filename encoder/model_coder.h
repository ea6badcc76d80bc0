// One adaptive model on the encoder's side: the decoder's own model record
// and update rules, plus the reverse map from symbol to entry that the
// encoder needs (the entries are kept in frequency order, not symbol order).
#pragma once

#include <cstdint>

#include "arith_encoder.h"
#include "decoder_models.h"

namespace upkit {

class ModelCoder {
public:
    void reset(int symbol_count, int first_symbol);
    void encode(ArithEncoder& coder, int symbol);
    // Cost of coding the symbol now, in 1/256 bits (for the parser).
    std::uint32_t cost(int symbol) const;
    int symbol_count() const { return model_.symbol_count; }

private:
    void index_entries();

    AdaptiveModel model_{};
    int first_symbol_ = 0;
    std::uint8_t entry_of_[kMaxModelSymbols] = {};
};

}  // namespace upkit
