// The four tables byte for byte, and the rows they refuse or warn about.

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "kit_resource_ids.h"
#include "manifest.h"
#include "table_encoding.h"

using namespace upkit;
using namespace upkit::kitbuild;

namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes bytes(std::string_view text)
{
    return Bytes(text.begin(), text.end());
}

Origin origin_of(const std::string& table, int row)
{
    Origin origin;
    origin.table = table;
    origin.row = row;
    return origin;
}

AppVersionRow app_version(std::string display, std::string key, std::string value, std::string file,
                          std::uint16_t checksum)
{
    AppVersionRow row;
    row.display = std::move(display);
    row.key = std::move(key);
    row.value = std::move(value);
    row.file = std::move(file);
    row.checksum = checksum;
    row.origin = origin_of("app_versions", 1);
    return row;
}

WindowRow window(std::string display, std::string window_class, std::string title)
{
    WindowRow row;
    row.display = std::move(display);
    row.window_class = std::move(window_class);
    row.title = std::move(title);
    row.origin = origin_of("windows", 1);
    return row;
}

ArchiveRow archive(std::string progress, std::uint16_t base, std::string subdirectory, std::uint16_t id, int row = 1)
{
    ArchiveRow out;
    out.progress = std::move(progress);
    out.base = base;
    out.subdirectory = std::move(subdirectory);
    out.id = id;
    out.origin = origin_of("archives", row);
    return out;
}

RegistryRow registry(std::uint16_t root, std::string key, std::string value, std::uint16_t type, std::string data,
                     int row = 1)
{
    RegistryRow out;
    out.root = root;
    out.key = std::move(key);
    out.value = std::move(value);
    out.type = type;
    out.data = std::move(data);
    out.origin = origin_of("registry", row);
    return out;
}

template <typename Encode> std::string refusal(Encode encode)
{
    try {
        encode();
    } catch (const KitError& e) {
        return e.what();
    }
    ADD_FAILURE() << "the rows were accepted";
    return {};
}

bool contains(const std::string& text, const std::string& part)
{
    return text.find(part) != std::string::npos;
}

}  // namespace

TEST(TableBytes, EmptyTablesAreTheEndMarkerAlone)
{
    Diagnostics diagnostics;
    EXPECT_EQ(encode_app_versions({}, diagnostics), (Bytes{0, 0}));
    EXPECT_EQ(encode_window_list({}, diagnostics), (Bytes{0, 0}));
    EXPECT_EQ(encode_archive_list({}, diagnostics), (Bytes{0, 0}));
    EXPECT_EQ(encode_registry_list({}, diagnostics), (Bytes{0, 0}));
}

TEST(TableBytes, AppVersionsRowsFollowEachOtherWithTheChecksumAtAnOddOffset)
{
    Diagnostics diagnostics;
    // "A\0" "K\0" "\0" "F.EXE\0" is 11 bytes: the checksum starts at offset 11.
    const Bytes table = encode_app_versions({app_version("A", "K", "", "F.EXE", 0x1234),
                                             app_version("Detected 2", "S\\P", "Dir", "B\\X.DLL", 0xFF01)},
                                            diagnostics);
    Bytes expected = bytes(std::string("A\0K\0\0F.EXE\0", 11));
    expected.insert(expected.end(), {0x34, 0x12});
    const Bytes second = bytes(std::string("Detected 2\0S\\P\0Dir\0B\\X.DLL\0", 27));
    expected.insert(expected.end(), second.begin(), second.end());
    expected.insert(expected.end(), {0x01, 0xFF, 0x00, 0x00});
    EXPECT_EQ(table, expected);
    EXPECT_TRUE(diagnostics.warnings.empty());
}

TEST(TableBytes, WindowListRowsAreThreeStrings)
{
    Diagnostics diagnostics;
    const Bytes table = encode_window_list({window("Widget", "BW", ""), window("", "C", "T")}, diagnostics);
    // A row with an empty display name still begins with a non-zero word:
    // its NUL and the class's first character.
    EXPECT_EQ(table, bytes(std::string("Widget\0BW\0\0"
                                       "\0C\0T\0"
                                       "\0\0",
                                       18)));
}

TEST(TableBytes, ArchiveListRowsPackNumbersBetweenStrings)
{
    Diagnostics diagnostics;
    const Bytes table = encode_archive_list({archive("Go", KIT_BASE_INSTALL, "", 2001),
                                             archive("", KIT_BASE_WINDOWS, "Help", 0x0102, 2)},
                                            diagnostics);
    // "Go\0" puts the base at offset 3 and the id at offset 6; the second
    // row's empty text and base 1 read as the word 0x0100, not as the end.
    EXPECT_EQ(table, (Bytes{'G', 'o',  0,    0x00, 0x00, 0,   0xD1, 0x07,  //
                            0,   0x01, 0x00, 'H',  'e',  'l', 'p',  0,    0x02, 0x01, 0, 0}));
}

