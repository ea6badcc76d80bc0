// The text codec: Windows-1252, UTF-8 and UTF-16 in both directions, with one
// policy for the five bytes Windows-1252 leaves undefined.

#include <gtest/gtest.h>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "text_codec.h"

namespace upkit {
namespace {

const unsigned char kUndefined[] = {0x81, 0x8D, 0x8F, 0x90, 0x9D};

TEST(Windows1252, EveryByteHasOneCodePointAndComesBack)
{
    EXPECT_EQ(utf8_from_windows1252("caf\xe9"), "caf\xc3\xa9");
    EXPECT_EQ(utf8_from_windows1252("\x80"), "\xe2\x82\xac");          // euro sign
    EXPECT_EQ(utf8_from_windows1252("\x9f"), "\xc5\xb8");              // Y with diaeresis
    EXPECT_EQ(utf8_from_windows1252("\x8a\x9a"), "\xc5\xa0\xc5\xa1");  // S and s with caron
    EXPECT_EQ(utf8_from_windows1252("\x99"), "\xe2\x84\xa2");          // trade mark
    // The five undefined bytes become the C1 controls of the same number and
    // go back to their bytes.
    for (const unsigned char byte : kUndefined) {
        EXPECT_EQ(windows1252_code_point(byte), static_cast<char32_t>(byte));
        const std::string utf8 = utf8_from_windows1252(std::string(1, static_cast<char>(byte)));
        EXPECT_EQ(utf8, (std::string{'\xc2', static_cast<char>(byte)}));
        EXPECT_EQ(windows1252_from_utf8(utf8), std::string(1, static_cast<char>(byte)));
    }
    // All 256 bytes are distinct and convert back.
    std::string all;
    for (int b = 0; b < 256; ++b)
        all += static_cast<char>(b);
    const std::string utf8 = utf8_from_windows1252(all);
    EXPECT_TRUE(is_utf8(utf8));
    EXPECT_EQ(windows1252_from_utf8(utf8), all);
}

TEST(Windows1252, EachCodePointHasAtMostOneByte)
{
    for (int b = 0; b < 256; ++b) {
        const char32_t c = windows1252_code_point(static_cast<unsigned char>(b));
        EXPECT_EQ(windows1252_byte(c), static_cast<unsigned char>(b)) << b;
    }
    // The places of the bytes 0x80 to 0x9F that stand for other characters
    // are not theirs: U+0080 is not the euro sign's byte.
    EXPECT_EQ(windows1252_byte(0x80), std::nullopt);
    EXPECT_EQ(windows1252_byte(0x9F), std::nullopt);
    EXPECT_EQ(windows1252_byte(0x4E2D), std::nullopt);
}

TEST(Windows1252, TextOutsideItOrNotUtf8IsNotStored)
{
    EXPECT_EQ(windows1252_from_utf8("\xe2\x82\xac 5"), std::string("\x80 5"));
    EXPECT_EQ(windows1252_from_utf8("\xe4\xb8\xad"), std::nullopt);  // a CJK character
    EXPECT_EQ(windows1252_from_utf8("\xc2\x80"), std::nullopt);      // U+0080, a defined byte's place
    EXPECT_EQ(windows1252_from_utf8("caf\xe9"), std::nullopt);       // Latin-1 bytes, not UTF-8
    EXPECT_EQ(windows1252_from_utf8("\xc1\x81"), std::nullopt);      // overlong 'A'
    EXPECT_EQ(windows1252_from_utf8("\x80"), std::nullopt);          // a stray continuation byte
    EXPECT_EQ(windows1252_from_utf8("\xC3"), std::nullopt);          // cut short
    EXPECT_EQ(windows1252_from_utf8("\xE0\x80\xA9"), std::nullopt);  // overlong
}

TEST(Utf8, MalformedSequencesAreRefusedWhereTheyStart)
{
    for (const char* bad : {"\xC3", "\xC0\x80", "\xC1\xBF", "\xED\xA0\x80", "\xF4\x90\x80\x80", "\xF5\x80\x80\x80",
                            "\x80", "\xE2\x82", "\xE2\x28\xA1", "\xF0\x8F\xBF\xBF"}) {
        const std::string text = std::string("ok") + bad;
        std::size_t at = 2;
        EXPECT_EQ(next_code_point(text, at), std::nullopt) << bad;
        EXPECT_EQ(at, 2u) << bad;
        EXPECT_FALSE(is_utf8(text)) << bad;
    }
    // Each length's first and last code point.
    for (const char32_t c :
         {U'\0', U'\x7F', U'\x80', U'\x7FF', U'\x800', U'\xD7FF', U'\xE000', U'\xFFFF', U'\x10000', U'\x10FFFF'}) {
        std::string text;
        append_utf8(text, c);
        std::size_t at = 0;
        EXPECT_EQ(next_code_point(text, at), c);
        EXPECT_EQ(at, text.size());
    }
}

TEST(Utf16, RefusesWhatIsNotUtf8)
{
    EXPECT_EQ(utf16_from_utf8("a\xC3\xA9"), std::u16string(u"a\u00E9"));
    EXPECT_EQ(utf16_from_utf8("\xF0\x9F\x98\x80"), std::u16string(u"\U0001F600"));
    for (const char* bad : {"\xC3", "\xC0\x80", "\xED\xA0\x80", "\xF4\x90\x80\x80", "\x80", "\xE2\x82"})
        EXPECT_FALSE(utf16_from_utf8(bad)) << bad;
}

TEST(Utf16, LittleEndianBytesComeBackAsUtf8AndLoneSurrogatesAsReplacement)
{
    std::vector<std::uint8_t> bytes;
    append_utf16le(bytes, u"A\u00E9\U0001F600", true);
    EXPECT_EQ(bytes, (std::vector<std::uint8_t>{'A', 0, 0xE9, 0, 0x3D, 0xD8, 0x00, 0xDE, 0, 0}));
    EXPECT_EQ(utf8_from_utf16le(bytes), std::string("A\xC3\xA9\xF0\x9F\x98\x80") + '\0');

    const std::vector<std::uint8_t> lone = {0x3D, 0xD8, 'x', 0, 0x00, 0xDE, 'y'};  // and an odd last byte
    EXPECT_EQ(utf8_from_utf16le(lone), "\xEF\xBF\xBDx\xEF\xBF\xBD");
}

// C1 controls reach a terminal as \xNN, like C0 controls.
TEST(Printable, ControlCharactersAreEscapedInBothRanges)
{
    EXPECT_EQ(printable("a\x1b[2Jb"), "a\\x1B[2Jb");
    EXPECT_EQ(printable("x\xc2\x9d]0;owned\x07"), "x\\x9D]0;owned\\x07");
    EXPECT_EQ(printable("caf\xc3\xa9 \xc2\xa0\x7f"), "caf\xc3\xa9 \xc2\xa0\\x7F");
}

}  // namespace
}  // namespace upkit
