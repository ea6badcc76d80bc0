// Whether the dialog's texts fit their controls: the font's metrics and the
// dialog units they give, line breaking as a static control breaks, the &
// prefix of buttons, and the texts every kit and the demo kit show.

#include <gtest/gtest.h>

#include "dialog_font_metrics.h"
#include "dialog_resource.h"
#include "kit_texts.h"
#include "manifest.h"
#include "text_fit.h"

using namespace upkit::kitbuild;

namespace {

// A kit author's welcome paragraph of 206 characters, which the dialog cut
// mid-sentence.
const char* const kLongWelcome =
    "Welcome to the Gadget 3.0 Upgrade kit from Northwind Tools. It brings your copy of Gadget 2.0 or 2.5a up to "
    "version 3.0 and keeps all your settings, templates and documents just as they were. This kit will:";

const DialogText& text_of(const std::vector<DialogText>& texts, std::string_view field)
{
    for (const DialogText& text : texts)
        if (text.field == field)
            return text;
    throw std::runtime_error("no dialog text " + std::string(field));
}

std::vector<DialogText> dialog_texts(std::string_view welcome, const KitTexts& texts = KitTexts())
{
    return install_dialog_texts("Northwind Tools Gadget 3.0 Upgrade", welcome, texts);
}

// The lines a text is wrapped in, as they show.
std::vector<std::string> shown_lines(std::string_view drawn, int width)
{
    std::vector<std::string> out;
    for (const WrappedLine& line : wrapped_lines(drawn, width))
        out.push_back(line.shown);
    return out;
}

}  // namespace

namespace upkit::kitbuild {

void PrintTo(const WrappedLine& line, std::ostream* out)
{
    *out << '"' << line.shown << '"';
    if (!line.clipped_word.empty())
        *out << " clipping \"" << line.clipped_word << '"';
}

}  // namespace upkit::kitbuild

TEST(DialogFont, IsTheEightPointFaceAndGivesTheDialogUnitsOfWindows)
{
    // The 8-point MS Sans Serif face at 96 dpi: 13 pixels high, and dialog
    // base units of 6 by 13, which make the 300 x 200 dialog 450 x 325.
    EXPECT_EQ(kDialogFont.height, 13);
    EXPECT_EQ(kDialogFont.ascent, 11);
    EXPECT_EQ(dialog_base_units().x, 6);
    EXPECT_EQ(dialog_base_units().y, 13);
    EXPECT_EQ(horizontal_pixels(300), 450);
    EXPECT_EQ(vertical_pixels(200), 325);
    // Rounded to the nearest pixel: 30 units are 48.75 pixels high.
    EXPECT_EQ(vertical_pixels(30), 49);
    EXPECT_EQ(vertical_pixels(10), 16);
    EXPECT_EQ(horizontal_pixels(150), 225);
}

TEST(TextWidth, AddsTheAdvanceOfEachCharacterAndExpandsTabs)
{
    EXPECT_EQ(text_width(""), 0);
    EXPECT_EQ(text_width("iW"), kDialogFont.widths['i'] + kDialogFont.widths['W']);
    // A tab moves to the next stop of eight average characters (40 pixels).
    EXPECT_EQ(text_width("i\t"), 8 * kDialogFont.average_width);
    EXPECT_EQ(text_width("\ti\t"), 16 * kDialogFont.average_width);
}

TEST(DrawnText, LeavesOutTheAcceleratorMarker)
{
    EXPECT_EQ(drawn_text("&Install"), "Install");
    EXPECT_EQ(drawn_text("E&xit"), "Exit");
    EXPECT_EQ(drawn_text("Save && E&xit"), "Save & Exit");
    EXPECT_EQ(drawn_text("&&&&"), "&&");
    EXPECT_EQ(drawn_text("Trailing &"), "Trailing &");
}

TEST(WrappedLines, BreakAtSpacesWhereALineWouldGrowTooWide)
{
    const int a = kDialogFont.widths['a'];
    const int space = kDialogFont.widths[' '];

    // Two words of four letters: they share a line exactly as wide as both,
    // and break at the space when it is one pixel narrower.
    EXPECT_EQ(shown_lines("aaaa aaaa", 8 * a + space), (std::vector<std::string>{"aaaa aaaa"}));
    EXPECT_EQ(shown_lines("aaaa aaaa", 8 * a + space - 1), (std::vector<std::string>{"aaaa", "aaaa"}));
    // The spaces at a break are on neither line.
    EXPECT_EQ(shown_lines("aaaa   aaaa", 6 * a), (std::vector<std::string>{"aaaa", "aaaa"}));
    EXPECT_EQ(shown_lines("aa aa aa aa", 5 * a + space), (std::vector<std::string>{"aa aa", "aa aa"}));
}

