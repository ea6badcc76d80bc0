// The kit's install dialog as a resource: the fixed layout every kit shares,
// with the kit's own caption and welcome paragraph.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "kit_texts.h"

namespace upkit::kitbuild {

// A classic dialog template (not the extended form), laid out as resource
// compilers lay it out: each control on a 4-byte boundary, the picture's and
// the progress bar's classes as upper-case names, the other classes as
// atoms. The texts are UTF-8; throws KitError for text that is not.
std::vector<std::uint8_t> encode_install_dialog(std::string_view caption, std::string_view welcome,
                                                const KitTexts& texts);

enum class DialogTextKind {
    caption,
    static_text,
    group_box,
    push_button
};

// A text the dialog shows and the rectangle it is shown in, in dialog units
// (the caption's is the whole dialog's). `field` names it as the manifest
// does: "caption", "welcome", or a key of the [messages] table.
struct DialogText {
    std::string field;
    std::string text;  // UTF-8
    DialogTextKind kind;
    int x, y, width, height;
};

// The text that the control at `position` of the template (from 0, in
// template order) shows, as an index into KitTexts; kKitTextCount for a
// control with a text of the kit's own (the welcome paragraph), with none,
// or past the last control.
std::size_t install_dialog_text_at(std::size_t position);

// How many controls the install dialog has.
std::size_t install_dialog_control_count();

// Every text the install dialog shows, in template order after the caption.
std::vector<DialogText> install_dialog_texts(std::string_view caption, std::string_view welcome, const KitTexts& texts);

// A text the install steps show in one of the two progress lines above the
// progress bar (`line` 1 or 2), which the template leaves empty.
DialogText progress_line_text(int line, std::string field, std::string text);

}  // namespace upkit::kitbuild
