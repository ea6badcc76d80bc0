// The demo kit as built (tests/data/kits) and its resources, for the tests
// of the decoders and of whole kits.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "resource_entry.h"
#include "test_images.h"

namespace upkit::test {

// "win32" or "win64".
Bytes demo_kit_bytes(const std::string& arch);
std::vector<pe::Resource> demo_kit_resources(const std::string& arch);

// The resource of that type and name; fails the test when there is none.
const pe::Resource& resource_of(const std::vector<pe::Resource>& resources, const pe::ResourceKey& type,
                                const pe::ResourceKey& name);
const Bytes& demo_resource_data(const std::string& arch, std::uint16_t type, std::uint16_t id);

}  // namespace upkit::test
