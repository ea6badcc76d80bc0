// What a manifest may leave to the builder and what it may not: the plain
// built-in picture and icon stand in for missing ones, placeholders left by
// `upkit plan` are refused where they stand, and the TOML text the tools
// write reads back exactly.

#include <gtest/gtest.h>

#include <toml++/toml.h>

#include "diagnostics.h"
#include "group_icon.h"
#include "image_resources.h"
#include "kit_image.h"
#include "manifest.h"
#include "neutral_images.h"
#include "toml_text.h"

using namespace upkit;
using namespace upkit::kitbuild;

namespace {

using Bytes = std::vector<std::uint8_t>;

std::uint32_t u32_at(const Bytes& bytes, std::size_t at)
{
    return static_cast<std::uint32_t>(bytes.at(at) | bytes.at(at + 1) << 8 | bytes.at(at + 2) << 16 |
                                      bytes.at(at + 3) << 24);
}

// The palette index of pixel (x, y), counted from the top, of a 4-bit
// bottom-up picture whose pixels start at `pixels`.
int pixel_at(const Bytes& bytes, std::size_t pixels, int width, int height, int x, int y)
{
    const std::size_t stride = static_cast<std::size_t>((width * 4 + 31) / 32 * 4);
    const std::uint8_t byte =
        bytes.at(pixels + static_cast<std::size_t>(height - 1 - y) * stride + static_cast<std::size_t>(x / 2));
    return x % 2 == 0 ? byte >> 4 : byte & 0x0F;
}

// Whether pixel (x, y) of an icon image is transparent: its mask bit is set.
bool transparent_at(const Bytes& image, int size, int x, int y)
{
    const std::size_t mask = 40 + 64 + static_cast<std::size_t>((size * 4 + 31) / 32 * 4 * size);
    const std::size_t stride = static_cast<std::size_t>((size + 31) / 32 * 4);
    const std::uint8_t byte =
        image.at(mask + static_cast<std::size_t>(size - 1 - y) * stride + static_cast<std::size_t>(x / 8));
    return (byte & (0x80 >> (x % 8))) != 0;
}

std::string refusal(const std::string& text)
{
    try {
        parse_manifest(text, "kit.toml", ".");
    } catch (const KitError& e) {
        return e.what();
    }
    ADD_FAILURE() << "accepted:\n" << text;
    return {};
}

}  // namespace

TEST(NeutralImages, ThePictureHasTheDialogsShapeAndADesign)
{
    const Bytes file = neutral_picture_file();
    const BitmapResource picture = bitmap_resource(file, "built-in");
    EXPECT_EQ(picture.info.width, kPictureWidth);
    EXPECT_EQ(picture.info.height, kPictureHeight);
    EXPECT_EQ(picture.info.bits_per_pixel, kPictureBits);
    EXPECT_EQ(picture.info.compression, 0u);
    const std::size_t pixels = u32_at(file, 10);
    EXPECT_EQ(pixels, 14u + 40u + 64u);
    EXPECT_EQ(file.size(), pixels + 92u * kPictureHeight);  // 180 pixels: 90 bytes, padded to 92
    EXPECT_EQ(u32_at(file, 2), file.size());

    // A ground, a frame and the motif: not one plain colour.
    const int ground = pixel_at(file, pixels, kPictureWidth, kPictureHeight, 1, 1);
    EXPECT_NE(pixel_at(file, pixels, kPictureWidth, kPictureHeight, 4, 100), ground);
    EXPECT_NE(pixel_at(file, pixels, kPictureWidth, kPictureHeight, kPictureWidth / 2, 48 + 70), ground);
    EXPECT_EQ(pixel_at(file, pixels, kPictureWidth, kPictureHeight, kPictureWidth / 2, kPictureHeight - 20), ground);
}

