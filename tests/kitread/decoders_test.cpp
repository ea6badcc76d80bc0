// The dialog, strings, version block and icon group of the demo kit decoded
// back to what resources/demo/kit_interface.rc says, an extended dialog
// template, and data that stops short or lies about its lengths.

#include <gtest/gtest.h>

#include "decode_error.h"
#include "demo_kit.h"
#include "dialog_template.h"
#include "group_icon.h"
#include "string_table.h"
#include "table_encoding.h"
#include "version_info.h"

namespace upkit::test {
namespace {

using kitread::DecodeError;
using kitread::NameOrOrdinal;

// Window and control styles as kit_interface.rc spells them.
const std::uint32_t WS_POPUP = 0x80000000, WS_CHILD = 0x40000000, WS_VISIBLE = 0x10000000;
const std::uint32_t WS_CAPTION = 0x00C00000, WS_SYSMENU = 0x00080000, WS_GROUP = 0x00020000;
const std::uint32_t WS_TABSTOP = 0x00010000;
const std::uint32_t DS_MODALFRAME = 0x80, DS_SETFONT = 0x40, DS_3DLOOK = 0x4;
const std::uint32_t SS_BITMAP = 0xE, SS_CENTERIMAGE = 0x200, SS_SUNKEN = 0x1000;
const std::uint32_t BS_DEFPUSHBUTTON = 1, BS_GROUPBOX = 7;
const std::uint16_t kButton = 0x80, kStatic = 0x82;

NameOrOrdinal atom(std::uint16_t value)
{
    return NameOrOrdinal{value, {}};
}

NameOrOrdinal text(std::string value)
{
    return NameOrOrdinal{std::nullopt, std::move(value)};
}

// Every length short of the whole data must be refused, never read past.
template <typename Decode> void expect_every_prefix_refused(const Bytes& data, Decode decode)
{
    for (std::size_t size = 0; size < data.size(); ++size) {
        const Bytes prefix(data.begin(), data.begin() + static_cast<std::ptrdiff_t>(size));
        EXPECT_THROW(decode(prefix), DecodeError) << size << " of " << data.size() << " bytes";
    }
}

class DemoKitDecoders : public ::testing::TestWithParam<std::string> { };

TEST_P(DemoKitDecoders, DialogHasTheTemplateOfTheResourceScript)
{
    const kitread::DialogTemplate dialog = kitread::decode_dialog(demo_resource_data(GetParam(), pe::kTypeDialog, 100));
    EXPECT_FALSE(dialog.extended);
    EXPECT_EQ(dialog.style, WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME | DS_SETFONT | DS_3DLOOK);
    EXPECT_EQ(dialog.ex_style, 0u);
    EXPECT_EQ((std::vector<int>{dialog.x, dialog.y, dialog.width, dialog.height}),
              (std::vector<int>{40, 20, 300, 200}));
    EXPECT_EQ(dialog.menu, NameOrOrdinal{});
    EXPECT_EQ(dialog.window_class, NameOrOrdinal{});
    EXPECT_EQ(dialog.caption, "Brightfield Widget 2.1 Upgrade");
    ASSERT_TRUE(dialog.font);
    EXPECT_EQ(dialog.font->point_size, 8);
    EXPECT_EQ(dialog.font->name, "Helv");

    const std::uint32_t child = WS_CHILD | WS_VISIBLE;
    const std::uint32_t label = child | WS_GROUP;
    struct Expected {
        std::uint32_t id;
        NameOrOrdinal window_class;
        std::string text;
        std::uint32_t style;
        std::vector<int> rectangle;
    };
    // CONTROL statements name their class as a string, which the resource
    // compiler stores in upper case; LTEXT, GROUPBOX and the buttons use the
    // predefined atoms.
    const std::vector<Expected> expected = {
        {201, text("STATIC"), "", label | SS_BITMAP | SS_CENTERIMAGE | SS_SUNKEN, {6, 6, 118, 190}},
        {0xFFFF,
         atom(kStatic),
         "Welcome to the Widget 2.1 Upgrade kit. It upgrades Widget 2.0 and 2.0a to version 2.1. This kit will:",
         label,
         {130, 6, 150, 30}},
        {0xFFFF, atom(kStatic), "1. Check for a valid copy of the product.", label, {140, 40, 140, 10}},
        {0xFFFF, atom(kStatic), "2. Install the product upgrade.", label, {140, 54, 140, 10}},
        {0xFFFF, atom(kStatic), "3. Re-boot your machine.", label, {140, 68, 140, 10}},
        {0xFFFF, atom(kStatic), "Click Install to begin.", label, {130, 90, 150, 10}},
        {210, atom(kButton), "Installation Progress", label | BS_GROUPBOX, {130, 110, 164, 66}},
        {211, atom(kStatic), "", label, {136, 124, 154, 10}},
        {212, atom(kStatic), "", label, {136, 134, 154, 10}},
        {213, text("MSCTLS_PROGRESS32"), "", child, {136, 152, 152, 12}},
        {2, atom(kButton), "E&xit", child | WS_TABSTOP, {158, 182, 60, 14}},
        {1, atom(kButton), "&Install", child | WS_TABSTOP | BS_DEFPUSHBUTTON, {224, 182, 60, 14}},
    };
    ASSERT_EQ(dialog.controls.size(), expected.size());
    for (std::size_t i = 0; i < expected.size(); ++i) {
        const kitread::DialogControl& control = dialog.controls[i];
        SCOPED_TRACE(i + 1);
        EXPECT_EQ(control.id, expected[i].id);
        EXPECT_EQ(control.window_class, expected[i].window_class);
        EXPECT_EQ(control.text, text(expected[i].text));
        EXPECT_EQ(control.style, expected[i].style);
        EXPECT_EQ(control.ex_style, 0u);
        EXPECT_EQ((std::vector<int>{control.x, control.y, control.width, control.height}), expected[i].rectangle);
        EXPECT_TRUE(control.creation_data.empty());
    }
}

TEST_P(DemoKitDecoders, StringBlockHoldsTheSevenMessages)
{
    const std::map<std::uint16_t, std::string> strings =
        kitread::decode_string_block(63, demo_resource_data(GetParam(), pe::kTypeString, 63));
    const std::map<std::uint16_t, std::string> expected = {
        {1000, "Widget 2.1 Upgrade"},
        {1001, "Cannot proceed because %s is currently running. Please close %s before installing the %s."},
        {1002, "Cannot find a qualifying version of the product to upgrade."},
        {1003, "Initializing..."},
        {1004, "Error %d transferring file %s."},
        {1005, "The installation failed to complete successfully. Please re-install before using the product."},
        {1006, "Installation completed successfully. You need to restart your computer before you can use the "
               "application. Would you like to restart now?"},
    };
    EXPECT_EQ(strings, expected);
}

TEST_P(DemoKitDecoders, VersionBlockHasTheFixedPartStringsAndTranslation)
{
    const kitread::VersionInfo version =
        kitread::decode_version_info(demo_resource_data(GetParam(), pe::kTypeVersion, 1));
    ASSERT_TRUE(version.fixed);
    EXPECT_EQ(kitread::version_text(version.fixed->file_version_ms, version.fixed->file_version_ls), "1.10.0.0");
    EXPECT_EQ(kitread::version_text(version.fixed->product_version_ms, version.fixed->product_version_ls), "1.0.0.0");
    EXPECT_EQ(version.fixed->flags_mask, 0x3Fu);  // VS_FFI_FILEFLAGSMASK
    EXPECT_EQ(version.fixed->flags, 0u);
    EXPECT_EQ(version.fixed->os, 0x4u);    // VOS__WINDOWS32
    EXPECT_EQ(version.fixed->type, 0x1u);  // VFT_APP
    EXPECT_EQ(version.fixed->subtype, 0u);
    ASSERT_EQ(version.string_tables.size(), 1u);
    EXPECT_EQ(version.string_tables[0].key, "040904E4");
    const std::vector<std::pair<std::string, std::string>> values = {
        {"CompanyName", "Brightfield Software"},
        {"FileDescription", "Widget 2.1 Upgrade"},
        {"FileVersion", "A.01.10"},
        {"InternalName", "WIDUPG21"},
        {"LegalCopyright", "Copyright (C) 1997 Brightfield Software. All rights reserved."},
        {"ProductName", "Widget"},
        {"ProductVersion", "A.01.00"},
    };
    EXPECT_EQ(version.string_tables[0].values, values);
    ASSERT_EQ(version.translations.size(), 1u);
    EXPECT_EQ(version.translations[0].language, 0x0409);
    EXPECT_EQ(version.translations[0].code_page, 0x04E4);
}

TEST_P(DemoKitDecoders, IconGroupNamesTwoSixteenColourImages)
{
    const std::vector<kitread::GroupIconEntry> images =
        kitread::decode_group_icon(demo_resource_data(GetParam(), pe::kTypeGroupIcon, 1000));
    ASSERT_EQ(images.size(), 2u);
    EXPECT_EQ(images[0].width, 32);
    EXPECT_EQ(images[0].height, 32);
    EXPECT_EQ(images[0].icon_id, 1);
    EXPECT_EQ(images[1].width, 16);
    EXPECT_EQ(images[1].height, 16);
    EXPECT_EQ(images[1].icon_id, 2);
    for (const kitread::GroupIconEntry& image : images) {
        EXPECT_EQ(image.color_count, 16);
        EXPECT_EQ(image.bit_count, 4);
        EXPECT_EQ(image.planes, 1);
        EXPECT_EQ(image.size, demo_resource_data(GetParam(), pe::kTypeIcon, image.icon_id).size());
    }
}

TEST_P(DemoKitDecoders, RefuseEveryTruncation)
{
    expect_every_prefix_refused(demo_resource_data(GetParam(), pe::kTypeDialog, 100), kitread::decode_dialog);
    expect_every_prefix_refused(demo_resource_data(GetParam(), pe::kTypeString, 63),
                                [](const Bytes& data) { return kitread::decode_string_block(63, data); });
    expect_every_prefix_refused(demo_resource_data(GetParam(), pe::kTypeVersion, 1), kitread::decode_version_info);
    expect_every_prefix_refused(demo_resource_data(GetParam(), pe::kTypeGroupIcon, 1000), kitread::decode_group_icon);
}

INSTANTIATE_TEST_SUITE_P(BothTargets, DemoKitDecoders, ::testing::Values("win32", "win64"));

TEST(DialogTemplate, DecodesAnExtendedTemplate)
{
    Bytes data = {1, 0, 0xFF, 0xFF};  // version 1, signature
    const auto u16 = [&](std::uint16_t v) { data.insert(data.end(), {std::uint8_t(v), std::uint8_t(v >> 8)}); };
    const auto u32 = [&](std::uint32_t v) {
        u16(static_cast<std::uint16_t>(v));
        u16(static_cast<std::uint16_t>(v >> 16));
    };
    const auto append = [&](const Bytes& more) { data.insert(data.end(), more.begin(), more.end()); };
    u32(77);                     // help id
    u32(0x00000100);             // extended style
    u32(WS_POPUP | DS_SETFONT);  // style
    u16(1);                      // one control
    u16(1), u16(2), u16(30), u16(40);
    u16(0xFFFF), u16(101);  // menu 101
    append(utf16("MyDialogClass"));
    append(utf16("Extended"));
    u16(9), u16(700);                 // 9 pt, bold
    data.insert(data.end(), {1, 2});  // italic, character set 2
    append(utf16("MS Shell Dlg"));
    while (data.size() % 4)
        data.push_back(0);
    u32(5);  // control help id
    u32(0);  // extended style
    u32(WS_CHILD | WS_VISIBLE);
    u16(3), u16(4), u16(50), u16(12);
    u32(70000);              // a 32-bit id
    u16(0xFFFF), u16(0x81);  // Edit
    u16(0xFFFF), u16(300);   // text as an ordinal
    u16(2);
    data.insert(data.end(), {0xAA, 0xBB});

    const kitread::DialogTemplate dialog = kitread::decode_dialog(data);
    EXPECT_TRUE(dialog.extended);
    EXPECT_EQ(dialog.help_id, 77u);
    EXPECT_EQ(dialog.ex_style, 0x100u);
    EXPECT_EQ(dialog.menu, atom(101));
    EXPECT_EQ(dialog.window_class, text("MyDialogClass"));
    EXPECT_EQ(dialog.caption, "Extended");
    ASSERT_TRUE(dialog.font);
    EXPECT_EQ(dialog.font->point_size, 9);
    EXPECT_EQ(dialog.font->weight, 700);
    EXPECT_TRUE(dialog.font->italic);
    EXPECT_EQ(dialog.font->charset, 2);
    EXPECT_EQ(dialog.font->name, "MS Shell Dlg");
    ASSERT_EQ(dialog.controls.size(), 1u);
    const kitread::DialogControl& control = dialog.controls[0];
    EXPECT_EQ(control.help_id, 5u);
    EXPECT_EQ(control.id, 70000u);
    EXPECT_EQ(kitread::describe_class(control.window_class), "Edit");
    EXPECT_EQ(control.text, atom(300));
    EXPECT_EQ(control.creation_data, (Bytes{0xAA, 0xBB}));
    expect_every_prefix_refused(data, kitread::decode_dialog);
}

TEST(StringTable, RefusesBlockIdsOutsideTheStringIds)
{
    const Bytes sixteen_empty(32, 0);
    EXPECT_TRUE(kitread::decode_string_block(1, sixteen_empty).empty());
    EXPECT_TRUE(kitread::decode_string_block(4096, sixteen_empty).empty());
    EXPECT_THROW(kitread::decode_string_block(0, sixteen_empty), DecodeError);
    EXPECT_THROW(kitread::decode_string_block(4097, sixteen_empty), DecodeError);
    EXPECT_EQ(kitread::string_block_of(1000), 63);
    EXPECT_EQ(kitread::string_block_of(15), 1);
    EXPECT_EQ(kitread::string_block_of(16), 2);
}

// Offsets in the demo kit's version block, as our build lays it out: the
// StringFileInfo node at 0x5C, its table at 0x80, CompanyName at 0x98.
TEST(VersionInfo, RefusesNodesThatDoNotFitTheirParents)
{
    const Bytes original = demo_resource_data("win32", pe::kTypeVersion, 1);
    ASSERT_EQ(get16(original, 0x98 + 6), 'C');  // the layout this test relies on

    struct Case {
        std::string name;
        std::size_t at;
        std::uint16_t value;
        std::string words;
    };
    const std::vector<Case> cases = {
        {"string longer than its table", 0x98, 0x400, "does not fit"},
        {"table shorter than its header", 0x80, 4, "has the length 4"},
        {"zero-length node", 0x98, 0, "has the length 0"},
        {"fixed part with a bad signature", 0x28, 0x1234, "signature"},
        {"binary value past its node", 0x98 + 2, 0x100, "runs past the node's end"},
    };
    for (const Case& c : cases) {
        Bytes data = original;
        put16(data, c.at, c.value);
        if (c.name == "binary value past its node")
            put16(data, 0x98 + 4, 0);  // CompanyName as binary
        try {
            kitread::decode_version_info(data);
            ADD_FAILURE() << c.name << ": no DecodeError";
        } catch (const DecodeError& e) {
            EXPECT_NE(std::string(e.what()).find(c.words), std::string::npos) << c.name << ": " << e.what();
        }
    }
}

// Some resource compilers count a text value's length in bytes: the text is
// the same either way.
TEST(VersionInfo, TakesTextValueLengthsInCharactersOrBytes)
{
    Bytes data = demo_resource_data("win32", pe::kTypeVersion, 1);
    ASSERT_EQ(get16(data, 0x98 + 2), 21);  // "Brightfield Software" and its NUL
    put16(data, 0x98 + 2, 42);
    EXPECT_EQ(kitread::decode_version_info(data).string_tables.at(0).value("CompanyName"), "Brightfield Software");
}

TEST(GroupIcon, RefusesWhatIsNotAnIconGroup)
{
    Bytes data = demo_resource_data("win32", pe::kTypeGroupIcon, 1000);
    put16(data, 2, 2);  // a cursor group
    EXPECT_THROW(kitread::decode_group_icon(data), DecodeError);
    Bytes large = demo_resource_data("win32", pe::kTypeGroupIcon, 1000);
    large[6] = 0;  // width 0 stands for 256
    EXPECT_EQ(kitread::decode_group_icon(large)[0].width, 256);
}

}  // namespace
}  // namespace upkit::test
