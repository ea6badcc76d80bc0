// Adaptive frequency models and the arithmetic decoder over the bit register.
//
// A model keeps its symbols as entries of (cumulative, symbol), cumulatives
// strictly decreasing down to the end entry, whose cumulative is always 0.
// Entry i owns the interval [c[i+1], c[i]) of the model's total c[0].
#pragma once

#include "item_format.h"
#include "win32_api.h"

struct ModelEntry {
    WORD cumulative;
    WORD symbol;
};

const int kMaxModelSymbols = 64;
static_assert(kSelectorSymbols <= kMaxModelSymbols && kLiteralModelSymbols <= kMaxModelSymbols &&
                  kLengthSlots <= kMaxModelSymbols && kPositionSlots <= kMaxModelSymbols,
              "the symbols of every model fit its entries");

struct AdaptiveModel {
    int symbol_count;
    int rescales_before_rebuild;
    ModelEntry entries[kMaxModelSymbols + 1];
};

// A model is rescaled as soon as its total passes this.
const unsigned kModelTotalLimit = 3800;
// What a decoded symbol adds to its frequency.
const unsigned kModelIncrement = 8;

extern const BYTE length_extra_bits[kLengthSlots];
extern const BYTE position_extra_bits[kPositionSlots];
extern DWORD length_base[kLengthSlots];
extern DWORD position_base[kPositionSlots];

// The nine models of the open archive.
extern AdaptiveModel selector_model;
extern AdaptiveModel literal_models[kLiteralModels];
extern AdaptiveModel length_model;
extern AdaptiveModel match3_position_model;
extern AdaptiveModel match4_position_model;
extern AdaptiveModel long_match_position_model;

// Fills length_base and position_base from the extra-bit tables.
void compute_slot_bases();

// Computes the slot bases, sizes the position models for the window and puts
// all nine models into their initial state.
void initialise_models(DWORD window_size);

// Number of position slots whose base lies below the limit (bases computed).
int position_slots_below(DWORD limit);

// Sets a model to N symbols first_symbol .. first_symbol+N-1, each with
// frequency 1.
void reset_model(AdaptiveModel* model, int symbol_count, int first_symbol);

// Halves the model, or every so often rebuilds it sorted by frequency.
void rescale_model(AdaptiveModel* model);

// Whether the model keeps the rule of its entries: cumulatives strictly
// decreasing down to the end entry's 0. For checks only.
inline bool model_is_ordered(const AdaptiveModel* model)
{
    const ModelEntry* e = model->entries;
    if (e[model->symbol_count].cumulative != 0)
        return false;
    for (int i = 0; i < model->symbol_count; ++i) {
        if (e[i].cumulative <= e[i + 1].cumulative)
            return false;
    }
    return true;
}

// The slot of the model interval that the code word points into, as a signed
// 16-bit value. Only meaningful for a code word inside the interval.
short arith_target(DWORD total);

// Narrows the interval to [lo, hi) of total and renormalises, taking bits
// from the register.
void arith_narrow(DWORD lo, DWORD hi, DWORD total);

short decode_symbol(AdaptiveModel* model);

DWORD read_raw_bits(int count);
