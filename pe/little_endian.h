// Little-endian numbers at byte offsets, and the one overflow-safe test that
// every read of untrusted data goes through first.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

namespace upkit::pe {

// Whether `count` bytes starting at `offset` lie within `size` bytes, without
// the sum overflowing.
inline bool fits(std::uint64_t size, std::uint64_t offset, std::uint64_t count)
{
    return offset <= size && count <= size - offset;
}

// The caller has checked with fits() that the bytes are there.
inline std::uint16_t load_u16(std::span<const std::uint8_t> bytes, std::size_t at)
{
    return static_cast<std::uint16_t>(bytes[at] | (bytes[at + 1] << 8));
}

inline std::uint32_t load_u32(std::span<const std::uint8_t> bytes, std::size_t at)
{
    return static_cast<std::uint32_t>(load_u16(bytes, at)) | (static_cast<std::uint32_t>(load_u16(bytes, at + 2)) << 16);
}

inline std::uint64_t load_u64(std::span<const std::uint8_t> bytes, std::size_t at)
{
    return static_cast<std::uint64_t>(load_u32(bytes, at)) | (static_cast<std::uint64_t>(load_u32(bytes, at + 4)) << 32);
}

}  // namespace upkit::pe
