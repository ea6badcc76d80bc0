#include "dialog_resource.h"

#include <optional>
#include <stdexcept>
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

// A control's text: one of the kit's texts, the welcome paragraph or none.
const std::size_t kWelcome = kKitTextCount + 1;
const std::size_t kNoText = kKitTextCount + 2;

struct Control {
    std::uint16_t id;
    std::uint16_t atom;  // 0: the class is `class_name`
    const char* class_name;
    std::size_t text;  // an index into KitTexts, kWelcome or kNoText
    DialogTextKind kind;
    std::uint32_t style;
    std::int16_t x, y, width, height;
};

const std::uint32_t kChildVisible = kChild | kVisible;

// In template order, which is also the tab order.
const Control kControls[] = {
    {IDC_PICTURE, 0, "STATIC", kNoText, DialogTextKind::static_text,
     kChildVisible | kGroup | kStaticBitmap | kStaticCenterImage | kStaticSunken, 6, 6, 118, 190},
    {kNoId, kAtomStatic, nullptr, kWelcome, DialogTextKind::static_text, kChildVisible | kGroup, 130, 6, 150, 30},
    {kNoId, kAtomStatic, nullptr, kTextCheckStep, DialogTextKind::static_text, kChildVisible | kGroup, 140, 40, 140,
     10},
    {kNoId, kAtomStatic, nullptr, kTextInstallStep, DialogTextKind::static_text, kChildVisible | kGroup, 140, 54, 140,
     10},
    {kNoId, kAtomStatic, nullptr, kTextRestartStep, DialogTextKind::static_text, kChildVisible | kGroup, 140, 68, 140,
     10},
    {kNoId, kAtomStatic, nullptr, kTextClickInstall, DialogTextKind::static_text, kChildVisible | kGroup, 130, 90, 150,
     10},
    {IDC_PROGRESS_GROUP, kAtomButton, nullptr, kTextProgressGroup, DialogTextKind::group_box,
     kChildVisible | kGroup | kButtonGroupBox, 130, 110, 164, 66},
    {IDC_PROGRESS_LINE1, kAtomStatic, nullptr, kNoText, DialogTextKind::static_text, kChildVisible | kGroup, 136, 124,
     154, 10},
    {IDC_PROGRESS_LINE2, kAtomStatic, nullptr, kNoText, DialogTextKind::static_text, kChildVisible | kGroup, 136, 134,
     154, 10},
    {IDC_PROGRESS_BAR, 0, "MSCTLS_PROGRESS32", kNoText, DialogTextKind::static_text, kChildVisible, 136, 152, 152, 12},
    {IDC_EXIT, kAtomButton, nullptr, kTextExitButton, DialogTextKind::push_button, kChildVisible | kTabStop, 158, 182,
     60, 14},
    {IDC_INSTALL, kAtomButton, nullptr, kTextInstallButton, DialogTextKind::push_button,
     kChildVisible | kTabStop | kButtonDefault, 224, 182, 60, 14},
};

const std::int16_t kDialogWidth = 300;
const std::int16_t kDialogHeight = 200;

const std::string& control_text(const Control& control, std::string_view welcome, const KitTexts& texts,
                                std::string& scratch)
{
    if (control.text == kWelcome)
        return scratch = std::string(welcome);
    if (control.text == kNoText)
        return scratch = std::string();
    return texts.values[control.text];
}

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

std::size_t install_dialog_text_at(std::size_t position)
{
    if (position >= std::size(kControls) || kControls[position].text >= kKitTextCount)
        return kKitTextCount;
    return kControls[position].text;
}

std::size_t install_dialog_control_count()
{
    return std::size(kControls);
}

std::vector<DialogText> install_dialog_texts(std::string_view caption, std::string_view welcome, const KitTexts& texts)
{
    std::vector<DialogText> out;
    out.push_back({"caption", std::string(caption), DialogTextKind::caption, 0, 0, kDialogWidth, kDialogHeight});
    for (const Control& control : kControls) {
        if (control.text == kNoText)
            continue;
        std::string scratch;
        const std::string field = control.text == kWelcome ? "welcome" : kKitTexts[control.text].key;
        out.push_back({field, control_text(control, welcome, texts, scratch), control.kind, control.x, control.y,
                       control.width, control.height});
    }
    return out;
}

DialogText progress_line_text(int line, std::string field, std::string text)
{
    const std::uint16_t id = line == 1 ? IDC_PROGRESS_LINE1 : IDC_PROGRESS_LINE2;
    for (const Control& control : kControls)
        if (control.id == id)
            return {std::move(field), std::move(text), control.kind,  control.x,
                    control.y,        control.width,   control.height};
    throw std::logic_error("the dialog has no progress line " + std::to_string(line));
}

std::vector<std::uint8_t> encode_install_dialog(std::string_view caption, std::string_view welcome,
                                                const KitTexts& texts)
{
    std::vector<std::uint8_t> out;
    append_u32(out, kPopup | kCaption | kSysMenu | kModalFrame | kSetFont | k3dLook);
    append_u32(out, 0);  // extended style
    append_u16(out, static_cast<std::uint16_t>(std::size(kControls)));
    append_i16(out, 40);
    append_i16(out, 20);
    append_i16(out, kDialogWidth);
    append_i16(out, kDialogHeight);
    append_u16(out, 0);  // no menu
    append_u16(out, 0);  // the default dialog class
    append_utf16le(out, utf16_or_refuse(caption, "the dialog caption"), true);
    append_u16(out, 8);  // point size
    append_utf16le(out, u"Helv", true);

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
        std::string scratch;
        const std::string_view what = control.text == kWelcome  ? std::string_view("the welcome paragraph")
                                      : control.text == kNoText ? std::string_view("a control text")
                                                                : std::string_view(kKitTexts[control.text].key);
        append_utf16le(out, utf16_or_refuse(control_text(control, welcome, texts, scratch), what), true);
        append_u16(out, 0);  // no creation data
    }
    return out;
}

}  // namespace upkit::kitbuild
