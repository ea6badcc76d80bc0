// Dialog templates (RT_DIALOG): the classic layout that resource compilers
// write for DIALOG statements, and the extended one of DIALOGEX.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace upkit::kitread {

// A menu, class or text field of a template: a 16-bit ordinal (a resource id,
// or a predefined window class atom) or a string, possibly empty.
struct NameOrOrdinal {
    std::optional<std::uint16_t> ordinal;
    std::string text;

    bool operator==(const NameOrOrdinal&) const = default;
};

struct DialogFont {
    std::uint16_t point_size = 0;
    std::uint16_t weight = 0;  // extended templates only
    bool italic = false;       // extended templates only
    std::uint8_t charset = 0;  // extended templates only
    std::string name;
};

struct DialogControl {
    std::uint32_t id = 0;  // 16 bits in classic templates: 0xFFFF for "no id"
    std::uint32_t style = 0;
    std::uint32_t ex_style = 0;
    std::uint32_t help_id = 0;  // extended templates only
    std::int16_t x = 0, y = 0, width = 0, height = 0;
    NameOrOrdinal window_class;
    NameOrOrdinal text;
    std::vector<std::uint8_t> creation_data;
};

struct DialogTemplate {
    bool extended = false;
    std::uint32_t style = 0;
    std::uint32_t ex_style = 0;
    std::uint32_t help_id = 0;  // extended templates only
    std::int16_t x = 0, y = 0, width = 0, height = 0;
    NameOrOrdinal menu;          // empty: no menu
    NameOrOrdinal window_class;  // empty: the system's dialog class
    std::string caption;
    std::optional<DialogFont> font;  // present when the style has DS_SETFONT
    std::vector<DialogControl> controls;
};

const std::uint32_t kDialogStyleSetFont = 0x40;  // DS_SETFONT

// Decodes a template; throws DecodeError when it runs past its data.
DialogTemplate decode_dialog(std::span<const std::uint8_t> data);

// "Button", "Edit", "Static", "ListBox", "ScrollBar", "ComboBox" for the
// predefined class atoms 0x80 to 0x85; empty for others.
std::string predefined_class_name(std::uint16_t atom);

// A class field for people: the predefined name, "#atom", or the string.
std::string describe_class(const NameOrOrdinal& window_class);

}  // namespace upkit::kitread