TEST(WrappedLines, AWordTooWideForALineIsClippedNotCarriedOver)
{
    const int a = kDialogFont.widths['a'];
    // The long word gets a line of its own, which shows its first four
    // letters; the rest of it is lost and the next word starts a line.
    const std::vector<WrappedLine> lines = wrapped_lines("aa aaaaaaaaaa aa", 4 * a);
    EXPECT_EQ(lines, (std::vector<WrappedLine>{{"aa", ""}, {"aaaa", "aaaaaaaaaa"}, {"aa", ""}}));
    // A line too narrow for one letter shows nothing of its word.
    EXPECT_EQ(wrapped_lines("aaa b", 1), (std::vector<WrappedLine>{{"", "aaa"}, {"", "b"}}));
    // Spaces that start a paragraph are drawn, and the word after them is
    // clipped where the line ends.
    EXPECT_EQ(wrapped_lines("  aaaaaa", 2 * a), (std::vector<WrappedLine>{{"  a", "aaaaaa"}}));
    // Spaces alone wider than the line make one empty line.
    EXPECT_EQ(shown_lines(std::string(100, ' ') + "\n" + std::string(100, ' '), 10),
              (std::vector<std::string>{"", ""}));
}

TEST(WrappedLines, HonourExplicitLineBreaks)
{
    EXPECT_EQ(shown_lines("one\r\ntwo\nthree\rfour", 1000), (std::vector<std::string>{"one", "two", "three", "four"}));
    // An empty line counts; a break at the very end opens no line.
    EXPECT_EQ(shown_lines("one\n\ntwo\n", 1000), (std::vector<std::string>{"one", "", "two"}));
    EXPECT_EQ(shown_lines("", 1000), (std::vector<std::string>{}));
}

TEST(TextOverflow, TheLongWelcomeNeedsFiveLinesWhereTheDialogShowsThree)
{
    ASSERT_EQ(std::string_view(kLongWelcome).size(), 206u);
    const std::optional<std::string> overflow = text_overflow(text_of(dialog_texts(kLongWelcome), "welcome"));
    ASSERT_TRUE(overflow);
    EXPECT_EQ(*overflow,
              "needs 5 lines in the dialog, which shows 3: the text is cut after \"... and keeps all your\"");
}

TEST(TextOverflow, TheStandardTextsAndTheDemoKitFit)
{
    const Manifest demo = read_manifest(DEMO_KIT_MANIFEST);
    for (const DialogText& text : install_dialog_texts(demo.kit.dialog_caption(), demo.kit.welcome, demo.kit.texts)) {
        SCOPED_TRACE(text.field);
        EXPECT_EQ(text_overflow(text), std::nullopt);
    }
    for (const upkit::AppVersionRow& row : demo.app_versions)
        EXPECT_EQ(text_overflow(progress_line_text(1, "display", row.display)), std::nullopt) << row.display;
    for (const upkit::ArchiveRow& row : demo.archives)
        EXPECT_EQ(text_overflow(progress_line_text(1, "progress", row.progress)), std::nullopt) << row.progress;
    EXPECT_EQ(text_overflow(progress_line_text(2, "initializing", demo.kit.texts[kTextInitializing])), std::nullopt);
    // A welcome that takes all three lines fits too.
    const std::string three_lines = "Welcome to the Widget 2.1 Upgrade kit. It upgrades Widget 2.0 and 2.0a to "
                                    "version 2.1 and keeps your settings. This kit will:";
    ASSERT_EQ(wrapped_lines(three_lines, horizontal_pixels(150)).size(), 3u);
    EXPECT_EQ(text_overflow(text_of(dialog_texts(three_lines), "welcome")), std::nullopt);
}

TEST(TextOverflow, AOneLineStepThatWrapsIsCut)
{
    KitTexts texts;
    texts[kTextCheckStep] = "1. Check for a valid and licensed copy of the product on this machine.";
    const std::optional<std::string> overflow = text_overflow(text_of(dialog_texts("Welcome.", texts), "check_step"));
    ASSERT_TRUE(overflow);
    EXPECT_EQ(*overflow,
              "needs 2 lines in the dialog, which shows 1: the text is cut after \"... and licensed copy of\"");
}

