// The headers of our demo kit as built for both targets, and images cut
// short or given impossible values: each refused with PeError saying where.

#include <gtest/gtest.h>

#include <functional>

#include "little_endian.h"
#include "pe_image.h"
#include "test_files.h"
#include "test_images.h"

namespace upkit::test {
namespace {

using pe::PeError;
using pe::PeImage;
namespace coff_header = pe::coff_header;
namespace optional_header = pe::optional_header;
namespace section_header = pe::section_header;

Bytes demo_kit(const std::string& arch)
{
    return read_file(test_data("kits/demo-kit-" + arch + ".exe"));
}

// The message of the PeError that parsing `bytes` throws; fails the test when
// none is thrown.
std::string parse_error(const Bytes& bytes)
{
    try {
        PeImage image(bytes);
    } catch (const PeError& e) {
        return e.what();
    }
    ADD_FAILURE() << "no PeError";
    return {};
}

std::vector<std::string> section_names(const PeImage& image)
{
    std::vector<std::string> names;
    for (const pe::Section& section : image.sections())
        names.push_back(section.name);
    return names;
}

TEST(PeImage, ReadsTheHeadersOfThe32BitDemoKit)
{
    const Bytes bytes = demo_kit("win32");
    const PeImage image(bytes);
    EXPECT_EQ(image.coff().machine, pe::kMachineI386);
    EXPECT_EQ(image.coff().time_stamp, 0u);  // linked with --no-insert-timestamp
    EXPECT_FALSE(image.optional().is_pe32_plus());
    EXPECT_EQ(image.optional().image_base, 0x400000u);
    EXPECT_EQ(image.optional().subsystem, pe::kSubsystemWindowsGui);
    EXPECT_EQ(image.optional().subsystem_version_major, 4);
    EXPECT_EQ(image.optional().subsystem_version_minor, 0);
    EXPECT_EQ(image.optional().section_alignment, 0x1000u);
    EXPECT_EQ(image.optional().file_alignment, 0x200u);
    EXPECT_EQ(image.optional().data_directories.size(), 16u);
    EXPECT_EQ(section_names(image),
              (std::vector<std::string>{".text", ".data", ".rdata", ".bss", ".idata", ".rsrc", ".reloc"}));

    // The resource directory is where the section table puts .rsrc.
    const pe::Section& rsrc = image.sections()[5];
    EXPECT_EQ(image.directory(pe::kResourceDirectory).rva, rsrc.virtual_address);
    const pe::FileRange range = image.map_rva(rsrc.virtual_address + 0x10);
    EXPECT_EQ(range.offset, rsrc.raw_offset + 0x10u);
    EXPECT_EQ(range.available, rsrc.virtual_size - 0x10u);  // the virtual size is the smaller here
}

TEST(PeImage, ReadsTheHeadersOfThe64BitDemoKit)
{
    const Bytes bytes = demo_kit("win64");
    const PeImage image(bytes);
    EXPECT_EQ(image.coff().machine, pe::kMachineAmd64);
    EXPECT_TRUE(image.optional().is_pe32_plus());
    EXPECT_EQ(image.optional().image_base, 0x140000000u);
    EXPECT_EQ(image.optional().subsystem, pe::kSubsystemWindowsGui);
    EXPECT_EQ(image.optional().data_directories.size(), 16u);
    EXPECT_EQ(section_names(image).size(), 7u);
    EXPECT_NE(image.directory(pe::kResourceDirectory).rva, 0u);
}

TEST(PeImage, RefusesAnImageCutShortAtEveryHeaderBoundary)
{
    const Bytes bytes = demo_kit("win32");
    const PeImage image(bytes);
    const std::size_t pe = image.pe_header_offset();
    const std::size_t coff = image.coff_header_offset();
    const std::size_t sections_end = image.section_table_offset() + section_header::kSize * image.sections().size();
    const pe::Section& last = image.sections().back();
    const std::vector<std::pair<std::size_t, std::string>> cuts = {
        {0, "too short for an MS-DOS header"},
        {pe::dos_header::kSize - 1, "too short for an MS-DOS header"},
        {pe + pe::pe_signature::kSize - 1, "PE header offset"},
        {coff, "COFF file header"},
        {coff + coff_header::kSize - 1, "COFF file header"},
        {image.optional_header_offset() + optional_header::kDirectoriesPe32 - 1, "optional header"},
        {image.section_table_offset() - 1, "optional header"},  // inside the data directories
        {image.section_table_offset(), "section table"},
        {sections_end - 1, "section table"},
        {last.raw_offset + last.raw_size - 1, "section 7 (.reloc)"},
    };
    for (const auto& [size, words] : cuts) {
        const Bytes cut(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(size));
        EXPECT_NE(parse_error(cut).find(words), std::string::npos) << size << ": " << parse_error(cut);
    }
    // Every length up to the end of the section table fails somewhere.
    for (std::size_t size = 0; size < sections_end; ++size)
        EXPECT_THROW(PeImage(std::span(bytes.data(), size)), PeError) << size;
}

TEST(PeImage, RefusesImpossibleHeaderValues)
{
    const Bytes original = demo_kit("win32");
    const PeImage image(original);
    const std::size_t pe = image.pe_header_offset();
    const std::size_t optional_size = image.coff_header_offset() + coff_header::kOptionalHeaderSize;
    const std::size_t magic = image.optional_header_offset() + optional_header::kMagic;
    // The section header of .rsrc, the sixth section.
    const std::size_t rsrc = image.section_table_offset() + 5 * section_header::kSize;

    struct Case {
        std::string name;
        std::function<void(Bytes&)> damage;
        std::string words;
    };
    const std::vector<Case> cases = {
        {"not MZ", [](Bytes& b) { b[0] = 'Z'; }, "does not begin with \"MZ\""},
        {"PE offset near 4 GiB", [](Bytes& b) { store_u32(b, pe::dos_header::kPeHeaderPointer, 0xFFFFFFFE); },
         "PE header offset 0xFFFFFFFE"},
        {"no PE signature", [&](Bytes& b) { b[pe + 1] = 'X'; }, "no PE signature"},
        {"no optional header", [&](Bytes& b) { store_u16(b, optional_size, 0); }, "no optional header"},
        {"unknown magic", [&](Bytes& b) { store_u16(b, magic, 0x0107); }, "magic 0x0107"},
        {"PE32+ magic in a PE32-sized header",
         [&](Bytes& b) {
             store_u16(b, magic, pe::kMagicPe32Plus);
             store_u16(b, optional_size, 100);
         },
         "too short for a PE32+ header"},
        {"directories beyond the header",
         [&](Bytes& b) {
             store_u16(b, optional_size, optional_header::kDirectoriesPe32 + 4 * pe::data_directory::kSize);
         },
         "too short for the 16 data directories"},
        {"65535 sections",
         [&](Bytes& b) { store_u16(b, image.coff_header_offset() + coff_header::kSectionCount, 0xFFFF); },
         "section table (65535 sections"},
        {"section data past the end", [&](Bytes& b) { store_u32(b, rsrc + section_header::kRawOffset, 0x7FFFFFF0); },
         "section 6 (.rsrc): its data at 0x7FFFFFF0"},
        {"section size past the end", [&](Bytes& b) { store_u32(b, rsrc + section_header::kRawSize, 0xFFFFFFFF); },
         "runs past the end of the file"},
        {"section reaching past 4 GiB",
         [&](Bytes& b) { store_u32(b, rsrc + section_header::kVirtualAddress, 0xFFFFF000); }, "reaches past 4 GiB"},
    };
    for (const Case& c : cases) {
        Bytes bytes = original;
        c.damage(bytes);
        const std::string message = parse_error(bytes);
        EXPECT_NE(message.find(c.words), std::string::npos) << c.name << ": " << message;
    }
}

// Loaders read sixteen directories whatever the count says: a larger count
// is no reason to refuse the image.
TEST(PeImage, ReadsSixteenDirectoriesOfAnyLargerCount)
{
    Bytes bytes = demo_kit("win32");
    const PeImage original(bytes);
    store_u32(bytes, original.optional_header_offset() + optional_header::kDirectoryCountPe32, 0xFFFFFFFF);
    const PeImage image(bytes);
    EXPECT_EQ(image.optional().declared_directory_count, 0xFFFFFFFFu);
    EXPECT_EQ(image.optional().data_directories.size(), 16u);
    EXPECT_EQ(image.directory(pe::kResourceDirectory).rva, original.directory(pe::kResourceDirectory).rva);
    EXPECT_EQ(image.directory(99).rva, 0u);
}

TEST(PeImage, MapsRvasOnlyInsideSectionsAndTheirFileData)
{
    const Bytes bytes = image_with_resource_section(Bytes(0x80, 0xAB));
    const PeImage image(bytes);
    EXPECT_EQ(image.map_rva(kTestSectionRva + 0x10).offset, kTestSectionFileOffset + 0x10u);
    EXPECT_THROW(image.map_rva(kTestSectionRva - 1), PeError);
    EXPECT_THROW(image.map_rva(kTestSectionRva + 0x80), PeError);  // past the virtual size
    EXPECT_EQ(image.data_at(kTestSectionRva + 0x70, 0x10, "x").size(), 0x10u);
    EXPECT_THROW(image.data_at(kTestSectionRva + 0x70, 0x11, "x"), PeError);

    // A section larger in memory than in the file: its tail has no file data.
    Bytes grown = bytes;
    const std::size_t header = PeImage(bytes).section_table_offset();
    store_u32(grown, header + section_header::kVirtualSize, 0x3000);
    const PeImage tail(grown);
    EXPECT_EQ(tail.map_rva(kTestSectionRva + 0x2000).available, 0u);
    try {
        tail.data_at(kTestSectionRva + 0x2000, 4, "the thing");
        ADD_FAILURE() << "no PeError";
    } catch (const PeError& e) {
        EXPECT_NE(std::string(e.what()).find("the thing: its data at RVA 0x3000"), std::string::npos) << e.what();
    }
}

}  // namespace
}  // namespace upkit::test
