// A kit turned back into a manifest and its files: the demo kit's manifest
// reads back into the rows its tables hold, its picture and icon come back
// as the files it was built from, and damaged picture and icon resources are
// refused rather than written out wrong.

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "decode_error.h"
#include "kit_contents.h"
#include "kit_dump.h"
#include "manifest.h"
#include "test_files.h"

namespace upkit::test {
namespace {

using kitread::DecodeError;

const kitread::DumpedFile* file_named(const kitread::DumpedKit& dumped, const std::string& name)
{
    for (const kitread::DumpedFile& file : dumped.files)
        if (file.name == name)
            return &file;
    return nullptr;
}

TEST(KitDump, TheDemoKitComesBackAsItsManifestRowsAndFiles)
{
    for (const char* arch : {"win32", "win64"}) {
        SCOPED_TRACE(arch);
        const kitread::KitContents kit =
            kitread::read_kit_file(test_data(std::string("kits/demo-kit-") + arch + ".exe"));
        const kitread::DumpedKit dumped = kitread::dump_kit(kit, "demo-kit.exe");
        EXPECT_TRUE(dumped.notes.empty()) << dumped.notes.front();

        const kitbuild::Manifest manifest = kitbuild::parse_manifest(dumped.manifest, "kit.toml", ".");
        ASSERT_EQ(manifest.app_versions.size(), kit.tables.app_versions->size());
        for (std::size_t i = 0; i < manifest.app_versions.size(); ++i) {
            EXPECT_EQ(manifest.app_versions[i].display, kit.tables.app_versions->at(i).display);
            EXPECT_EQ(manifest.app_versions[i].checksum, kit.tables.app_versions->at(i).checksum);
        }
        ASSERT_EQ(manifest.archives.size(), kit.tables.archives->size());
        for (std::size_t i = 0; i < manifest.archives.size(); ++i) {
            EXPECT_EQ(manifest.archives[i].subdirectory, kit.tables.archives->at(i).subdirectory);
            ASSERT_TRUE(manifest.archives[i].prebuilt);
            const kitread::DumpedFile* archive = file_named(dumped, manifest.archives[i].prebuilt->path);
            ASSERT_NE(archive, nullptr);
            EXPECT_EQ(archive->bytes, kit.archives.at(i).bytes);
        }
        EXPECT_EQ(manifest.registry.size(), kit.tables.registry->size());

        const fs::path demo = DEMO_KIT_FOLDER;
        ASSERT_NE(file_named(dumped, "kit.bmp"), nullptr);
        EXPECT_EQ(file_named(dumped, "kit.bmp")->bytes, read_file(demo / "kit.bmp"));
        ASSERT_NE(file_named(dumped, "kit.ico"), nullptr);
        EXPECT_EQ(file_named(dumped, "kit.ico")->bytes, read_file(demo / "kit.ico"));
    }
}

TEST(KitDump, TextsThatDifferFromTheStandardOnesComeBackAsMessages)
{
    kitread::KitContents kit = kitread::read_kit_file(test_data("kits/demo-kit-win32.exe"));
    EXPECT_EQ(kitread::dump_kit(kit, "demo-kit.exe").manifest.find("[messages]"), std::string::npos);

    kit.strings[1003] = "Préparation...";
    kit.strings[1004] = "Erreur %s";  // no manifest could give it: the kit would fill in a number as a text
    kit.dialog->controls.at(10).text.text = "&Quitter";
    const kitread::DumpedKit dumped = kitread::dump_kit(kit, "demo-kit.exe");
    EXPECT_NE(dumped.manifest.find("\n[messages]\ninitializing = 'Préparation...'\nexit_button = '&Quitter'\n\n"),
              std::string::npos)
        << dumped.manifest;
    EXPECT_EQ(dumped.manifest.find("transfer_error"), std::string::npos);
    const auto refused = std::find_if(dumped.notes.begin(), dumped.notes.end(), [](const std::string& note) {
        return note.find("text transfer_error cannot be carried over") != std::string::npos;
    });
    EXPECT_NE(refused, dumped.notes.end());

    const kitbuild::Manifest manifest = kitbuild::parse_manifest(dumped.manifest, "kit.toml", ".");
    EXPECT_EQ(manifest.kit.texts[kitbuild::kTextInitializing], "Préparation...");
    EXPECT_EQ(manifest.kit.texts[kitbuild::kTextExitButton], "&Quitter");
    EXPECT_EQ(manifest.kit.texts[kitbuild::kTextTransferError], kitbuild::KitTexts()[kitbuild::kTextTransferError]);
}

TEST(KitDump, DamagedPicturesAndIconsAreRefused)
{
    // A 40-byte header, 4 bits a pixel: 16 palette entries follow.
    std::vector<std::uint8_t> bitmap(40 + 64 + 8, 0);
    bitmap[0] = 40;
    bitmap[14] = 4;
    const std::vector<std::uint8_t> file = kitread::bitmap_file(bitmap);
    ASSERT_EQ(file.size(), 14 + bitmap.size());
    EXPECT_EQ(file[10], 14 + 40 + 64);  // where the pixels start

    EXPECT_THROW(kitread::bitmap_file(std::vector<std::uint8_t>(15, 0)), DecodeError);
    std::vector<std::uint8_t> header_past_end = bitmap;
    header_past_end[0] = 0xFF;
    header_past_end[1] = 0xFF;
    EXPECT_THROW(kitread::bitmap_file(header_past_end), DecodeError);
    std::vector<std::uint8_t> too_many_colours = bitmap;
    too_many_colours[33] = 0x01;  // 257 entries used
    too_many_colours[32] = 0x01;
    EXPECT_THROW(kitread::bitmap_file(too_many_colours), DecodeError);

    // An icon group of one entry cannot describe two images.
    const std::vector<std::uint8_t> group = {0, 0, 1, 0, 1, 0, 16, 16, 16, 0, 1, 0, 4, 0, 0, 0, 0, 0, 1, 0};
    EXPECT_THROW(kitread::icon_file(group, {{1, 2}, {3, 4}}), DecodeError);
    const std::vector<std::uint8_t> icon = kitread::icon_file(group, {{1, 2, 3}});
    EXPECT_EQ(icon.size(), 6u + 16u + 3u);
    EXPECT_EQ(icon[14], 3);   // the image's own size
    EXPECT_EQ(icon[18], 22);  // and where it starts
}

}  // namespace
}  // namespace upkit::test