TEST(TableBytes, RegistryListRowsStartWithTheirRootCode)
{
    Diagnostics diagnostics;
    const Bytes table = encode_registry_list({registry(KIT_ROOT_LOCAL_MACHINE, "K", "", KIT_TYPE_DWORD, "0x1F"),
                                              registry(0x0100, "", "V", 7, "", 2)},
                                             diagnostics);
    EXPECT_EQ(table, (Bytes{0x02, 0x00, 'K', 0,   0, 0x04, 0x00, '0', 'x', '1', 'F', 0,  //
                            0x00, 0x01, 0,   'V', 0, 0x07, 0x00, 0,   0,   0}));
}

TEST(TableBytes, TextIsWrittenInTheKitsCodePage)
{
    Diagnostics diagnostics;
    // U+00E9 is 0xE9, U+20AC is 0x80 and U+2122 is 0x99 in Windows-1252.
    const Bytes table = encode_window_list({window("Caf\u00e9 \u20ac\u2122", "", "")}, diagnostics);
    EXPECT_EQ(table, (Bytes{'C', 'a', 'f', 0xE9, ' ', 0x80, 0x99, 0, 0, 0, 0, 0}));

    const std::string message = refusal([&] { encode_window_list({window("Widget \u4e2d", "", "")}, diagnostics); });
    EXPECT_TRUE(contains(message, "[[windows]] row 1, display")) << message;
    EXPECT_TRUE(contains(message, "Windows-1252")) << message;
    // A byte the code page leaves undefined is written from its C1 control,
    // as a kit read back shows it, so that a dumped kit builds the same.
    EXPECT_EQ(encode_window_list({window("A\u0081", "", "")}, diagnostics), (Bytes{'A', 0x81, 0, 0, 0, 0, 0}));
}

TEST(TableRefusals, RowsThatWouldReadAsTheEndOfTheirTable)
{
    Diagnostics diagnostics;
    std::string message =
        refusal([&] { encode_archive_list({archive("", KIT_BASE_INSTALL, "Sub", 2001)}, diagnostics); });
    EXPECT_TRUE(contains(message, "[[archives]] row 1, progress")) << message;
    EXPECT_TRUE(contains(message, "end of the table")) << message;
    // Only the base's low byte follows the empty text.
    refusal([&] { encode_archive_list({archive("", 0x0300, "", 2001)}, diagnostics); });

    message = refusal([&] { encode_window_list({window("", "", "Title")}, diagnostics); });
    EXPECT_TRUE(contains(message, "[[windows]] row 1, display")) << message;

    message = refusal([&] { encode_app_versions({app_version("", "", "V", "F", 1)}, diagnostics); });
    EXPECT_TRUE(contains(message, "[[app_versions]] row 1, display")) << message;

    message = refusal([&] { encode_registry_list({registry(0, "K", "V", KIT_TYPE_STRING, "x")}, diagnostics); });
    EXPECT_TRUE(contains(message, "[[registry]] row 1, root")) << message;
}

TEST(TableRefusals, TextHoldingNul)
{
    Diagnostics diagnostics;
    const std::string nul("a\0b", 3);
    EXPECT_TRUE(contains(refusal([&] { encode_window_list({window("W", "", nul)}, diagnostics); }), "title"));
    EXPECT_TRUE(
        contains(refusal([&] { encode_app_versions({app_version("D", "K", nul, "F", 1)}, diagnostics); }), "value"));
    EXPECT_TRUE(
        contains(refusal([&] { encode_archive_list({archive("P", 0, nul, 1)}, diagnostics); }), "subdirectory"));
    const std::string message =
        refusal([&] { encode_registry_list({registry(2, "K", "V", KIT_TYPE_STRING, nul)}, diagnostics); });
    EXPECT_TRUE(contains(message, "data: holds a NUL")) << message;
}

TEST(TableRefusals, ArchiveIdsThatNoResourceCanCarry)
{
    Diagnostics diagnostics;
    std::string message = refusal([&] {
        encode_archive_list({archive("A", 0, "", 2001), archive("B", 0, "", 2002, 2), archive("C", 0, "", 2001, 3)},
                            diagnostics);
    });
    EXPECT_TRUE(contains(message, "[[archives]] row 3, id: 2001 is also the id of row 1")) << message;
    message = refusal([&] { encode_archive_list({archive("A", 0, "", 0)}, diagnostics); });
    EXPECT_TRUE(contains(message, "id")) << message;
}

