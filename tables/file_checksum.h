// The product file checksum's arithmetic, shared by the kit (which reads the
// file with Win32 calls) and the host tools that compute a checksum for a kit
// table.
//
// The checksum of a readable file is the one's complement of the 16-bit
// wrap-around sum of its little-endian 16-bit words, a last odd byte counting
// as a word with a zero high byte. An empty file gives 0xFFFF.
#pragma once

// Adds the (count + 1) / 2 little-endian words at the start of `data` to
// `sum`, modulo 65536. For an odd count the byte after the last one must be
// zero (the kit clears its buffer before every read). The word count is
// 32-bit arithmetic: a failed read's count of 0xFFFFFFFF adds nothing.
inline unsigned short add_checksum_words(unsigned short sum, const unsigned char* data, unsigned int count)
{
    const unsigned int words = (count + 1) / 2;
    unsigned int total = sum;
    for (unsigned int i = 0; i < words; ++i)
        total += static_cast<unsigned int>(data[2 * i]) | (static_cast<unsigned int>(data[2 * i + 1]) << 8);
    return static_cast<unsigned short>(total);
}

inline unsigned short finish_checksum(unsigned short sum)
{
    return static_cast<unsigned short>(sum ^ 0xFFFF);
}
