// Little-endian numbers in byte buffers: reads at offsets, writes at offsets
// and appends; and the one overflow-safe test that every read of untrusted
// data goes through first.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace upkit {

// Whether `count` bytes starting at `offset` lie within `size` bytes, without
// the sum overflowing.
inline bool fits(std::uint64_t size, std::uint64_t offset, std::uint64_t count)
{
    return offset <= size && count <= size - offset;
}

// Reads and stores: the caller has checked with fits() that the bytes are
// there.
inline std::uint16_t load_u16(std::span<const std::uint8_t> bytes, std::size_t at)
{
    return static_cast<std::uint16_t>(bytes[at] | (bytes[at + 1] << 8));
}

inline std::uint32_t load_u32(std::span<const std::uint8_t> bytes, std::size_t at)
{
    return static_cast<std::uint32_t>(load_u16(bytes, at)) |
           (static_cast<std::uint32_t>(load_u16(bytes, at + 2)) << 16);
}

inline std::uint64_t load_u64(std::span<const std::uint8_t> bytes, std::size_t at)
{
    return static_cast<std::uint64_t>(load_u32(bytes, at)) |
           (static_cast<std::uint64_t>(load_u32(bytes, at + 4)) << 32);
}

inline void store_u16(std::span<std::uint8_t> bytes, std::size_t at, std::uint16_t value)
{
    bytes[at] = static_cast<std::uint8_t>(value);
    bytes[at + 1] = static_cast<std::uint8_t>(value >> 8);
}

inline void store_u32(std::span<std::uint8_t> bytes, std::size_t at, std::uint32_t value)
{
    store_u16(bytes, at, static_cast<std::uint16_t>(value));
    store_u16(bytes, at + 2, static_cast<std::uint16_t>(value >> 16));
}

inline void store_u64(std::span<std::uint8_t> bytes, std::size_t at, std::uint64_t value)
{
    store_u32(bytes, at, static_cast<std::uint32_t>(value));
    store_u32(bytes, at + 4, static_cast<std::uint32_t>(value >> 32));
}

inline void append_u16(std::vector<std::uint8_t>& out, std::uint16_t value)
{
    out.push_back(static_cast<std::uint8_t>(value));
    out.push_back(static_cast<std::uint8_t>(value >> 8));
}

inline void append_u32(std::vector<std::uint8_t>& out, std::uint32_t value)
{
    append_u16(out, static_cast<std::uint16_t>(value));
    append_u16(out, static_cast<std::uint16_t>(value >> 16));
}

// Zero bytes up to the next multiple of `alignment` from the start of `out`.
inline void pad_to(std::vector<std::uint8_t>& out, std::size_t alignment)
{
    while (out.size() % alignment != 0)
        out.push_back(0);
}

}  // namespace upkit
