// PE images made in tests, independently of the code under test: a minimal
// 32-bit image around a given resource section and resource sections laid
// out from a list of resources, both written at the named offsets of
// pe_image.h (which the tests of linker-made images check), and checked
// little-endian reads and writes for hand-made (malformed) data.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "resource_entry.h"

namespace upkit::test {

using Bytes = std::vector<std::uint8_t>;

// Where test images keep their one section.
const std::uint32_t kTestSectionRva = 0x1000;
const std::uint32_t kTestSectionFileOffset = 0x200;

// These throw std::out_of_range for an offset outside the bytes instead of
// writing or reading past them.
void put16(Bytes& bytes, std::size_t at, std::uint16_t value);
void put32(Bytes& bytes, std::size_t at, std::uint32_t value);
std::uint16_t get16(std::span<const std::uint8_t> bytes, std::size_t at);
std::uint32_t get32(std::span<const std::uint8_t> bytes, std::size_t at);

// A PE32 image for i386 whose one section, ".rsrc" at kTestSectionRva and
// file offset kTestSectionFileOffset, holds `section`; the resource directory
// entry points at the section's start.
Bytes image_with_resource_section(std::span<const std::uint8_t> section);

// A resource section at `section_rva` holding `resources`: the three
// directory levels (names before ids, each in ascending order), the names,
// the data entries, then the data on 8-byte boundaries.
Bytes resource_section(const std::vector<pe::Resource>& resources, std::uint32_t section_rva = kTestSectionRva);

// Both together: an image carrying `resources`.
Bytes image_with_resources(const std::vector<pe::Resource>& resources);

// The UTF-16 form of ASCII text, as dialog and version data hold it.
Bytes utf16(const std::string& ascii, bool with_nul = true);

}  // namespace upkit::test
