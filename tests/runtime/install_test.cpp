// Staging archives and writing down replacements, and the bounds of the
// kit's formatted messages.
#include <gtest/gtest.h>

#include <string>

#include "archive_staging.h"
#include "kit_resources.h"
#include "replace_on_restart.h"
#include "table_fixture.h"

namespace upkit::test {
namespace {

std::string text_of(const fs::path& path)
{
    const std::vector<std::uint8_t> bytes = read_file(path);
    return {bytes.begin(), bytes.end()};
}

TEST(Staging, CopiesTheArchiveResourceEvenIntoADeepFolder)
{
    KitModule kit;
    const std::vector<std::uint8_t> archive = pseudo_random_bytes(70000, 5);
    kit.add_archive(2001, archive);
    kit.load();
    // Deeper than the 128 characters an open record holds.
    const fs::path deep = kit.dir() / std::string(90, 'D') / std::string(60, 'E');
    fs::create_directories(deep);
    const fs::path staged = deep / "ARC1.TMP";
    write_file(staged, std::string("old content, longer than nothing"));
    ASSERT_TRUE(StageArchive(2001, engine_path(staged).c_str()));
    EXPECT_EQ(read_file(staged), archive);
    EXPECT_FALSE(StageArchive(2002, engine_path(staged).c_str()));
}

TEST(IniEntries, CreatedWithTheHeaderThenAppended)
{
    TempDir dir;
    const std::string ini = engine_path(dir / "WININIT.INI");
    ASSERT_TRUE(AppendIniEntry("Rename", "NUL", "C:\\A\\OLD.EXE", ini.c_str()));
    ASSERT_TRUE(AppendIniEntry("Rename", "C:\\A\\OLD.EXE", "C:\\T\\NEW.EXE", ini.c_str()));
    EXPECT_EQ(text_of(dir / "WININIT.INI"), "[Rename]\r\nNUL=C:\\A\\OLD.EXE\r\nC:\\A\\OLD.EXE=C:\\T\\NEW.EXE\r\n");

    // Another program's file, without a final line break: the entry joins
    // its last line, as the file's content is never read.
    write_file(dir / "OTHER.INI", std::string("[Other]\r\nKEY=VALUE"));
    ASSERT_TRUE(AppendIniEntry("Rename", "NUL", "C:\\X", engine_path(dir / "OTHER.INI").c_str()));
    EXPECT_EQ(text_of(dir / "OTHER.INI"), "[Other]\r\nKEY=VALUENUL=C:\\X\r\n");
}

TEST(IniEntries, AFileThatCannotBeOpenedForWritingIsNeverEmptied)
{
    TempDir dir;
    const fs::path path = dir / "WININIT.INI";
    const std::string pending = "[Rename]\r\nNUL=C:\\OTHER\\PENDING.DLL\r\n";
    write_file(path, pending);
    // Held open by another program that shares it with nobody.
    HANDLE held = CreateFileA(engine_path(path).c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(held, INVALID_HANDLE_VALUE);
    EXPECT_FALSE(AppendIniEntry("Rename", "NUL", "C:\\A\\OLD.EXE", engine_path(path).c_str()));
    CloseHandle(held);
    EXPECT_EQ(text_of(path), pending);
}

TEST(Messages, FormattedTextIsCutToItsBuffer)
{
    const std::string name(1500, 'N');
    char message[260];
    message[259] = 'x';
    FormatBounded(message, sizeof message, "Error %d transferring file %s.", 18, name.c_str());
    EXPECT_EQ(std::string(message), "Error 18 transferring file " + std::string(259 - 27, 'N'));

    char warning[512];
    const std::string display(258, 'W');
    FormatBounded(warning, sizeof warning, "Cannot proceed because %s is currently running. Please close %s before installing the %s.",
                  display.c_str(), display.c_str(), "Widget 2.1 Upgrade");
    EXPECT_EQ(std::string(warning).size(), 511u);
    EXPECT_EQ(std::string(warning).substr(0, 23 + 258), "Cannot proceed because " + display);
}

}  // namespace
}  // namespace upkit::test