TEST(TextOverflow, AWordWiderThanTheControlIsCutEvenWhenTheLinesFit)
{
    const std::optional<std::string> overflow = text_overflow(
        text_of(dialog_texts("Welcome to the Gadget kit: "
                             "Supercalifragilisticexpialidociousandmanymorelettersthanfit. This kit will:"),
                "welcome"));
    ASSERT_TRUE(overflow);
    EXPECT_EQ(*overflow,
              "the word \"Supercalifragilisticexpialidociousandmanymorelettersthanfit.\" is 276 pixels wide, "
              "and its line 225: the dialog shows only \"Supercalifragilisticexpialidociousandmanymorele\"");
}

TEST(TextOverflow, AProgressLineShowsOneLineAsWideAsTheGroup)
{
    const DialogText line = progress_line_text(1, "progress", "Installing the Gadget program and its help files...");
    EXPECT_EQ(horizontal_pixels(line.width), 231);
    EXPECT_EQ(text_overflow(line), std::nullopt);
    const std::optional<std::string> overflow = text_overflow(
        progress_line_text(1, "progress", "Installing the Gadget program, its help files and the sample documents..."));
    ASSERT_TRUE(overflow);
    EXPECT_EQ(*overflow,
              "needs 2 lines in the dialog, which shows 1: the text is cut after \"... its help files and\"");
}

TEST(TextOverflow, ButtonAndGroupLabelsAreOneLineInsideTheirMargins)
{
    KitTexts texts;
    // The button is 90 pixels wide and keeps 4 on each side: 82 for the
    // label. "&" takes no room, so 13 "a"s and one "&" just fit.
    const int a = kDialogFont.widths['a'];
    ASSERT_EQ(a, 6);
    texts[kTextInstallButton] = "&" + std::string(13, 'a');
    EXPECT_EQ(text_overflow(text_of(dialog_texts("Welcome.", texts), "install_button")), std::nullopt);
    // "&&" is a drawn "&", which does not.
    texts[kTextInstallButton] = "&&" + std::string(13, 'a');
    EXPECT_TRUE(text_overflow(text_of(dialog_texts("Welcome.", texts), "install_button")));

    texts[kTextExitButton] = "Exit without installing";
    const std::optional<std::string> button = text_overflow(text_of(dialog_texts("Welcome.", texts), "exit_button"));
    ASSERT_TRUE(button);
    EXPECT_EQ(*button, "is 97 pixels wide on one line in the dialog, and the button has room for 82: 15 pixels of "
                       "it are cut off");

    // The group box is 246 pixels wide and keeps 8 on each side; its label
    // does not wrap however long it is.
    texts[kTextProgressGroup] = std::string(39, 'a');
    const std::optional<std::string> group = text_overflow(text_of(dialog_texts("Welcome.", texts), "progress_group"));
    ASSERT_TRUE(group);
    EXPECT_EQ(*group, "is 234 pixels wide on one line in the dialog, and the group box has room for 230: 4 pixels of "
                      "it are cut off");
}

TEST(TextOverflow, TheCaptionIsMeasuredInBoldBesideTheCloseButton)
{
    // 450 pixels less 60 for the close button and margins: 390, each
    // character a pixel wider than the dialog font's.
    const std::string fits(55, 'a');  // 55 * 7 = 385
    const std::string cut(56, 'a');   // 392
    EXPECT_EQ(text_overflow(install_dialog_texts(fits, "Welcome.", KitTexts()).front()), std::nullopt);
    const std::optional<std::string> overflow =
        text_overflow(install_dialog_texts(cut, "Welcome.", KitTexts()).front());
    ASSERT_TRUE(overflow);
    EXPECT_EQ(*overflow, "is 392 pixels wide on one line in the dialog, and the title bar has room for 390: 2 pixels "
                         "of it are cut off");
}

TEST(TextOverflow, MeasuresCharactersOutsideAsciiInTheirWindows1252Widths)
{
    // "É" is one 7-pixel character of the face, though two bytes of UTF-8.
    KitTexts texts;
    std::string eleven;
    for (int i = 0; i < 11; ++i)
        eleven += "\xC3\x89";
    texts[kTextInstallButton] = eleven;  // 77 of the button's 82 pixels
    EXPECT_EQ(text_overflow(text_of(dialog_texts("Welcome.", texts), "install_button")), std::nullopt);
    // A character Windows-1252 lacks (U+2192) is drawn as "?", 6 pixels.
    texts[kTextInstallButton] = eleven + "\xE2\x86\x92";
    EXPECT_TRUE(text_overflow(text_of(dialog_texts("Welcome.", texts), "install_button")));
}
