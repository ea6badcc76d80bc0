// The kit's face as resources, read back with the kit reader's decoders:
// texts beyond ASCII, strings spread over several blocks, version values of
// every length, and the picture and icon files a kit author might get wrong.

#include <gtest/gtest.h>

#include "diagnostics.h"
#include "dialog_resource.h"
#include "dialog_template.h"
#include "group_icon.h"
#include "image_resources.h"
#include "kit_resource_ids.h"
#include "string_resource.h"
#include "string_table.h"
#include "test_files.h"
#include "version_info.h"
#include "version_resource.h"

using namespace upkit;
using namespace upkit::kitbuild;
using upkit::test::read_file;
namespace fs = std::filesystem;

namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes demo(const char* name)
{
    return read_file(fs::path(DEMO_KIT_FOLDER) / name);
}

}  // namespace

TEST(DialogResource, CarriesTheKitsTextsAndTheFixedLayout)
{
    const std::string caption = "Fabrikam \xC3\x9C"
                                "bersetzer 4.0 Upgrade";                   // Ü
    const std::string welcome = "Willkommen \xE2\x80\x94 this kit will:";  // em dash
    const upkit::kitread::DialogTemplate dialog =
        upkit::kitread::decode_dialog(encode_install_dialog(caption, welcome, KitTexts()));
    EXPECT_FALSE(dialog.extended);
    EXPECT_EQ(dialog.caption, caption);
    ASSERT_TRUE(dialog.font);
    EXPECT_EQ(dialog.font->point_size, 8);
    EXPECT_EQ(dialog.font->name, "Helv");
    EXPECT_EQ(dialog.x, 40);
    EXPECT_EQ(dialog.width, 300);
    ASSERT_EQ(dialog.controls.size(), 12u);
    EXPECT_EQ(dialog.controls[1].text.text, welcome);
    const std::uint32_t ids[] = {IDC_PICTURE,
                                 0xFFFF,
                                 0xFFFF,
                                 0xFFFF,
                                 0xFFFF,
                                 0xFFFF,
                                 IDC_PROGRESS_GROUP,
                                 IDC_PROGRESS_LINE1,
                                 IDC_PROGRESS_LINE2,
                                 IDC_PROGRESS_BAR,
                                 IDC_EXIT,
                                 IDC_INSTALL};
    for (std::size_t i = 0; i < 12; ++i)
        EXPECT_EQ(dialog.controls[i].id, ids[i]) << i;
    EXPECT_EQ(dialog.controls[9].window_class.text, "MSCTLS_PROGRESS32");
    EXPECT_EQ(dialog.controls[11].text.text, "&Install");

    EXPECT_THROW(encode_install_dialog("\xFF", "x", KitTexts()), KitError);
}

TEST(StringResource, SpreadsIdsOverTheirBlocksAndKeepsEveryCharacter)
{
    const std::map<std::uint16_t, std::string> strings = {{0, "zero"},
                                                          {15, "fifteen"},
                                                          {16, "sixteen"},
                                                          {1000, "caf\xC3\xA9 \xF0\x9F\x98\x80"},
                                                          {65535, ""}};
    const std::vector<StringBlock> blocks = encode_string_table(strings);
    ASSERT_EQ(blocks.size(), 4u);
    EXPECT_EQ(blocks[0].block_id, 1);
    EXPECT_EQ(blocks[1].block_id, 2);
    EXPECT_EQ(blocks[2].block_id, 63);
    EXPECT_EQ(blocks[3].block_id, 4096);

    std::map<std::uint16_t, std::string> read;
    for (const StringBlock& block : blocks)
        for (const auto& [id, text] : upkit::kitread::decode_string_block(block.block_id, block.data))
            read[id] = text;
    for (const auto& [id, text] : strings) {
        if (!text.empty()) {
            EXPECT_EQ(read.at(id), text) << id;
        }
    }
    // A character beyond the 16-bit plane takes two units: 5 + 2.
    const Bytes& block63 = blocks[2].data;
    std::size_t at = 0;
    for (int slot = 0; slot < 8; ++slot)  // ids 1000 is slot 8 of block 63
        at += 2 + 2 * (block63[at] | block63[at + 1] << 8);
    EXPECT_EQ(block63[at] | block63[at + 1] << 8, 7);
}

