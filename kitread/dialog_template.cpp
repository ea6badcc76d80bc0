#include "dialog_template.h"

#include <fmt/format.h>

#include "byte_cursor.h"

namespace upkit::kitread {

namespace {

const std::uint16_t kOrdinalMarker = 0xFFFF;
const std::uint16_t kExtendedVersion = 1;

NameOrOrdinal read_name_or_ordinal(ByteCursor& in, const std::string& field)
{
    const std::uint16_t first = in.peek_u16(field);
    if (first == 0) {
        in.u16(field);
        return {};
    }
    if (first == kOrdinalMarker) {
        in.u16(field);
        return NameOrOrdinal{in.u16(field), {}};
    }
    return NameOrOrdinal{std::nullopt, in.utf16z(field)};
}

void read_rectangle(ByteCursor& in, const std::string& prefix, std::int16_t& x, std::int16_t& y, std::int16_t& width,
                    std::int16_t& height)
{
    x = in.i16(prefix + "x");
    y = in.i16(prefix + "y");
    width = in.i16(prefix + "width");
    height = in.i16(prefix + "height");
}

DialogControl read_control(ByteCursor& in, bool extended, std::size_t number)
{
    const std::string prefix = fmt::format("control {} ", number);
    DialogControl control;
    in.align(4);
    if (extended) {
        control.help_id = in.u32(prefix + "help id");
        control.ex_style = in.u32(prefix + "extended style");
        control.style = in.u32(prefix + "style");
    } else {
        control.style = in.u32(prefix + "style");
        control.ex_style = in.u32(prefix + "extended style");
    }
    read_rectangle(in, prefix, control.x, control.y, control.width, control.height);
    control.id = extended ? in.u32(prefix + "id") : in.u16(prefix + "id");
    control.window_class = read_name_or_ordinal(in, prefix + "class");
    control.text = read_name_or_ordinal(in, prefix + "text");
    const std::uint16_t extra = in.u16(prefix + "creation data size");
    const std::span<const std::uint8_t> data = in.bytes(extra, prefix + "creation data");
    control.creation_data.assign(data.begin(), data.end());
    return control;
}

}  // namespace

DialogTemplate decode_dialog(std::span<const std::uint8_t> data)
{
    ByteCursor in(data, "dialog template");
    DialogTemplate dialog;
    dialog.extended =
        data.size() >= 4 && data[0] == kExtendedVersion && data[1] == 0 && data[2] == 0xFF && data[3] == 0xFF;
    if (dialog.extended) {
        in.u32("version and signature");
        dialog.help_id = in.u32("help id");
        dialog.ex_style = in.u32("extended style");
        dialog.style = in.u32("style");
    } else {
        dialog.style = in.u32("style");
        dialog.ex_style = in.u32("extended style");
    }
    const std::uint16_t count = in.u16("control count");
    read_rectangle(in, "", dialog.x, dialog.y, dialog.width, dialog.height);
    dialog.menu = read_name_or_ordinal(in, "menu");
    dialog.window_class = read_name_or_ordinal(in, "class");
    dialog.caption = in.utf16z("caption");
    if (dialog.style & kDialogStyleSetFont) {
        DialogFont font;
        font.point_size = in.u16("font size");
        if (dialog.extended) {
            font.weight = in.u16("font weight");
            font.italic = in.u8("font italic flag") != 0;
            font.charset = in.u8("font character set");
        }
        font.name = in.utf16z("font name");
        dialog.font = std::move(font);
    }
    // A count the data cannot hold ends at the first control that runs past
    // the end: every control takes at least 18 bytes.
    for (std::size_t i = 0; i < count; ++i)
        dialog.controls.push_back(read_control(in, dialog.extended, i + 1));
    return dialog;
}

std::string predefined_class_name(std::uint16_t atom)
{
    switch (atom) {
    case 0x80:
        return "Button";
    case 0x81:
        return "Edit";
    case 0x82:
        return "Static";
    case 0x83:
        return "ListBox";
    case 0x84:
        return "ScrollBar";
    case 0x85:
        return "ComboBox";
    default:
        return {};
    }
}

std::string describe_class(const NameOrOrdinal& window_class)
{
    if (!window_class.ordinal)
        return window_class.text;
    const std::string name = predefined_class_name(*window_class.ordinal);
    return name.empty() ? fmt::format("#{}", *window_class.ordinal) : name;
}

}  // namespace upkit::kitread
