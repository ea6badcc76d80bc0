// The resource section writer: what it writes reads back through the PE
// reader resource for resource, and a kit runtime given resources stays a
// well-formed image that can be given new ones again.

#include <gtest/gtest.h>

#include <algorithm>

#include "pe_image.h"
#include "resource_reader.h"
#include "resource_section_writer.h"
#include "test_files.h"

using namespace upkit::pe;
using upkit::test::read_file;
using upkit::test::test_data;

namespace {

using Bytes = std::vector<std::uint8_t>;

Resource make(ResourceKey type, ResourceKey name, std::uint16_t language, Bytes data)
{
    Resource out;
    out.type = std::move(type);
    out.name = std::move(name);
    out.language = language;
    out.data = std::move(data);
    return out;
}

// A mixed set: named and numbered types and names, two languages of one
// name, sizes that are not multiples of the data alignment, an empty one.
std::vector<Resource> sample_resources()
{
    return {
        make(ResourceKey::of(kTypeRcData), ResourceKey::named("WINDOWLIST"), 1033, {0, 0}),
        make(ResourceKey::named("ARCHIVE"), ResourceKey::of(2002), 1033, Bytes(5, 0xA5)),
        make(ResourceKey::of(kTypeRcData), ResourceKey::named("APPVERSIONS"), 1033, {1, 2, 3}),
        make(ResourceKey::named("ARCHIVE"), ResourceKey::of(2001), 1033, Bytes(4097, 0x5A)),
        make(ResourceKey::of(kTypeString), ResourceKey::of(63), 1031, Bytes(32, 7)),
        make(ResourceKey::of(kTypeString), ResourceKey::of(63), 1033, Bytes(31, 8)),
        make(ResourceKey::of(kTypeVersion), ResourceKey::of(1), 1033, {}),
        make(ResourceKey::named("K\xC3\xA4RTE"), ResourceKey::named("NAME"), 0, {9}),
    };
}

// The order a resource directory must have, for comparing.
std::vector<Resource> in_directory_order(std::vector<Resource> resources)
{
    std::stable_sort(resources.begin(), resources.end(), [](const Resource& a, const Resource& b) {
        if (a.type != b.type)
            return a.type < b.type;
        if (a.name != b.name)
            return a.name < b.name;
        return a.language < b.language;
    });
    return resources;
}

void expect_same(const std::vector<Resource>& read, const std::vector<Resource>& written)
{
    const std::vector<Resource> expected = in_directory_order(written);
    ASSERT_EQ(read.size(), expected.size());
    for (std::size_t i = 0; i < read.size(); ++i) {
        SCOPED_TRACE(expected[i].type.describe() + "/" + expected[i].name.describe());
        EXPECT_EQ(read[i].type, expected[i].type);
        EXPECT_EQ(read[i].name, expected[i].name);
        EXPECT_EQ(read[i].language, expected[i].language);
        EXPECT_EQ(read[i].data, expected[i].data);
    }
}

Bytes runtime(const char* arch)
{
    return read_file(test_data(std::string("kits/kit-runtime-") + arch + ".exe"));
}

std::uint32_t u32(const Bytes& b, std::size_t at)
{
    return b[at] | b[at + 1] << 8 | b[at + 2] << 16 | std::uint32_t(b[at + 3]) << 24;
}

std::size_t checksum_offset(const Bytes& image)
{
    return u32(image, 0x3C) + 4 + 20 + 64;
}

}  // namespace

TEST(ResourceSection, ReadsBackInDirectoryOrderWithEveryByte)
{
    const std::vector<Resource> resources = sample_resources();
    for (const char* arch : {"win32", "win64"}) {
        SCOPED_TRACE(arch);
        const Bytes kit = attach_resource_section(runtime(arch), resources, AttachOptions{});
        const PeImage image(kit);
        expect_same(read_resources(image), resources);
    }
}

TEST(ResourceSection, CountsNamedEntriesApartFromIdsAndPlacesDataAligned)
{
    const std::uint32_t rva = 0x3000;
    const Bytes section = encode_resource_section(sample_resources(), rva);
    // Root: two named types (ARCHIVE, KÄRTE) then three numbered (6, 10, 16).
    EXPECT_EQ(section[12] | section[13] << 8, 2);
    EXPECT_EQ(section[14] | section[15] << 8, 3);
    // The first root entry names ARCHIVE: high bit set, offset of its name.
    const std::uint32_t first = u32(section, 16);
    ASSERT_TRUE(first & 0x80000000u);
    const std::size_t name_at = first & 0x7FFFFFFFu;
    EXPECT_EQ(section[name_at], 7);
    EXPECT_EQ(section[name_at + 2], 'A');
    // Each data entry's address is 8-byte aligned within the section, and
    // its bytes are there.
    const Bytes big(4097, 0x5A);
    const auto found = std::search(section.begin(), section.end(), big.begin(), big.end());
    ASSERT_NE(found, section.end());
    EXPECT_EQ((found - section.begin()) % 8, 0);
    EXPECT_EQ(section.size() % 8, 0u);
}

