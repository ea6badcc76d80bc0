// The demo kit's resources as our build lays them out, resource sections
// read back whole, and hand-made resource trees that must be refused: loops,
// shared directories, impossible counts, names and data outside the section
// or the image.

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>

#include "little_endian.h"
#include "pe_image.h"
#include "resource_reader.h"
#include "test_files.h"
#include "test_images.h"

namespace upkit::test {
namespace {

using pe::PeError;
using pe::Resource;
using pe::ResourceKey;

const std::uint32_t kSubdirectory = pe::resource_directory_entry::kTargetIsDirectory;
const std::uint32_t kNamed = pe::resource_directory_entry::kNameIsString;

std::vector<Resource> read_image(const Bytes& bytes)
{
    const pe::PeImage image(bytes);
    return pe::read_resources(image);
}

// The message of the PeError that reading the resources throws.
std::string read_error(const Bytes& bytes)
{
    try {
        read_image(bytes);
    } catch (const PeError& e) {
        return e.what();
    }
    ADD_FAILURE() << "no PeError";
    return {};
}

std::string key_text(const ResourceKey& key)
{
    return key.is_id() ? std::to_string(*key.id) : "\"" + key.name + "\"";
}

class DemoKitResources : public ::testing::TestWithParam<std::string> { };

// Types in directory order (named first), names likewise, all in English.
TEST_P(DemoKitResources, AreAllFoundWithTypesNamesAndLanguage)
{
    const std::vector<Resource> resources = read_image(read_file(test_data("kits/demo-kit-" + GetParam() + ".exe")));
    std::vector<std::string> found;
    for (const Resource& r : resources) {
        found.push_back(key_text(r.type) + "/" + key_text(r.name));
        EXPECT_EQ(r.language, pe::kLanguageEnglishUs);
        EXPECT_EQ(r.code_page, 0u);
    }
    EXPECT_EQ(found, (std::vector<std::string>{"\"ARCHIVE\"/2001", "\"ARCHIVE\"/2002", "\"ARCHIVE\"/2003",
                                               "\"ARCHIVE\"/2004", "2/1000", "3/1", "3/2", "5/100", "6/63",
                                               "10/\"APPVERSIONS\"", "10/\"ARCHIVELIST\"", "10/\"REGISTRYLIST\"",
                                               "10/\"WINDOWLIST\"", "14/1000", "16/1"}));
}

// The data of each resource is the file it came from: the picture without
// its 14-byte file header, each icon image as the icon file holds it.
TEST_P(DemoKitResources, CarryTheBytesOfTheirSourceFiles)
{
    const std::vector<Resource> resources = read_image(read_file(test_data("kits/demo-kit-" + GetParam() + ".exe")));
    const auto find = [&](std::uint16_t type, std::uint16_t id) -> const Resource& {
        const auto it = std::find_if(resources.begin(), resources.end(), [&](const Resource& r) {
            return r.type == ResourceKey::of(type) && r.name == ResourceKey::of(id);
        });
        EXPECT_NE(it, resources.end());
        return *it;
    };
    const Bytes bitmap = read_file(fs::path(DEMO_KIT_FOLDER) / "kit.bmp");
    EXPECT_EQ(find(pe::kTypeBitmap, 1000).data, Bytes(bitmap.begin() + 14, bitmap.end()));

    const Bytes icon = read_file(fs::path(DEMO_KIT_FOLDER) / "kit.ico");
    for (std::uint16_t image = 0; image < 2; ++image) {
        const std::size_t entry = 6 + 16 * image;
        const std::size_t size = load_u32(icon, entry + 8);
        const std::size_t offset = load_u32(icon, entry + 12);
        EXPECT_EQ(find(pe::kTypeIcon, image + 1).data,
                  Bytes(icon.begin() + static_cast<std::ptrdiff_t>(offset),
                        icon.begin() + static_cast<std::ptrdiff_t>(offset + size)));
    }
    for (const Resource& r : resources) {
        if (r.type == ResourceKey::named("ARCHIVE")) {
            EXPECT_EQ(std::string(r.data.begin(), r.data.begin() + 2), "KW");
        }
    }
}

INSTANTIATE_TEST_SUITE_P(BothTargets, DemoKitResources, ::testing::Values("win32", "win64"));

TEST(ResourceReader, ReadsBackWhatASectionHolds)
{
    // test_images stores each byte of a name as one UTF-16 unit: "Z\xE9"
    // is U+005A U+00E9.
    const std::vector<Resource> resources = {
        {ResourceKey::named("Archive"), ResourceKey::of(7), 1033, 0, Bytes{'K', 'W', 1}},
        {ResourceKey::of(10), ResourceKey::named("Z\xE9"), 1033, 1252, Bytes(13, 0x5A)},
        {ResourceKey::of(10), ResourceKey::named("A"), 1031, 0, Bytes{}},
        {ResourceKey::of(10), ResourceKey::named("A"), 1033, 0, Bytes{1, 2, 3}},
        {ResourceKey::of(6), ResourceKey::of(63), 1033, 0, Bytes(40, 1)},
    };
    const std::vector<Resource> read = read_image(image_with_resources(resources));
    ASSERT_EQ(read.size(), resources.size());
    // Directory order: named types first, then ids upward; names before ids.
    EXPECT_EQ(read[0].type, ResourceKey::named("Archive"));
    EXPECT_EQ(read[1].type, ResourceKey::of(6));
    EXPECT_EQ(read[2].name, ResourceKey::named("A"));
    EXPECT_EQ(read[2].language, 1031);
    EXPECT_EQ(read[3].data, (Bytes{1, 2, 3}));
    EXPECT_EQ(read[4].name, ResourceKey::named("Z\xC3\xA9"));  // U+00E9 back as UTF-8
    EXPECT_EQ(read[4].code_page, 1252u);
    EXPECT_EQ(read[4].data, Bytes(13, 0x5A));
    EXPECT_TRUE(read[2].data.empty());
}

TEST(ResourceReader, FindsNothingInAnImageWithoutResourceDirectory)
{
    Bytes bytes = image_with_resource_section(Bytes(32, 0));
    const std::size_t directory = pe::PeImage(bytes).data_directory_offset(pe::kResourceDirectory);
    store_u32(bytes, directory + pe::data_directory::kRva, 0);
    store_u32(bytes, directory + pe::data_directory::kDataSize, 0);
    EXPECT_TRUE(read_image(bytes).empty());

    store_u32(bytes, directory + pe::data_directory::kRva, 0x9000);  // in no section
    store_u32(bytes, directory + pe::data_directory::kDataSize, 32);
    EXPECT_NE(read_error(bytes).find("resource directory at RVA 0x9000 lies in no section"), std::string::npos);
}

// Hand-made trees: a root at 0 with one type, directories of one entry each.
// Offsets: root 0x00, its entry 0x10; type directory 0x18, its entry 0x28;
// language directory 0x30, its entry 0x40; data entry 0x48; data 0x58.
Bytes one_resource_tree()
{
    Bytes tree(0x80, 0);
    put16(tree, 0x0E, 1);
    put32(tree, 0x10, 10);
    put32(tree, 0x14, kSubdirectory | 0x18);
    put16(tree, 0x18 + 14, 1);
    put32(tree, 0x28, 5);
    put32(tree, 0x2C, kSubdirectory | 0x30);
    put16(tree, 0x30 + 14, 1);
    put32(tree, 0x40, 1033);
    put32(tree, 0x44, 0x48);
    put32(tree, 0x48, kTestSectionRva + 0x58);
    put32(tree, 0x4C, 8);
    return tree;
}

TEST(ResourceReader, ReadsAHandMadeTree)
{
    const std::vector<Resource> read = read_image(image_with_resource_section(one_resource_tree()));
    ASSERT_EQ(read.size(), 1u);
    EXPECT_EQ(read[0].type, ResourceKey::of(10));
    EXPECT_EQ(read[0].name, ResourceKey::of(5));
    EXPECT_EQ(read[0].data.size(), 8u);
}

TEST(ResourceReader, RefusesDamagedTrees)
{
    struct Case {
        std::string name;
        std::function<void(Bytes&)> damage;
        std::string words;
    };
    const std::vector<Case> cases = {
        {"directory pointing at itself", [](Bytes& t) { put32(t, 0x14, kSubdirectory | 0x00); },
         "reached a second time"},
        {"name directory pointing back at the root", [](Bytes& t) { put32(t, 0x2C, kSubdirectory | 0x00); },
         "reached a second time"},
        {"two types sharing one directory",
         [](Bytes& t) {
             put16(t, 0x0E, 2);
             put32(t, 0x18, 11);  // the second root entry overwrites the type directory's header
             put32(t, 0x1C, kSubdirectory | 0x18);
         },
         "reached a second time"},
        {"huge entry counts",
         [](Bytes& t) {
             put16(t, 0x0C, 0xFFFF);
             put16(t, 0x0E, 0xFFFF);
         },
         "announces 131070 entries"},
        {"type name past the end", [](Bytes& t) { put32(t, 0x10, kNamed | 0x7F000); }, "its name at offset"},
        {"type name running past the end",
         [](Bytes& t) {
             put32(t, 0x10, kNamed | 0x60);
             put16(t, 0x60, 0x4000);
         },
         "(16384 characters) runs past the end"},
        {"id wider than 16 bits", [](Bytes& t) { put32(t, 0x28, 0x12345); }, "id 74565 does not fit 16 bits"},
        {"named language",
         [](Bytes& t) {
             put32(t, 0x40, kNamed | 0x60);
             put16(t, 0x60, 1);
             put16(t, 0x62, 'X');
         },
         "a language must be a number"},
        {"data where names belong", [](Bytes& t) { put32(t, 0x14, 0x48); }, "leads to data where a directory"},
        {"a fourth level", [](Bytes& t) { put32(t, 0x44, kSubdirectory | 0x48); }, "fourth directory level"},
        {"directory past the end", [](Bytes& t) { put32(t, 0x2C, kSubdirectory | 0x7FFF0); }, "lies past the end"},
        {"data entry past the end", [](Bytes& t) { put32(t, 0x44, 0x7FFF0); }, "data entry at offset 0x7FFF0"},
        {"data outside the image", [](Bytes& t) { put32(t, 0x48, 0x00090000); }, "lies in no section"},
        {"data in the headers", [](Bytes& t) { put32(t, 0x48, 0x10); }, "lies in no section"},
        {"data running past its section", [](Bytes& t) { put32(t, 0x4C, 0x100); },
         "256 bytes, runs past its section's data"},
        {"data larger than the file", [](Bytes& t) { put32(t, 0x4C, 0xFFFFFFF0); },
         "claim more data than the file holds"},
    };
    for (const Case& c : cases) {
        Bytes tree = one_resource_tree();
        c.damage(tree);
        const std::string message = read_error(image_with_resource_section(tree));
        EXPECT_NE(message.find(c.words), std::string::npos) << c.name << ": " << message;
    }
}

}  // namespace
}  // namespace upkit::test
