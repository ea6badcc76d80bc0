#include "arith_encoder.h"

#include <stdexcept>

#include "decoder_models.h"
#include "invariant.h"

namespace upkit {

void ArithEncoder::encode(std::uint32_t lo, std::uint32_t hi, std::uint32_t total)
{
    // A symbol's part of an ordered model's total, as the decoder finds it.
    UPKIT_ASSERT(lo < hi && hi <= total && total <= kModelTotalLimit);
    // Renormalising leaves the interval over a quarter of 2^16 wide, so every
    // symbol of a model within the limit keeps a part of it.
    UPKIT_ASSERT(high_ - low_ >= 0x4000);
    const std::uint32_t range = static_cast<std::uint32_t>(high_ - low_) + 1;
    high_ = static_cast<std::uint16_t>(low_ + (hi * range) / total - 1);
    low_ = static_cast<std::uint16_t>(low_ + (lo * range) / total);
    for (;;) {
        if (!((low_ ^ high_) & 0x8000)) {
            emit_with_pending(high_ >> 15);
        } else if ((low_ & 0x4000) && !(high_ & 0x4000)) {
            // Straddling the middle half: the next bit is not known yet, only
            // that the one after it will be its opposite.
            ++pending_;
            low_ &= 0x3FFF;
            high_ |= 0x4000;
        } else {
            return;
        }
        low_ = static_cast<std::uint16_t>(low_ << 1);
        high_ = static_cast<std::uint16_t>((high_ << 1) | 1);
        ++shifts_;
    }
}

void ArithEncoder::raw_bits(std::uint32_t value, int count)
{
    if (count <= 0)
        return;
    raw_.push_back({shifts_ + 16, value, count});
    raw_total_ += static_cast<std::uint64_t>(count);
}

void ArithEncoder::emit_with_pending(int bit)
{
    emit_arith_bit(bit);
    for (; pending_; --pending_)
        emit_arith_bit(!bit);
}

void ArithEncoder::emit_arith_bit(int bit)
{
    drain_raw(arith_bits_);
    put_bit(bit);
    ++arith_bits_;
}

void ArithEncoder::drain_raw(std::uint64_t up_to)
{
    while (!raw_.empty() && raw_.front().position <= up_to) {
        const RawBits& r = raw_.front();
        for (int i = r.count - 1; i >= 0; --i)
            put_bit((r.value >> i) & 1);
        raw_.pop_front();
    }
}

void ArithEncoder::put_bit(int bit)
{
    current_ = (current_ << 1) | static_cast<std::uint32_t>(bit);
    if (++filled_ == 8) {
        bytes_.push_back(static_cast<std::uint8_t>(current_));
        current_ = 0;
        filled_ = 0;
    }
}

std::vector<std::uint8_t> ArithEncoder::finish()
{
    // Two more bits select a value inside the final interval, whatever bits
    // follow them.
    ++pending_;
    emit_with_pending((low_ & 0x4000) ? 1 : 0);
    // The decoder's code word runs 16 bits ahead of its shifts.
    while (arith_bits_ < shifts_ + 16)
        emit_arith_bit(0);
    drain_raw(arith_bits_);

    const std::uint64_t bits = static_cast<std::uint64_t>(bytes_.size()) * 8 + static_cast<std::uint64_t>(filled_);
    if (bits != decoder_bit_position())
        throw std::logic_error("arithmetic encoder lost track of the decoder's position");
    // The decoder fetches the next byte as soon as it has taken the last bit
    // of the one before, so the byte holding position `bits` is fetched too.
    do
        put_bit(0);
    while (filled_ != 0);
    return std::move(bytes_);
}

}  // namespace upkit