TEST(TableRefusals, DwordDataMustBeANumberAsTheKitReadsIt)
{
    Diagnostics diagnostics;
    for (const char* data : {"1F", " 0x10", "", "0x", "12abc", "--1", "+-1", "0x-5", "0x100000000", "2147483648",
                             "-2147483649", "1.5", "0x1F "}) {
        const std::string message =
            refusal([&] { encode_registry_list({registry(2, "K", "V", KIT_TYPE_DWORD, data, 4)}, diagnostics); });
        EXPECT_TRUE(contains(message, "[[registry]] row 4, data")) << data << ": " << message;
    }
    // Other types take any text.
    EXPECT_NO_THROW(encode_registry_list({registry(2, "K", "V", 5, "1F"), registry(2, "K", "V", 0, "")}, diagnostics));
}

TEST(KitNumbers, HexadecimalAfter0xElseSignedDecimal)
{
    EXPECT_EQ(kit_number("0x1F"), 31u);
    EXPECT_EQ(kit_number("0X1f"), 31u);
    EXPECT_EQ(kit_number("0xFFFFFFFF"), 0xFFFFFFFFu);
    EXPECT_EQ(kit_number("0x00000000000A"), 10u);
    EXPECT_EQ(kit_number("-1"), 0xFFFFFFFFu);
    EXPECT_EQ(kit_number("010"), 10u);  // decimal: a leading zero is not octal
    EXPECT_EQ(kit_number("+7"), 7u);
    EXPECT_EQ(kit_number("0"), 0u);
    EXPECT_EQ(kit_number("2147483647"), 0x7FFFFFFFu);
    EXPECT_EQ(kit_number("-2147483648"), 0x80000000u);
    EXPECT_EQ(kit_number("x10"), std::nullopt);
}

TEST(TableWarnings, TextLongerThanTheKitTakes)
{
    Diagnostics diagnostics;
    encode_archive_list({archive(std::string(258, 'p'), 0, std::string(258, 's'), 1)}, diagnostics);
    EXPECT_TRUE(diagnostics.warnings.empty());

    encode_archive_list({archive(std::string(259, 'p'), 0, "", 1)}, diagnostics);
    ASSERT_EQ(diagnostics.warnings.size(), 1u);
    EXPECT_TRUE(contains(diagnostics.warnings[0], "[[archives]] row 1, progress: is 259 characters long"))
        << diagnostics.warnings[0];
    // Characters, not UTF-8 bytes: 200 two-byte characters are 200 in the kit.
    diagnostics.warnings.clear();
    std::string accented;
    for (int i = 0; i < 200; ++i)
        accented += "\u00e9";
    encode_window_list({window(accented, "", "")}, diagnostics);
    EXPECT_TRUE(diagnostics.warnings.empty());
}

TEST(TableWarnings, PercentTokensTheKitRemoves)
{
    Diagnostics diagnostics;
    encode_registry_list({registry(2, "K", "", KIT_TYPE_EXPAND_STRING, "%I%;%SystemRoot%\\system32"),
                          registry(2, "K", "", KIT_TYPE_STRING, "%i%%S%%w%\\100%"),
                          registry(2, "K", "", KIT_TYPE_STRING, "\"%I%\\W.EXE\" \"%1\"")},
                         diagnostics);
    EXPECT_TRUE(diagnostics.warnings.empty()) << diagnostics.warnings[0];

    encode_registry_list({registry(2, "K", "", KIT_TYPE_STRING, "a%1%b", 3)}, diagnostics);
    ASSERT_EQ(diagnostics.warnings.size(), 1u);
    EXPECT_TRUE(contains(diagnostics.warnings[0], "[[registry]] row 3, data")) << diagnostics.warnings[0];
    EXPECT_TRUE(contains(diagnostics.warnings[0], "\"%1%\"")) << diagnostics.warnings[0];
    // Numbers are not expanded.
    diagnostics.warnings.clear();
    encode_registry_list({registry(2, "K", "", 3, "%X%")}, diagnostics);
    EXPECT_TRUE(diagnostics.warnings.empty());
}

TEST(TableWarnings, AVersionRowThatCanNeverBeDetected)
{
    Diagnostics diagnostics;
    AppVersionRow second = app_version("Detected 2.0a", "K", "V", "W.EXE", 0x1234);
    second.origin.row = 2;
    encode_app_versions({app_version("Detected 2.0", "K", "V", "W.EXE", 0x1234), second}, diagnostics);
    ASSERT_EQ(diagnostics.warnings.size(), 1u);
    EXPECT_TRUE(contains(diagnostics.warnings[0], "[[app_versions]] row 2, checksum")) << diagnostics.warnings[0];

    // Another file may share the checksum.
    diagnostics.warnings.clear();
    encode_app_versions({app_version("A", "K", "V", "W.EXE", 0x1234), app_version("B", "K", "V", "X.EXE", 0x1234)},
                        diagnostics);
    EXPECT_TRUE(diagnostics.warnings.empty());
}