TEST(VersionResource, ReadsBackWithEveryValueWhateverItsLength)
{
    VersionBlock block;
    block.file_version = {1, 10, 0, 0};
    block.product_version = {2, 3, 4, 5};
    block.strings = {{"CompanyName", "A"},
                     {"FileDescription", "Ab"},
                     {"FileVersion", "Abc"},
                     {"InternalName", ""},
                     {"LegalCopyright", "\xC2\xA9 1999 Contoso"},
                     {"ProductName", "Abcd"}};
    const Bytes data = encode_version_block(block);
    EXPECT_EQ(data[0] | data[1] << 8, data.size());
    const upkit::kitread::VersionInfo info = upkit::kitread::decode_version_info(data);
    ASSERT_TRUE(info.fixed);
    EXPECT_EQ(upkit::kitread::version_text(info.fixed->file_version_ms, info.fixed->file_version_ls), "1.10.0.0");
    EXPECT_EQ(upkit::kitread::version_text(info.fixed->product_version_ms, info.fixed->product_version_ls), "2.3.4.5");
    EXPECT_EQ(info.fixed->os, 4u);
    ASSERT_EQ(info.string_tables.size(), 1u);
    EXPECT_EQ(info.string_tables[0].key, "040904E4");
    EXPECT_EQ(info.string_tables[0].values, block.strings);
    ASSERT_EQ(info.translations.size(), 1u);
    EXPECT_EQ(info.translations[0].language, 0x0409);
    EXPECT_EQ(info.translations[0].code_page, 1252);
}

TEST(ImageResources, TakeTheDemoPictureAndIconApart)
{
    const Bytes bmp = demo("kit.bmp");
    const BitmapResource picture = bitmap_resource(bmp, "kit.bmp");
    EXPECT_EQ(picture.info.width, 180);
    EXPECT_EQ(picture.info.height, 325);
    EXPECT_EQ(picture.info.bits_per_pixel, 4);
    EXPECT_EQ(picture.data, Bytes(bmp.begin() + 14, bmp.end()));

    const Bytes ico = demo("kit.ico");
    const IconResources icon = icon_resources(ico, 1, "kit.ico");
    ASSERT_EQ(icon.images.size(), 2u);
    const std::vector<upkit::kitread::GroupIconEntry> group = upkit::kitread::decode_group_icon(icon.group);
    ASSERT_EQ(group.size(), 2u);
    EXPECT_EQ(group[0].width, 32);
    EXPECT_EQ(group[1].width, 16);
    for (std::size_t i = 0; i < 2; ++i) {
        EXPECT_EQ(group[i].icon_id, icon.images[i].id);
        EXPECT_EQ(group[i].size, icon.images[i].data.size());
        EXPECT_EQ(group[i].bit_count, 4);
    }
}

TEST(ImageResources, RefuseFilesThatAreNotWhatTheyClaim)
{
    Bytes bmp = demo("kit.bmp");
    EXPECT_THROW(bitmap_resource(Bytes(bmp.begin(), bmp.begin() + 20), "short.bmp"), KitError);
    Bytes wrong_offset = bmp;
    wrong_offset[10] = 0xFF, wrong_offset[11] = 0xFF, wrong_offset[12] = 0xFF;
    EXPECT_THROW(bitmap_resource(wrong_offset, "offset.bmp"), KitError);
    EXPECT_THROW(bitmap_resource(demo("kit.ico"), "icon.bmp"), KitError);

    Bytes ico = demo("kit.ico");
    EXPECT_THROW(icon_resources(Bytes(ico.begin(), ico.begin() + 20), 1, "cut.ico"), KitError);
    Bytes past_end = ico;
    past_end[6 + 12] = 0xF0, past_end[6 + 13] = 0xFF;  // first image's offset far past the end
    EXPECT_THROW(icon_resources(past_end, 1, "past.ico"), KitError);
    EXPECT_THROW(icon_resources(ico, 65535, "ids.ico"), KitError);
    EXPECT_THROW(icon_resources(bmp, 1, "bitmap.ico"), KitError);
}
