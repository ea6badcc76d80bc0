// The resource section writer: what it writes reads back through the PE
// reader resource for resource, a kit runtime given resources stays a
// well-formed image that can be given new ones again, and a damaged runtime
// is refused with a message saying what is wrong.

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>

#include "little_endian.h"
#include "pe_image.h"
#include "resource_reader.h"
#include "resource_section_writer.h"
#include "test_files.h"

using namespace upkit::pe;
using upkit::load_u16;
using upkit::load_u32;
using upkit::store_u16;
using upkit::store_u32;
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

std::size_t checksum_offset(const Bytes& image)
{
    return PeImage(image).optional_header_offset() + optional_header::kChecksum;
}

// The message of the ImageWriteError that attaching resources to `image`
// throws; fails the test when none is thrown.
std::string attach_error(const Bytes& image)
{
    try {
        attach_resource_section(image, sample_resources(), {});
    } catch (const ImageWriteError& e) {
        return e.what();
    }
    ADD_FAILURE() << "no ImageWriteError";
    return {};
}

// A PE32 image of `count` sections without file data, the first one a page
// in memory, its headers just large enough for one more section header, and
// no resources.
Bytes image_of_empty_sections(std::size_t count)
{
    const std::size_t pe = dos_header::kSize;
    const std::size_t coff = pe + pe_signature::kSize;
    const std::size_t optional = coff + coff_header::kSize;
    const std::size_t optional_size = optional_header::kDirectoriesPe32 + kMaxDataDirectories * data_directory::kSize;
    const std::size_t table = optional + optional_size;
    const std::size_t headers = (table + (count + 1) * section_header::kSize + 0x1FF) / 0x200 * 0x200;
    Bytes image(headers, 0);
    image[0] = 'M';
    image[1] = 'Z';
    store_u32(image, dos_header::kPeHeaderPointer, static_cast<std::uint32_t>(pe));
    image[pe] = 'P';
    image[pe + 1] = 'E';
    store_u16(image, coff + coff_header::kMachine, kMachineI386);
    store_u16(image, coff + coff_header::kSectionCount, static_cast<std::uint16_t>(count));
    store_u16(image, coff + coff_header::kOptionalHeaderSize, static_cast<std::uint16_t>(optional_size));
    store_u16(image, optional + optional_header::kMagic, kMagicPe32);
    store_u32(image, optional + optional_header::kSectionAlignment, 0x1000);
    store_u32(image, optional + optional_header::kFileAlignment, 0x200);
    store_u32(image, optional + optional_header::kSizeOfHeaders, static_cast<std::uint32_t>(headers));
    store_u32(image, optional + optional_header::kDirectoryCountPe32, kMaxDataDirectories);
    for (std::size_t i = 0; i < count; ++i)
        image[table + i * section_header::kSize] = 'S';
    store_u32(image, table + section_header::kVirtualSize, 0x1000);
    store_u32(image, table + section_header::kVirtualAddress, 0x1000);
    return image;
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
    EXPECT_EQ(load_u16(section, resource_directory::kNamedEntryCount), 2);
    EXPECT_EQ(load_u16(section, resource_directory::kIdEntryCount), 3);
    // The first root entry names ARCHIVE: high bit set, offset of its name.
    const std::uint32_t first = load_u32(section, resource_directory::kSize + resource_directory_entry::kName);
    ASSERT_TRUE(first & resource_directory_entry::kNameIsString);
    const std::size_t name_at = first & ~resource_directory_entry::kNameIsString;
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
    EXPECT_EQ(load_u32(kit, field), sum + kit.size());
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
    const PeImage image(bare);
    const std::size_t table_end = image.section_table_offset() + image.sections().size() * section_header::kSize;
    store_u32(crowded, image.optional_header_offset() + optional_header::kSizeOfHeaders,
              static_cast<std::uint32_t>(table_end));
    EXPECT_NE(attach_error(crowded).find("no room for another section header"), std::string::npos);
}