TEST(ResourceSection, RefusesTheSameResourceTwice)
{
    std::vector<Resource> resources = sample_resources();
    resources.push_back(resources.front());
    EXPECT_THROW(encode_resource_section(resources, 0x1000), ImageWriteError);
}

TEST(AttachResources, UpdatesTheHeadersTheLoaderChecks)
{
    const Bytes bare = runtime("win32");
    const PeImage before(bare);
    AttachOptions options;
    options.time_stamp = 0x12345678;
    const Bytes kit = attach_resource_section(bare, sample_resources(), options);
    const PeImage after(kit);

    EXPECT_EQ(after.sections().size(), before.sections().size() + 1);
    EXPECT_EQ(after.coff().time_stamp, 0x12345678u);
    const Section& added = after.sections().back();
    EXPECT_EQ(added.name, ".rsrc");
    EXPECT_EQ(added.virtual_address % after.optional().section_alignment, 0u);
    EXPECT_EQ(added.raw_offset % after.optional().file_alignment, 0u);
    EXPECT_EQ(kit.size(), std::size_t(added.raw_offset) + added.raw_size);
    EXPECT_GE(after.optional().size_of_image, added.virtual_address + added.virtual_size);
    EXPECT_EQ(after.optional().size_of_image % after.optional().section_alignment, 0u);

    // The checksum: 16-bit one's-complement sum of the file without the
    // field, plus the file's length.
    const std::size_t field = checksum_offset(kit);
    std::uint32_t sum = 0;
    for (std::size_t i = 0; i + 1 < kit.size(); i += 2) {
        if (i == field || i == field + 2)
            continue;
        sum += kit[i] | kit[i + 1] << 8;
        sum = (sum & 0xFFFF) + (sum >> 16);
    }
    EXPECT_EQ(u32(kit, field), sum + kit.size());
}

TEST(AttachResources, ReplacesResourcesItAddedBefore)
{
    const Bytes bare = runtime("win64");
    const std::vector<Resource> first = sample_resources();
    const std::vector<Resource> second = {make(ResourceKey::of(kTypeRcData), ResourceKey::named("X"), 1033, {1})};
    const Bytes once = attach_resource_section(bare, second, {});
    const Bytes twice = attach_resource_section(attach_resource_section(bare, first, {}), second, {});
    EXPECT_EQ(once, twice);
}

TEST(AttachResources, RefusesImagesItCannotExtendSafely)
{
    const Bytes bare = runtime("win32");
    Bytes with_overlay = bare;
    with_overlay.insert(with_overlay.end(), {'S', 'I', 'G', 'N'});
    EXPECT_THROW(attach_resource_section(with_overlay, {}, {}), ImageWriteError);

    Bytes not_pe = bare;
    not_pe[0] = 'X';
    EXPECT_THROW(attach_resource_section(not_pe, {}, {}), ImageWriteError);

    EXPECT_THROW(attach_resource_section(Bytes(bare.begin(), bare.begin() + 0x100), {}, {}), ImageWriteError);

    // A section table that fills the headers leaves no room for another.
    Bytes crowded = bare;
    const std::size_t headers_size_at = u32(crowded, 0x3C) + 4 + 20 + 60;
    const std::size_t sections_at = u32(crowded, 0x3C) + 4 + 20 + (crowded[u32(crowded, 0x3C) + 4 + 16] |
                                                                   crowded[u32(crowded, 0x3C) + 4 + 17] << 8);
    const std::uint16_t count = crowded[u32(crowded, 0x3C) + 6] | crowded[u32(crowded, 0x3C) + 7] << 8;
    const std::uint32_t tight = static_cast<std::uint32_t>(sections_at + count * 40);
    for (int i = 0; i < 4; ++i)
        crowded[headers_size_at + i] = static_cast<std::uint8_t>(tight >> (8 * i));
    EXPECT_THROW(attach_resource_section(crowded, {}, {}), ImageWriteError);
}
