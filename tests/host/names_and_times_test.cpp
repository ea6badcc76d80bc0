// Stored names' safety below a folder, MS-DOS time stamps, and the paths the
// engine is given.

#include <gtest/gtest.h>

#include "dos_time.h"
#include "engine_paths.h"
#include "member_names.h"
#include "name_folding.h"

namespace upkit {
namespace {

TEST(StoredNames, OnlyNamesThatStayBelowTheFolderAndThatWindowsCanCreateAreSafe)
{
    for (const char* safe : {"A.TXT", "\\ROOT.TXT", "SUB\\DIR\\F.TXT", "caf\xe9.txt", "a b\\c.d.e", "...txt"})
        EXPECT_EQ(unsafe_name_reason(safe), nullptr) << safe;
    const struct {
        const char* name;
        const char* reason;
    } refused[] = {
        {"", "the name is empty"},
        {"\\", "the name is empty"},
        {"..\\X", "the name leads outside the target folder"},
        {"A\\. .\\..\\..\\X", "the name leads outside the target folder"},
        {"C:\\X", "the name leads outside the target folder"},
        {"C:X", "the name leads outside the target folder"},
        {"\\\\SRV\\SHR\\X", "the name leads outside the target folder"},
        {"A\\\\B", "the name has an empty folder or file name in it"},
        {"SUB\\", "the name has an empty folder or file name in it"},
        {"WHAT?.TXT", "the name holds a character that Windows file names cannot"},
        {"TAB\t.TXT", "the name holds a character that Windows file names cannot"},
        {"nul.txt", "the name is a Windows device name"},
        {"SUB\\COM1 .log", "the name is a Windows device name"},
    };
    for (const auto& c : refused)
        EXPECT_STREQ(unsafe_name_reason(c.name), c.reason) << c.name;
    EXPECT_STREQ(unsafe_name_reason(std::string_view("A\0B", 3)), "the name holds a NUL character");
}

TEST(StoredNames, ComparedWithoutCaseAndWrittenAsUtf8Paths)
{
    EXPECT_EQ(folded_name("Sub\\ReadMe.TXT"), "sub\\readme.txt");
    // As Windows compares: the accented capitals of Windows-1252 too, both
    // separators alike, leading ones dropped; a stored name and a UTF-8 host
    // name of the same file fold alike.
    EXPECT_EQ(folded_stored_name("\\Caf\xC9\\\x8A\x8C\x8E\x9F\xD7\xDE.TXT"),
              U"caf\u00e9\\\u0161\u0153\u017e\u00ff\u00d7\u00fe.txt");
    EXPECT_EQ(folded_utf8_name("/Caf\xc3\x89/\xc5\xa0\xc5\x92\xc5\xbd\xc5\xb8\xc3\x97\xc3\x9e.TXT"),
              folded_stored_name("caf\xe9\\\x9a\x9c\x9e\xff\xd7\xfe.txt"));
    // Bytes that are no UTF-8 stand for themselves.
    EXPECT_EQ(folded_utf8_name("A\xff"), U"a\u00ff");
    EXPECT_EQ(relative_utf8_path("\\Donn\xe9"
                                 "es\\Th\xe8me.ini"),
              "Donn\xc3\xa9"
              "es/Th\xc3\xa8me.ini");
}

TEST(DosTimes, FieldsArePackedAndClampedToWhatTheFormatHolds)
{
    const DosStamp stamp = dos_stamp_from_fields(1997, 9, 15, 2, 10, 31);
    EXPECT_EQ(format_dos_stamp(stamp), "1997-09-15 02:10:30");  // two-second steps
    EXPECT_EQ(iso_8601_dos_stamp(stamp), "1997-09-15T02:10:30");
    EXPECT_EQ(format_dos_stamp(dos_stamp_from_fields(1970, 1, 1, 0, 0, 0)), "1980-01-01 00:00:00");
    EXPECT_EQ(format_dos_stamp(dos_stamp_from_fields(2200, 6, 1, 12, 0, 0)), "2107-12-31 23:59:58");
    EXPECT_EQ(format_dos_stamp(dos_stamp_from_fields(2016, 12, 31, 23, 59, 60)), "2016-12-31 23:59:58");
    // A stamp read from an archive may hold anything.
    EXPECT_EQ(iso_8601_dos_stamp(DosStamp{0, 0}), std::nullopt);            // month 0
    EXPECT_EQ(iso_8601_dos_stamp(DosStamp{24 << 11, 0x21}), std::nullopt);  // hour 24
    EXPECT_EQ(format_dos_stamp(DosStamp{0xFFFF, 0xFFFF}), "2107-15-31 31:63:62");
}

#ifndef _WIN32
TEST(EnginePaths, ContinuationFilesAreNamedAsTheReaderLooksForThem)
{
    EXPECT_EQ(to_engine_path("dir/A.KW"), "dir\\A.KW");
    EXPECT_EQ(to_engine_path("odd\\name"), std::nullopt);  // a separator to the engine
    EXPECT_EQ(from_engine_path("dir\\A.KW"), "dir/A.KW");
    EXPECT_EQ(continuation_path("dir/A.KW", 2), "dir/A.002");
    EXPECT_EQ(continuation_path("dir/A.B.KW", 12), "dir/A.012");
    EXPECT_EQ(continuation_path("dir/ARCHIVE", 3), "dir/ARCHIVE.003");
    EXPECT_EQ(continuation_path("v1.0 kits/A.KW", 2), std::nullopt);  // the reader would leave the folder
}
#endif

}  // namespace
}  // namespace upkit