// Damaged runtimes, with and without a resource section to replace: the
// writer takes every offset it patches from the checked headers, so each is
// refused before anything is written, never with a write past the bytes.
TEST(AttachResources, RefusesDamagedRuntimesSayingWhatIsWrong)
{
    const Bytes bare = runtime("win32");
    const Bytes kit = attach_resource_section(bare, sample_resources(), {});
    struct Case {
        std::string name;
        const Bytes& image;
        std::function<void(Bytes&, const PeImage&)> damage;
        std::string words;
    };
    const auto section = [](const PeImage& image, std::size_t index) {
        return image.section_table_offset() + index * section_header::kSize;
    };
    const auto last_section = [&](const PeImage& image) { return section(image, image.sections().size() - 1); };
    const std::vector<Case> cases = {
        {"no PE signature", bare, [](Bytes& b, const PeImage& i) { b[i.pe_header_offset()] = 'N'; }, "no PE signature"},
        {"a section table past the end of the file", kit,
         [](Bytes& b, const PeImage& i) { store_u16(b, i.coff_header_offset() + coff_header::kSectionCount, 0xFFFF); },
         "section table (65535 sections"},
        {"an unknown optional header", bare,
         [](Bytes& b, const PeImage& i) { store_u16(b, i.optional_header_offset() + optional_header::kMagic, 0x0107); },
         "magic 0x0107"},
        {"data directories beyond the optional header", kit,
         [](Bytes& b, const PeImage& i) {
             store_u16(b, i.coff_header_offset() + coff_header::kOptionalHeaderSize,
                       optional_header::kDirectoriesPe32 + 4 * data_directory::kSize);
         },
         "too short for the 16 data directories"},
        {"no resource directory entry", kit,
         [](Bytes& b, const PeImage& i) {
             store_u32(b, i.optional_header_offset() + optional_header::kDirectoryCountPe32, kResourceDirectory);
         },
         "no resource directory entry"},
        {"a resource directory outside the image", kit,
         [](Bytes& b, const PeImage& i) {
             store_u32(b, i.data_directory_offset(kResourceDirectory) + data_directory::kRva, 0x7FFFF000);
         },
         "resources are not in its last section"},
        {"resources given to a runtime without a section for them", bare,
         [](Bytes& b, const PeImage& i) {
             store_u32(b, i.data_directory_offset(kResourceDirectory) + data_directory::kRva, 0x1000);
         },
         "resources are not in its last section"},
        {"a section table past the headers", bare,
         [&](Bytes& b, const PeImage& i) {
             store_u32(b, i.optional_header_offset() + optional_header::kSizeOfHeaders,
                       static_cast<std::uint32_t>(last_section(i)));
         },
         "runs past the end of the headers"},
        {"section data over the section table", kit,
         [&](Bytes& b, const PeImage& i) {
             store_u32(b, section(i, 0) + section_header::kRawOffset, static_cast<std::uint32_t>(section(i, 1)));
         },
         "runs past the end of the headers"},
        // The old resource section is cut off the end of the file: its data
        // must not begin inside the headers the writer patches afterwards.
        {"resource data from the start of the file", kit,
         [&](Bytes& b, const PeImage& i) {
             store_u32(b, last_section(i) + section_header::kRawOffset, 0);
             store_u32(b, last_section(i) + section_header::kRawSize, static_cast<std::uint32_t>(b.size()));
         },
         "resource section begins inside its headers"},
        {"resource data from inside the section table", kit,
         [&](Bytes& b, const PeImage& i) {
             const std::size_t from = section(i, 1);
             store_u32(b, last_section(i) + section_header::kRawOffset, static_cast<std::uint32_t>(from));
             store_u32(b, last_section(i) + section_header::kRawSize, static_cast<std::uint32_t>(b.size() - from));
         },
         "resource section begins inside its headers"},
    };
    for (const Case& c : cases) {
        Bytes damaged = c.image;
        c.damage(damaged, PeImage(c.image));
        const std::string message = attach_error(damaged);
        EXPECT_NE(message.find(c.words), std::string::npos) << c.name << ": " << message;
    }
}

// The section count is 16 bits: an image with 65535 sections gets no other,
// one with a section less gets its last.
TEST(AttachResources, RefusesAnotherSectionOnlyWhenTheCountIsFull)
{
    EXPECT_NE(attach_error(image_of_empty_sections(0xFFFF)).find("the section table is full (65535 sections)"),
              std::string::npos);

    const Bytes kit = attach_resource_section(image_of_empty_sections(0xFFFE), sample_resources(), {});
    const PeImage image(kit);
    EXPECT_EQ(image.coff().section_count, 0xFFFF);
    EXPECT_EQ(image.sections().back().name, ".rsrc");
    expect_same(read_resources(image), sample_resources());
}
