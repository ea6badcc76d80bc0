// The items of the coded stream, as the decoder reads them and our encoder
// writes them: what each selector symbol stands for, the lengths of the three
// kinds of match, how far back each kind reaches, and the slot counts of the
// length and position models. Plain constants, without the Win32 surface,
// so that the encoder's public headers can name them too.
#pragma once

// Every item starts with a selector symbol. Symbols 0 to 3 are literals: the
// symbol names the literal model that codes the byte, the one for its top two
// bits. The other three are the kinds of match.
const int kLiteralModels = 4;
const int kLiteralModelSymbols = 64;  // the bytes of one literal model
const int kSelectMatch3 = 4;          // a 3-byte match
const int kSelectMatch4 = 5;          // a 4-byte match
const int kSelectLong = 6;            // a long match, its length coded after the selector
const int kSelectorSymbols = 7;

// The literal model, and so the selector symbol, of a byte.
inline int literal_model_of(unsigned value)
{
    return static_cast<int>(value / kLiteralModelSymbols);
}

// Match lengths. A long match codes its length less kMinLongMatch as a
// length slot and the slot's extra bits.
const int kMatch3Length = 3;
const int kMatch4Length = 4;
const int kMinLongMatch = 5;
const int kMaxMatch = 259;
const int kMinMatch = kMatch3Length;  // no match is shorter

// Symbols of the length model, and of the position models at most: a
// position model has the slots whose base lies below its reach.
const int kLengthSlots = 27;
const int kPositionSlots = 42;

// Farther than these, a 3- or 4-byte match cannot reach (nor beyond the
// window); a long match reaches back across the whole window, up to the
// farthest distance of the last position slot.
const unsigned kMatch3Reach = 4096;
const unsigned kMatch4Reach = 262144;
const unsigned kMaxDistance = 2097152;

static_assert(kLiteralModels * kLiteralModelSymbols == 256, "the literal models share the bytes between them");
static_assert(kSelectMatch3 == kLiteralModels, "the match selectors follow the literal ones");
static_assert(kSelectMatch4 == kSelectMatch3 + 1 && kSelectLong == kSelectMatch4 + 1 &&
                  kSelectorSymbols == kSelectLong + 1,
              "one selector symbol for each kind of match, and no other");
static_assert(kMatch4Length == kMatch3Length + 1 && kMinLongMatch == kMatch4Length + 1 && kMinLongMatch < kMaxMatch,
              "the three kinds of match leave no length out");
static_assert(kMatch3Reach < kMatch4Reach && kMatch4Reach < kMaxDistance,
              "a 4-byte match reaches farther than a 3-byte one, a long match farther still");
