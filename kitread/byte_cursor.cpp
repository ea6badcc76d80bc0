#include "byte_cursor.h"

#include <fmt/format.h>

#include "invariant.h"
#include "little_endian.h"
#include "text_codec.h"

namespace upkit::kitread {

void ByteCursor::need(std::size_t count, std::string_view field) const
{
    // Every read and move stops at the end: remaining() cannot wrap.
    UPKIT_ASSERT(at_ <= data_.size());
    if (count > remaining())
        fail(field, fmt::format("runs past the end of the data ({} bytes)", data_.size()));
}

void ByteCursor::fail(std::string_view field, std::string_view problem) const
{
    throw DecodeError(fmt::format("{}: {} at offset 0x{:X} {}", what_, field, at_, problem));
}

std::uint8_t ByteCursor::u8(std::string_view field)
{
    need(1, field);
    return data_[at_++];
}

std::uint16_t ByteCursor::u16(std::string_view field)
{
    need(2, field);
    const std::uint16_t value = load_u16(data_, at_);
    at_ += 2;
    return value;
}

std::uint32_t ByteCursor::u32(std::string_view field)
{
    need(4, field);
    const std::uint32_t value = load_u32(data_, at_);
    at_ += 4;
    return value;
}

std::uint16_t ByteCursor::peek_u16(std::string_view field) const
{
    need(2, field);
    return load_u16(data_, at_);
}

std::span<const std::uint8_t> ByteCursor::bytes(std::size_t count, std::string_view field)
{
    need(count, field);
    const std::span<const std::uint8_t> out = data_.subspan(at_, count);
    at_ += count;
    return out;
}

std::string ByteCursor::utf16z(std::string_view field)
{
    std::size_t end = at_;
    while (end + 1 < data_.size() && load_u16(data_, end) != 0)
        end += 2;
    if (end + 1 >= data_.size())
        fail(field, "has no terminating NUL before the end of the data");
    const std::string text = utf8_from_utf16le(data_.subspan(at_, end - at_));
    at_ = end + 2;
    UPKIT_ASSERT(at_ <= data_.size());  // the NUL's two bytes were there
    return text;
}

void ByteCursor::align(std::size_t alignment)
{
    const std::size_t aligned = (at_ + alignment - 1) / alignment * alignment;
    at_ = aligned < data_.size() ? aligned : data_.size();
}

}  // namespace upkit::kitread
