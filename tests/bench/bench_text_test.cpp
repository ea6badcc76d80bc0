#include <gtest/gtest.h>

#include <sstream>
#include <stdexcept>

#include "file_kinds.h"
#include "size_percent.h"
#include "text_table.h"

namespace upkit::bench {
namespace {

TEST(FileKind, ByExtensionInAnyCase)
{
    EXPECT_EQ(file_kind("NOTEPAD.EXE"), FileKind::programs);
    EXPECT_EQ(file_kind("comctl32.dll"), FileKind::programs);
    EXPECT_EQ(file_kind("Mouse.Cpl"), FileKind::programs);
    EXPECT_EQ(file_kind("STDIO.H"), FileKind::text);
    EXPECT_EQ(file_kind("readme.Md"), FileKind::text);
    EXPECT_EQ(file_kind("index.HTM"), FileKind::text);
    EXPECT_EQ(file_kind("PRICES.CSV"), FileKind::structured_text);
    EXPECT_EQ(file_kind("setup.Inf"), FileKind::structured_text);
    EXPECT_EQ(file_kind("KIT.BMP"), FileKind::images);
    EXPECT_EQ(file_kind("arrow.cur"), FileKind::images);
}

TEST(FileKind, ManualPagesBySectionDigit)
{
    EXPECT_EQ(file_kind("BASH.1"), FileKind::text);
    EXPECT_EQ(file_kind("printf.3"), FileKind::text);
    EXPECT_EQ(file_kind("x.9"), FileKind::text);
    // Not a section: no digit 0, no two digits, no letters after it.
    EXPECT_EQ(file_kind("x.0"), FileKind::other);
    EXPECT_EQ(file_kind("x.10"), FileKind::other);
    EXPECT_EQ(file_kind("x.1x"), FileKind::other);
}

TEST(FileKind, OnlyTheLastExtensionOfTheNameCounts)
{
    EXPECT_EQ(file_kind("docs.txt/setup.exe"), FileKind::programs);
    EXPECT_EQ(file_kind("tools.exe/notes.txt"), FileKind::text);
    EXPECT_EQ(file_kind("setup.exe.bak"), FileKind::other);
    EXPECT_EQ(file_kind("archive.txt.gz"), FileKind::other);
    EXPECT_EQ(file_kind("exe"), FileKind::other);
    EXPECT_EQ(file_kind("Makefile"), FileKind::other);
    EXPECT_EQ(file_kind(".exe"), FileKind::other);  // a hidden file's name, no extension
    EXPECT_EQ(file_kind("GPL3."), FileKind::other);
}

TEST(FileKind, EveryKindHasItsOwnName)
{
    std::vector<std::string_view> names;
    for (FileKind kind : kFileKinds)
        names.push_back(file_kind_name(kind));
    EXPECT_EQ(names, (std::vector<std::string_view>{"programs", "text", "structured text", "images", "other"}));
}

TEST(SizePercent, SignSaysWhichIsLarger)
{
    EXPECT_EQ(signed_percent(1032, 1000), "+3.2%");
    EXPECT_EQ(signed_percent(993, 1000), "-0.7%");
    EXPECT_EQ(signed_percent(2000, 1000), "+100.0%");
    EXPECT_EQ(signed_percent(0, 1000), "-100.0%");
    EXPECT_DOUBLE_EQ(percent_larger(1500, 1000), 50.0);
}

TEST(SizePercent, EqualIsUnsignedAndATinyDifferenceKeepsItsSign)
{
    EXPECT_EQ(signed_percent(1000, 1000), "0.0%");
    EXPECT_EQ(signed_percent(1000001, 1000000), "+0.0%");
    EXPECT_EQ(signed_percent(999999, 1000000), "-0.0%");
    // Large sizes keep their precision.
    EXPECT_EQ(signed_percent(5'000'000'000'000ULL, 4'000'000'000'000ULL), "+25.0%");
}

TEST(SizePercent, NothingToCompareWithIsNotAPercentage)
{
    EXPECT_EQ(signed_percent(10, 0), "n/a");
    EXPECT_EQ(signed_percent(0, 0), "n/a");
}

TEST(TextTable, AlignsTextLeftAndFiguresRightUnderTheWidestCell)
{
    TextTable table({"file", "bytes"}, 1);
    table.add_row({"  GPL3.TXT", "35,149"});
    table.add_gap();
    table.add_row({"a", "7"});
    table.add_rule();
    table.add_row({"total (2 files)", "35,156"});
    std::ostringstream out;
    table.print(out);
    EXPECT_EQ(out.str(), "file              bytes\n"
                         "-----------------------\n"
                         "  GPL3.TXT       35,149\n"
                         "\n"
                         "a                     7\n"
                         "-----------------------\n"
                         "total (2 files)  35,156\n");
}

TEST(TextTable, RefusesARowThatDoesNotFitTheHead)
{
    TextTable table({"file", "bytes", "upkit 9"}, 1);
    EXPECT_THROW(table.add_row({"a", "1"}), std::logic_error);
}

}  // namespace
}  // namespace upkit::bench
