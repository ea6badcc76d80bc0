#include "dialog_resource.h"

#include <optional>
#include <string>

#include "diagnostics.h"
#include "kit_resource_ids.h"
#include "little_endian.h"
#include "text_codec.h"

namespace upkit::kitbuild {

namespace {

// Window and control styles (the values of the Win32 headers).
const std::uint32_t kPopup = 0x80000000;
const std::uint32_t kChild = 0x40000000;
const std::uint32_t kVisible = 0x10000000;
const std::uint32_t kCaption = 0x00C00000;
const std::uint32_t kSysMenu = 0x00080000;
const std::uint32_t kGroup = 0x00020000;
const std::uint32_t kTabStop = 0x00010000;
const std::uint32_t kModalFrame = 0x80;
const std::uint32_t kSetFont = 0x40;
const std::uint32_t k3dLook = 0x04;
const std::uint32_t kStaticBitmap = 0x0E;
const std::uint32_t kStaticCenterImage = 0x200;
const std::uint32_t kStaticSunken = 0x1000;
const std::uint32_t kButtonDefault = 0x01;
const std::uint32_t kButtonGroupBox = 0x07;

// Predefined classes stored as atoms.
const std::uint16_t kAtomButton = 0x80;
const std::uint16_t kAtomStatic = 0x82;

const std::uint16_t kNoId = 0xFFFF;

// The welcome paragraph's place in the control list.
const char* const kWelcome = nullptr;

struct Control {
    std::uint16_t id;
    std::uint16_t atom;  // 0: the class is `class_name`
    const char* class_name;
    const char* text;  // kWelcome: the kit's paragraph
    std::uint32_t style;
    std::int16_t x, y, width, height;
};

const std::uint32_t kChildVisible = kChild | kVisible;

// In template order, which is also the tab order.
const Control kControls[] = {
    {IDC_PICTURE, 0, "STATIC", "", kChildVisible | kGroup | kStaticBitmap | kStaticCenterImage | kStaticSunken, 6, 6,
     118, 190},
    {kNoId, kAtomStatic, nullptr, kWelcome, kChildVisible | kGroup, 130, 6, 150, 30},
    {kNoId, kAtomStatic, nullptr, "1. Check for a valid copy of the product.", kChildVisible | kGroup, 140, 40, 140,
     10},
    {kNoId, kAtomStatic, nullptr, "2. Install the product upgrade.", kChildVisible | kGroup, 140, 54, 140, 10},
    {kNoId, kAtomStatic, nullptr, "3. Re-boot your machine.", kChildVisible | kGroup, 140, 68, 140, 10},
    {kNoId, kAtomStatic, nullptr, "Click Install to begin.", kChildVisible | kGroup, 130, 90, 150, 10},
    {IDC_PROGRESS_GROUP, kAtomButton, nullptr, "Installation Progress", kChildVisible | kGroup | kButtonGroupBox, 130,
     110, 164, 66},
    {IDC_PROGRESS_LINE1, kAtomStatic, nullptr, "", kChildVisible | kGroup, 136, 124, 154, 10},
    {IDC_PROGRESS_LINE2, kAtomStatic, nullptr, "", kChildVisible | kGroup, 136, 134, 154, 10},
    {IDC_PROGRESS_BAR, 0, "MSCTLS_PROGRESS32", "", kChildVisible, 136, 152, 152, 12},
    {IDC_EXIT, kAtomButton, nullptr, "E&xit", kChildVisible | kTabStop, 158, 182, 60, 14},
    {IDC_INSTALL, kAtomButton, nullptr, "&Install", kChildVisible | kTabStop | kButtonDefault, 224, 182, 60, 14},
};

std::u16string utf16_or_refuse(std::string_view text, std::string_view what)
{
    const std::optional<std::u16string> converted = utf16_from_utf8(text);
    if (!converted)
        throw KitError(std::string(what) + ": not UTF-8 text");
    return *converted;
}

void append_i16(std::vector<std::uint8_t>& out, std::int16_t value)
{
    append_u16(out, static_cast<std::uint16_t>(value));
}

}  // namespace

std::vector<std::uint8_t> encode_install_dialog(std::string_view caption, std::string_view welcome)
{
    std::vector<std::uint8_t> out;
    append_u32(out, kPopup | kCaption | kSysMenu | kModalFrame | kSetFont | k3dLook);
    append_u32(out, 0);  // extended style
    append_u16(out, static_cast<std::uint16_t>(std::size(kControls)));
    append_i16(out, 40);
    append_i16(out, 20);
    append_i16(out, 300);
    append_i16(out, 200);
    append_u16(out, 0);  // no menu
    append_u16(out, 0);  // the default dialog class
    append_utf16le(out, utf16_or_refuse(caption, "the dialog caption"), true);
    append_u16(out, 8);  // point size
    append_utf16le(out, u"Helv", true);

    const std::u16string welcome16 = utf16_or_refuse(welcome, "the welcome paragraph");
    for (const Control& control : kControls) {
        pad_to(out, 4);
        append_u32(out, control.style);
        append_u32(out, 0);  // extended style
        append_i16(out, control.x);
        append_i16(out, control.y);
        append_i16(out, control.width);
        append_i16(out, control.height);
        append_u16(out, control.id);
        if (control.atom != 0) {
            append_u16(out, 0xFFFF);
            append_u16(out, control.atom);
        } else {
            append_utf16le(out, utf16_or_refuse(control.class_name, "a class name"), true);
        }
        if (control.text == kWelcome)
            append_utf16le(out, welcome16, true);
        else
            append_utf16le(out, utf16_or_refuse(control.text, "a control text"), true);
        append_u16(out, 0);  // no creation data
    }
    return out;
}

}  // namespace upkit::kitbuild
