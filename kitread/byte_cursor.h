// Reading a resource's bytes front to back. Every read is checked against
// the end of the data; one that runs past it throws DecodeError naming the
// resource, the field and its offset.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "decode_error.h"

namespace upkit::kitread {

class ByteCursor {
public:
    // `what` names the data in messages: "dialog template", ...
    ByteCursor(std::span<const std::uint8_t> data, std::string what) : data_(data), what_(std::move(what)) { }

    std::size_t offset() const { return at_; }
    std::size_t size() const { return data_.size(); }
    std::size_t remaining() const { return data_.size() - at_; }
    bool at_end() const { return at_ == data_.size(); }

    std::uint8_t u8(std::string_view field);
    std::uint16_t u16(std::string_view field);
    std::uint32_t u32(std::string_view field);
    std::int16_t i16(std::string_view field) { return static_cast<std::int16_t>(u16(field)); }
    std::uint16_t peek_u16(std::string_view field) const;
    std::span<const std::uint8_t> bytes(std::size_t count, std::string_view field);

    // A NUL-terminated UTF-16 string, as UTF-8; the cursor ends past the NUL.
    std::string utf16z(std::string_view field);

    // Moves on to the next multiple of `alignment` from the start of the
    // data, or to its end if that comes first: padding after the last item
    // may be left out.
    void align(std::size_t alignment);

    [[noreturn]] void fail(std::string_view field, std::string_view problem) const;

private:
    void need(std::size_t count, std::string_view field) const;

    std::span<const std::uint8_t> data_;
    std::string what_;
    std::size_t at_ = 0;
};

}  // namespace upkit::kitread
