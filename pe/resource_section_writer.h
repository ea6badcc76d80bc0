// Gives a PE image a new resource section: the way a kit is made from the
// prebuilt runtime, with no linker or resource compiler involved.
#pragma once

#include <cstdint>
#include <span>
#include <stdexcept>
#include <vector>

#include "resource_entry.h"

namespace upkit::pe {

// An image the writer cannot work on; the message says why.
class ImageWriteError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// The bytes of a resource section placed at `section_rva`: the three
// directory levels (type, name, language; names before ids, each in
// ascending order), the data entries, the names, then each resource's data
// on an 8-byte boundary. Throws ImageWriteError for two resources with the
// same type, name and language.
std::vector<std::uint8_t> encode_resource_section(const std::vector<Resource>& resources, std::uint32_t section_rva);

struct AttachOptions {
    std::uint32_t time_stamp = 0;  // the file header's link time
};

// `image` with `resources` as its resource section. A resource section that
// is the image's last section is replaced; the new one goes after the last
// section, and the headers are updated: section count, image size,
// initialised data size, the resource directory entry, the time stamp and
// the checksum. Refuses (ImageWriteError) an image that PeImage refuses (the
// message says what is damaged), has no room for another section header,
// keeps a resource section elsewhere, or carries data after its last section
// (a signature, symbols).
std::vector<std::uint8_t> attach_resource_section(std::span<const std::uint8_t> image,
                                                  const std::vector<Resource>& resources, const AttachOptions& options);

// The PE checksum of an image whose checksum field is at `checksum_offset`.
std::uint32_t pe_checksum(std::span<const std::uint8_t> image, std::size_t checksum_offset);

}  // namespace upkit::pe
