// The arithmetic encoder that mirrors the archive decoder bit for bit.
//
// The decoder holds 16 bits of the stream in its code word and takes raw bits
// (match extra bits, check values) from the stream position just after them.
// So raw bits that the encoder writes after its k-th interval shift belong
// after arithmetic bit k+15, which the encoder has not produced yet: they wait
// in a queue until the arithmetic bits catch up.
#pragma once

#include <cstdint>
#include <deque>
#include <vector>

namespace upkit {

class ArithEncoder {
public:
    // Codes the interval [lo, hi) of total (total at most the model limit).
    void encode(std::uint32_t lo, std::uint32_t hi, std::uint32_t total);
    // Appends count raw bits of value, most significant first.
    void raw_bits(std::uint32_t value, int count);
    // Ends the stream and returns its bytes: exactly as many as the decoder
    // fetches, its look-ahead included, and not one more.
    std::vector<std::uint8_t> finish();

    // Bits the decoder will have consumed once it has read everything coded
    // so far (its 16-bit code word included).
    std::uint64_t decoder_bit_position() const { return 16 + shifts_ + raw_total_; }

private:
    struct RawBits {
        std::uint64_t position;  // index of the arithmetic bit they precede
        std::uint32_t value;
        int count;
    };

    void emit_arith_bit(int bit);
    void emit_with_pending(int bit);
    void drain_raw(std::uint64_t up_to);
    void put_bit(int bit);

    std::uint16_t low_ = 0;
    std::uint16_t high_ = 0xFFFF;
    std::uint64_t shifts_ = 0;
    std::uint64_t pending_ = 0;
    std::uint64_t arith_bits_ = 0;
    std::uint64_t raw_total_ = 0;
    std::deque<RawBits> raw_;
    std::vector<std::uint8_t> bytes_;
    std::uint32_t current_ = 0;
    int filled_ = 0;
};

}  // namespace upkit
