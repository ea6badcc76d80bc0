#include "demo_kit.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <stdexcept>

#include "pe_image.h"
#include "resource_reader.h"
#include "test_files.h"

namespace upkit::test {

Bytes demo_kit_bytes(const std::string& arch)
{
    return read_file(test_data("kits/demo-kit-" + arch + ".exe"));
}

std::vector<pe::Resource> demo_kit_resources(const std::string& arch)
{
    const Bytes bytes = demo_kit_bytes(arch);
    return pe::read_resources(pe::PeImage(bytes));
}

const pe::Resource& resource_of(const std::vector<pe::Resource>& resources, const pe::ResourceKey& type,
                                const pe::ResourceKey& name)
{
    const auto it = std::find_if(resources.begin(), resources.end(),
                                 [&](const pe::Resource& r) { return r.type == type && r.name == name; });
    if (it == resources.end())
        throw std::runtime_error("no resource " + type.describe() + "/" + name.describe());
    return *it;
}

const Bytes& demo_resource_data(const std::string& arch, std::uint16_t type, std::uint16_t id)
{
    static std::map<std::string, std::vector<pe::Resource>> kits;
    if (!kits.count(arch))
        kits[arch] = demo_kit_resources(arch);
    return resource_of(kits[arch], pe::ResourceKey::of(type), pe::ResourceKey::of(id)).data;
}

}  // namespace upkit::test
