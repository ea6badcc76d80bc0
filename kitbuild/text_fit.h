// Whether a text of the install dialog fits its control as Windows shows it:
// measured in pixels with the dialog font's metrics (dialog_font_metrics.h),
// broken into lines as the control breaks it.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "dialog_resource.h"

namespace upkit::kitbuild {

// Dialog base units: what one horizontal and one vertical unit times four
// and eight are in pixels.
struct DialogBaseUnits {
    int x;
    int y;
};

DialogBaseUnits dialog_base_units();

// A length in dialog units as pixels, horizontally and vertically.
int horizontal_pixels(int dialog_units);
int vertical_pixels(int dialog_units);

// The text a control draws for `ansi` (Windows-1252), with its & prefix
// markers taken out: "&Install" draws "Install", "&&" draws one "&".
std::string drawn_text(std::string_view ansi);

// The width in pixels of one line of drawn text.
int text_width(std::string_view drawn);

// One line of a static control's text. A word too wide for a line of its
// own is not carried over: the control draws what fits and clips the rest.
struct WrappedLine {
    std::string shown;
    std::string clipped_word;  // the whole word, when the line clips one

    bool operator==(const WrappedLine&) const = default;
};

// The lines a left-aligned static control shows drawn text in, `width`
// pixels wide: broken at the last space before the first character that
// does not fit, and at explicit line breaks (CR LF, LF or CR).
std::vector<WrappedLine> wrapped_lines(std::string_view drawn, int width);

// Nothing when the text fits its control; else what does not fit, for a
// warning: "needs 5 lines in the dialog, which shows 3: the text is cut
// after \"...\"". The text is UTF-8 that Windows-1252 can spell.
std::optional<std::string> text_overflow(const DialogText& text);

}  // namespace upkit::kitbuild
