#include "text_fit.h"

#include <fmt/format.h>
#include <fmt/ranges.h>

#include "dialog_font_metrics.h"
#include "text_codec.h"

namespace upkit::kitbuild {

namespace {

// DrawText expands a tab to the next multiple of eight average characters.
const int kTabStop = 8 * kDialogFont.average_width;

// A push button's text is centred inside its face, which takes a 2-pixel
// raised edge on each side, and the focus rectangle lies a pixel or two
// inside that; a default button adds a 1-pixel frame. Reserving 4 pixels on
// each side keeps a label clear of all of it, on the safe side.
const int kButtonMargin = 4;

// A group box draws its label over the top line of its frame, starting
// about one character in from the left corner. Reserving 8 pixels on each
// side keeps the label clear of both corners, on the safe side.
const int kGroupBoxMargin = 8;

// The title bar is drawn in a bold caption font, not the dialog font; its
// glyphs are about a pixel wider each than the regular face's, so the
// caption is measured with the dialog font plus one pixel per character.
// The dialog has no title bar icon (it has a modal frame) and only a close
// button: today's Windows draws that button about 46 pixels wide at 96 dpi.
// Reserving 60 pixels of the dialog's width for the close button and the
// margins at either end is a conservative estimate; the window's frame,
// which makes the title bar wider than the dialog's client area, is not
// counted, also on the safe side.
const int kCaptionBoldAllowance = 1;
const int kCaptionReserve = 60;

// How many of a cut line's last words a warning quotes.
const std::size_t kQuotedWords = 4;

int advance(unsigned char byte, int x)
{
    if (byte == '\t')
        return (x / kTabStop + 1) * kTabStop - x;
    return kDialogFont.widths[byte];
}

// The text as the dialog draws it: in Windows-1252, the face's code page,
// into which Windows converts a character the code page lacks as "?". Bytes
// that are not UTF-8 (which the build refuses elsewhere) count as "?" too.
std::string ansi_for_measuring(std::string_view utf8)
{
    std::string out;
    std::size_t at = 0;
    while (at < utf8.size()) {
        const std::optional<char32_t> code_point = next_code_point(utf8, at);
        if (!code_point) {
            ++at;
            out += '?';
            continue;
        }
        const std::optional<unsigned char> byte = windows1252_byte(*code_point);
        out += byte ? static_cast<char>(*byte) : '?';
    }
    return out;
}

bool is_line_break(char c)
{
    return c == '\r' || c == '\n';
}

std::string_view trim_trailing_spaces(std::string_view text)
{
    while (!text.empty() && text.back() == ' ')
        text.remove_suffix(1);
    return text;
}

// The last few words of a line, for a warning: "... the last words".
std::string closing_words(std::string_view line)
{
    line = trim_trailing_spaces(line);
    std::size_t start = line.size();
    std::size_t words = 0;
    while (start > 0 && words < kQuotedWords) {
        std::size_t space = line.rfind(' ', start - 1);
        start = space == std::string_view::npos ? 0 : space;
        ++words;
        if (start > 0)
            while (start > 0 && line[start - 1] == ' ')
                --start;
    }
    std::string_view tail = line.substr(start);
    while (!tail.empty() && tail.front() == ' ')
        tail.remove_prefix(1);
    const std::string text = utf8_from_windows1252(tail);
    return start > 0 ? "... " + text : text;
}

std::string_view control_name(DialogTextKind kind)
{
    switch (kind) {
    case DialogTextKind::caption:
        return "title bar";
    case DialogTextKind::group_box:
        return "group box";
    case DialogTextKind::push_button:
        return "button";
    case DialogTextKind::static_text:
        break;
    }
    return "control";
}

std::optional<std::string> one_line_overflow(const DialogText& text, const std::string& drawn)
{
    int width = text_width(drawn);
    int room = horizontal_pixels(text.width);
    switch (text.kind) {
    case DialogTextKind::caption:
        width += kCaptionBoldAllowance * static_cast<int>(drawn.size());
        room -= kCaptionReserve;
        break;
    case DialogTextKind::push_button:
        room -= 2 * kButtonMargin;
        break;
    case DialogTextKind::group_box:
        room -= 2 * kGroupBoxMargin;
        break;
    case DialogTextKind::static_text:
        break;
    }
    if (width <= room)
        return std::nullopt;
    return fmt::format("is {} pixels wide on one line in the dialog, and the {} has room for {}: {} pixels of it are "
                       "cut off",
                       width, control_name(text.kind), room, width - room);
}

std::optional<std::string> static_text_overflow(const DialogText& text, const std::string& drawn)
{
    const int width = horizontal_pixels(text.width);
    const std::vector<WrappedLine> lines = wrapped_lines(drawn, width);
    // A line the rectangle holds only in part loses its lower rows, the
    // baseline with them, so only whole lines count as shown.
    const std::size_t shown = static_cast<std::size_t>(vertical_pixels(text.height) / kDialogFont.height);
    std::vector<std::string> problems;
    if (lines.size() > shown && shown == 0)
        problems.push_back(fmt::format("needs {} line{} in the dialog, and its control is too low to show one",
                                       lines.size(), lines.size() == 1 ? "" : "s"));
    else if (lines.size() > shown)
        problems.push_back(fmt::format("needs {} lines in the dialog, which shows {}: the text is cut after \"{}\"",
                                       lines.size(), shown, closing_words(lines[shown - 1].shown)));
    for (std::size_t i = 0; i < lines.size() && i < shown; ++i)
        if (!lines[i].clipped_word.empty())
            problems.push_back(fmt::format("the word \"{}\" is {} pixels wide, and its line {}: the dialog shows only "
                                           "\"{}\"",
                                           utf8_from_windows1252(lines[i].clipped_word),
                                           text_width(lines[i].clipped_word), width,
                                           utf8_from_windows1252(lines[i].shown)));
    if (problems.empty())
        return std::nullopt;
    return fmt::format("{}", fmt::join(problems, "; "));
}

}  // namespace

DialogBaseUnits dialog_base_units()
{
    // As Windows derives them for a dialog with its own font: the
    // horizontal unit is the average width of the 52 letters "A" to "Z" and
    // "a" to "z", rounded to the nearest pixel as (total / 26 + 1) / 2, and
    // the vertical unit is the font's height.
    int letters = 0;
    for (char c = 'A'; c <= 'Z'; ++c)
        letters += kDialogFont.widths[static_cast<unsigned char>(c)] +
                   kDialogFont.widths[static_cast<unsigned char>(c - 'A' + 'a')];
    return {(letters / 26 + 1) / 2, kDialogFont.height};
}

// A rectangle in dialog units becomes pixels as MapDialogRect makes it:
// x * baseX / 4 and y * baseY / 8, each rounded to the nearest pixel (the
// rounding of MulDiv). Every control's edges are converted one by one, so
// its size in pixels is the size in units converted alone.
int horizontal_pixels(int dialog_units)
{
    return (dialog_units * dialog_base_units().x + 2) / 4;
}

int vertical_pixels(int dialog_units)
{
    return (dialog_units * dialog_base_units().y + 4) / 8;
}

std::string drawn_text(std::string_view ansi)
{
    // A "&" underlines the character after it, which is the control's
    // accelerator, and is not drawn itself; "&&" draws one "&". A "&" with
    // nothing after it is counted as drawn, on the safe side.
    std::string out;
    for (std::size_t i = 0; i < ansi.size(); ++i) {
        if (ansi[i] == '&' && i + 1 < ansi.size())
            ++i;
        out += ansi[i];
    }
    return out;
}

int text_width(std::string_view drawn)
{
    int x = 0;
    for (const char c : drawn)
        x += advance(static_cast<unsigned char>(c), x);
    return x;
}

std::vector<WrappedLine> wrapped_lines(std::string_view drawn, int width)
{
    std::vector<WrappedLine> lines;
    std::size_t at = 0;
    while (at < drawn.size()) {
        // One paragraph: up to an explicit line break.
        std::size_t end = at;
        while (end < drawn.size() && !is_line_break(drawn[end]))
            ++end;
        std::string_view rest = drawn.substr(at, end - at);
        do {
            // The longest start of the rest that fits the line.
            std::size_t fit = 0;
            for (int x = 0; fit < rest.size(); ++fit) {
                const int next = x + advance(static_cast<unsigned char>(rest[fit]), x);
                if (next > width)
                    break;
                x = next;
            }
            if (fit == rest.size()) {
                lines.push_back({std::string(trim_trailing_spaces(rest)), {}});
                break;
            }
            // Break at the last space at or before the first character that
            // does not fit; the spaces there are on neither line.
            const std::size_t space = rest.find_last_of(' ', fit);
            std::size_t next_line;
            if (space != std::string_view::npos && !trim_trailing_spaces(rest.substr(0, space)).empty()) {
                lines.push_back({std::string(trim_trailing_spaces(rest.substr(0, space))), {}});
                next_line = rest.find_first_not_of(' ', space);
            } else if (const std::size_t word_start = rest.find_first_not_of(' ');
                       word_start == std::string_view::npos) {
                // Nothing but spaces, more than the line holds.
                lines.emplace_back();
                break;
            } else {
                // The first word alone is too wide: the line shows what fits
                // of it, and the next line starts with the next word.
                const std::size_t word_end = rest.find(' ', word_start);
                lines.push_back(
                    {std::string(rest.substr(0, fit)), std::string(rest.substr(word_start, word_end - word_start))});
                next_line = word_end == std::string_view::npos ? word_end : rest.find_first_not_of(' ', word_end);
            }
            rest = next_line == std::string_view::npos ? std::string_view() : rest.substr(next_line);
        } while (!rest.empty());
        at = end;
        if (at < drawn.size()) {
            // CR LF is one break.
            if (drawn[at] == '\r' && at + 1 < drawn.size() && drawn[at + 1] == '\n')
                ++at;
            ++at;
        }
    }
    return lines;
}

std::optional<std::string> text_overflow(const DialogText& text)
{
    const std::string drawn = drawn_text(ansi_for_measuring(text.text));
    if (drawn.empty())
        return std::nullopt;
    if (text.kind == DialogTextKind::static_text)
        return static_text_overflow(text, drawn);
    return one_line_overflow(text, drawn);
}

}  // namespace upkit::kitbuild