TEST(NeutralImages, TheIconHasBothSizesWithTransparentCorners)
{
    const Bytes file = neutral_icon_file();
    const IconResources icon = icon_resources(file, 1, "built-in");
    ASSERT_EQ(icon.images.size(), 2u);
    const std::vector<kitread::GroupIconEntry> group = kitread::decode_group_icon(icon.group);
    ASSERT_EQ(group.size(), 2u);
    const int sizes[] = {32, 16};
    for (std::size_t i = 0; i < 2; ++i) {
        SCOPED_TRACE(sizes[i]);
        const int size = sizes[i];
        const Bytes& image = icon.images[i].data;
        EXPECT_EQ(group[i].width, size);
        EXPECT_EQ(group[i].height, size);
        EXPECT_EQ(group[i].bit_count, 4);
        EXPECT_EQ(group[i].size, image.size());
        // The image's header counts the colours and the mask as one picture
        // of twice the height.
        EXPECT_EQ(u32_at(image, 4), static_cast<std::uint32_t>(size));
        EXPECT_EQ(u32_at(image, 8), static_cast<std::uint32_t>(2 * size));
        const std::size_t colours = static_cast<std::size_t>((size * 4 + 31) / 32 * 4 * size);
        const std::size_t mask = static_cast<std::size_t>((size + 31) / 32 * 4 * size);
        EXPECT_EQ(image.size(), 40 + 64 + colours + mask);
        EXPECT_TRUE(transparent_at(image, size, 0, 0));
        EXPECT_TRUE(transparent_at(image, size, size - 1, 0));
        EXPECT_FALSE(transparent_at(image, size, size / 2, size - 2));  // inside the box
        EXPECT_FALSE(transparent_at(image, size, size / 2, 0));         // the arrow's shaft
    }
}

TEST(Placeholders, AreRefusedWhereverTheyStandNamingLineAndField)
{
    const std::string marker = placeholder("the kit's title");
    EXPECT_EQ(marker, "<fill in: the kit's title>");
    EXPECT_TRUE(is_placeholder(marker));
    EXPECT_FALSE(is_placeholder("Widget <fill in: later>"));

    EXPECT_EQ(refusal("[kit]\nmaker = \"M\"\ntitle = \"<fill in: the kit's title>\"\n"),
              "kit.toml:3: [kit] title: still the placeholder \"<fill in: the kit's title>\": replace it with the "
              "value");
    EXPECT_NE(refusal("[kit]\nbitmap = \"<fill in: a picture>\"\n").find("kit.toml:2: [kit] bitmap: still the"),
              std::string::npos);
    EXPECT_NE(refusal("[kit]\nicon = { file = \"<fill in: an icon>\" }\n").find("[kit] icon, file: still the"),
              std::string::npos);
    const std::string row = "[[app_versions]]\nkey = 'K'\nfile = 'F'\nchecksum = 1\n";
    EXPECT_NE(refusal(row + "display = \"<fill in: Detected <product> 2.0>\"\n")
                  .find("kit.toml:5: [[app_versions]] row 1, display: still the placeholder"),
              std::string::npos);
    const std::string archive = "[[archives]]\nid = 1\nprogress = 'P'\n";
    EXPECT_NE(refusal(archive + "content = [\n  'a',\n  '<fill in: a file>',\n]\n")
                  .find("kit.toml:6: [[archives]] row 1, content item 2: still the placeholder"),
              std::string::npos);
    EXPECT_NE(refusal(archive + "base = '<fill in: install>'\ncontent = ['a']\n").find("base: still the placeholder"),
              std::string::npos);
}

TEST(TomlText, StringsReadBackExactly)
{
    const std::vector<std::string> texts = {
        "",
        "Widget",
        "Software\\Brightfield\\Widget",
        "it's \\ here",
        "say \"hi\"",
        "tab\there, line\nbreak, bell\x07, delete\x7f",
        "caf\xc3\xa9 \xe2\x80\x94 \\",
        "'quoted'",
    };
    for (const std::string& text : texts) {
        const std::string document = toml_field("value", text);
        SCOPED_TRACE(document);
        const toml::table table = toml::parse(document);
        EXPECT_EQ(table["value"].value<std::string>(), text);
    }
    // Backslashes read as they are written where that is possible.
    EXPECT_EQ(toml_string("Software\\Widget"), "'Software\\Widget'");
    EXPECT_EQ(toml_string("Widget"), "'Widget'");
    EXPECT_EQ(toml_string("the kit's"), "\"the kit's\"");
}

TEST(TomlText, CommentsStayOneLineOfUtf8)
{
    EXPECT_EQ(toml_comment_text("caf\xc3\xa9 ok"), "caf\xc3\xa9 ok");
    EXPECT_EQ(toml_comment_text("a\nb\rc\x7f"), "a\\x0Ab\\x0Dc\\x7F");
    EXPECT_EQ(toml_comment_text("bad \xff byte"), "bad \\xFF byte");
    const std::string document = "# " + toml_comment_text("x\ny = 1\xc2\x85") + "\nz = 2\n";
    const toml::table table = toml::parse(document);
    EXPECT_FALSE(table.contains("y"));
    EXPECT_EQ(table["z"].value<int>(), 2);
}
