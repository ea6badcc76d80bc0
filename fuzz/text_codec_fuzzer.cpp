// Any bytes through the text codec, in every direction it converts: every
// conversion to UTF-8 gives UTF-8, and every conversion that is defined comes
// back to the bytes it started from.
//
//   scripts/fuzz text_codec_fuzzer
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "fuzz_support.h"
#include "text_codec.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    const bool utf8 = upkit::is_utf8(bytes);

    // Windows-1252 to UTF-8 is defined for every byte string and comes back.
    const std::string from_1252 = upkit::utf8_from_windows1252(bytes);
    FUZZ_CHECK(upkit::is_utf8(from_1252), "Windows-1252 text became malformed UTF-8");
    FUZZ_CHECK(upkit::windows1252_from_utf8(from_1252) == std::string(bytes), "Windows-1252 text did not come back");

    // UTF-8 to Windows-1252: defined only for UTF-8, and then back exactly.
    const std::optional<std::string> to_1252 = upkit::windows1252_from_utf8(bytes);
    FUZZ_CHECK(!to_1252 || utf8, "malformed UTF-8 was taken for Windows-1252 text");
    if (to_1252)
        FUZZ_CHECK(upkit::utf8_from_windows1252(*to_1252) == bytes, "a name stored in Windows-1252 reads otherwise");

    // Decoding code point by code point agrees with the whole-text test, and
    // each code point encodes back to the bytes it was read from.
    std::size_t at = 0;
    while (at < bytes.size()) {
        const std::size_t start = at;
        const std::optional<char32_t> c = upkit::next_code_point(bytes, at);
        if (!c) {
            FUZZ_CHECK(at == start, "a refused sequence moved the cursor");
            break;
        }
        std::string again;
        upkit::append_utf8(again, *c);
        FUZZ_CHECK(again == bytes.substr(start, at - start), "U+%X does not encode back to its bytes",
                   static_cast<unsigned>(*c));
    }
    FUZZ_CHECK((at == bytes.size()) == utf8, "code point decoding and is_utf8 disagree");

    // UTF-8 to UTF-16 is defined exactly for UTF-8, and comes back.
    const std::optional<std::u16string> units = upkit::utf16_from_utf8(bytes);
    FUZZ_CHECK(units.has_value() == utf8, "UTF-16 conversion and is_utf8 disagree");
    if (units) {
        std::vector<std::uint8_t> le;
        upkit::append_utf16le(le, *units, false);
        FUZZ_CHECK(upkit::utf8_from_utf16le(le) == bytes, "UTF-16 did not come back to its UTF-8");
    }

    // Any UTF-16 bytes give UTF-8, lone surrogates included.
    FUZZ_CHECK(upkit::is_utf8(upkit::utf8_from_utf16le(std::span(data, size))), "UTF-16 became malformed UTF-8");

    // What a terminal is shown holds no control character.
    if (utf8) {
        const std::string shown = upkit::printable(bytes);
        for (std::size_t i = 0; i < shown.size(); ++i) {
            const auto u = static_cast<unsigned char>(shown[i]);
            FUZZ_CHECK(u >= 0x20 && u != 0x7F, "a C0 control reached the terminal");
            FUZZ_CHECK(!(u == 0xC2 && i + 1 < shown.size() &&
                         (static_cast<unsigned char>(shown[i + 1]) & 0xE0) == 0x80),
                       "a C1 control reached the terminal");
        }
    }
    return 0;
}
