// Writing down replacements for the next restart: the two entries of each in
// WININIT.INI's first [Rename] section, every byte of other programs' entries
// kept; and on NT the two delayed moves, never a deletion without its move.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "import_standin.h"
#include "replace_on_restart.h"
#include "system_standins.h"
#include "test_files.h"

namespace upkit::test {
namespace {

std::string text_of(const fs::path& path)
{
    const std::vector<std::uint8_t> bytes = read_file(path);
    return {bytes.begin(), bytes.end()};
}

// ---------------------------------------------------------------- WININIT.INI

class RenameEntries : public ::testing::Test {
protected:
    // Adds the pair for C:\A\OLD.EXE and C:\T\NEW.EXE to a file that held
    // `before` (or none); the file's text afterwards.
    std::string add(const std::string* before)
    {
        if (before)
            write_file(ini_, *before);
        EXPECT_TRUE(AppendRenameEntries(engine_path(ini_).c_str(), "C:\\A\\OLD.EXE", "C:\\T\\NEW.EXE"));
        return text_of(ini_);
    }

    TempDir dir_;
    fs::path ini_ = dir_ / "WININIT.INI";
};

const std::string kPair = "NUL=C:\\A\\OLD.EXE\r\nC:\\A\\OLD.EXE=C:\\T\\NEW.EXE\r\n";

TEST_F(RenameEntries, ANewFileGetsTheHeaderOnceAndThePairsInOrder)
{
    EXPECT_EQ(add(nullptr), "[Rename]\r\n" + kPair);
    ASSERT_TRUE(AppendRenameEntries(engine_path(ini_).c_str(), "C:\\B.DLL", "C:\\T\\NEW2.TMP"));
    EXPECT_EQ(text_of(ini_), "[Rename]\r\n" + kPair + "NUL=C:\\B.DLL\r\nC:\\B.DLL=C:\\T\\NEW2.TMP\r\n");
}

TEST_F(RenameEntries, GoIntoTheFirstRenameSectionAndKeepEveryOtherByte)
{
    struct Case {
        const char* what;
        std::string before;
        std::string after;
    };
    const std::string other = "NUL=C:\\OTHER\\STALE.DLL\r\n";
    const Case cases[] = {
        {"the section is last", "[Rename]\r\n" + other, "[Rename]\r\n" + other + kPair},
        {"its last line has no line break", "[Rename]\r\nNUL=C:\\X", "[Rename]\r\nNUL=C:\\X\r\n" + kPair},
        {"the file ends in a bare CR", "[Rename]\r\nNUL=C:\\X\r", "[Rename]\r\nNUL=C:\\X\r\n" + kPair},
        {"another section follows", "[Rename]\r\n" + other + "\r\n[Other]\r\nkey=value",
         "[Rename]\r\n" + other + "\r\n" + kPair + "[Other]\r\nkey=value"},
        {"it comes after another section", "[Other]\r\nkey=value\r\n[Rename]\r\n" + other,
         "[Other]\r\nkey=value\r\n[Rename]\r\n" + other + kPair},
        {"its name is in lower case, with blanks", "; note\n  [ rename ]  \nNUL=C:\\Y\n[Z]\n",
         "; note\n  [ rename ]  \nNUL=C:\\Y\n" + kPair + "[Z]\n"},
        {"only the first of two sections", "[Rename]\r\nA=B\r\n[Rename]\r\nC=D\r\n",
         "[Rename]\r\nA=B\r\n" + kPair + "[Rename]\r\nC=D\r\n"},
        {"none of that name, no final break", "[Other]\r\nkey=value", "[Other]\r\nkey=value\r\n[Rename]\r\n" + kPair},
        {"a similar name is another section", "[Renamed]\r\nA=B\r\n", "[Renamed]\r\nA=B\r\n[Rename]\r\n" + kPair},
        {"an empty file", "", "[Rename]\r\n" + kPair},
        {"bytes that are not text", std::string("[Rename]\r\n\x01\0\xff", 13),
         std::string("[Rename]\r\n\x01\0\xff", 13) + "\r\n" + kPair},
    };
    for (const Case& c : cases)
        EXPECT_EQ(add(&c.before), c.after) << c.what;
}

TEST_F(RenameEntries, AFileThatCannotBeWrittenIsLeftAsItWas)
{
    const std::string pending = "[Rename]\r\nNUL=C:\\OTHER\\PENDING.DLL\r\n";
    write_file(ini_, pending);
    const std::string path = engine_path(ini_);
    // Held open by another program that shares it with nobody.
    HANDLE held = CreateFileA(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(held, INVALID_HANDLE_VALUE);
    EXPECT_FALSE(AppendRenameEntries(path.c_str(), "C:\\A\\OLD.EXE", "C:\\T\\NEW.EXE"));
    CloseHandle(held);
    EXPECT_EQ(text_of(ini_), pending);

    ASSERT_TRUE(SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_READONLY));
    EXPECT_FALSE(AppendRenameEntries(path.c_str(), "C:\\A\\OLD.EXE", "C:\\T\\NEW.EXE"));
    SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
    EXPECT_EQ(text_of(ini_), pending);

    // Names longer than a path buffer are refused, not cut.
    const std::string long_name(300, 'L');
    EXPECT_FALSE(AppendRenameEntries(path.c_str(), long_name.c_str(), "C:\\T\\NEW.EXE"));
    EXPECT_EQ(text_of(ini_), pending);
}

// ---------------------------------------------------------------- NT

DWORD WINAPI nt_version()
{
    return 0x1DB10106;
}  // 6.1, top bit clear
DWORD WINAPI windows95_version()
{
    return 0xC0000004;
}  // 4.0, top bit set

class DelayedMoves : public ::testing::Test {
protected:
    void SetUp() override
    {
        saved_ = pending_renames();
        // Another program's entries, one of them with a name no ANSI code
        // page holds: they must come out of any edit exactly as they were.
        foreign_ = {L"\\??\\C:\\Other\\\u03a9mega.dll", L"", L"\\??\\C:\\Other\\new.dll", L"\\??\\C:\\Other\\old.dll"};
        set_pending_renames(foreign_);
        ASSERT_TRUE(version_.active());
        ASSERT_TRUE(move_.active());
        write_file(target_, std::string("old"));
        write_file(new_file_, std::string("new"));
    }
    void TearDown() override { set_pending_renames(saved_); }

    static std::wstring nt(const fs::path& path) { return nt_path(engine_path(path)); }

    TempDir dir_;
    fs::path target_ = dir_ / "TARGET.DLL";
    fs::path new_file_ = dir_ / "NEW1.TMP";
    std::vector<std::wstring> saved_;
    std::vector<std::wstring> foreign_;
    ImportStandIn version_{"kernel32.dll", "GetVersion", reinterpret_cast<void*>(&nt_version)};
    RefusedMove move_;
};

TEST_F(DelayedMoves, TheDeletionThenTheMoveAreAddedBehindOtherEntries)
{
    ASSERT_TRUE(ScheduleReplace(engine_path(new_file_).c_str(), engine_path(target_).c_str()));
    std::vector<std::wstring> expected = foreign_;
    expected.insert(expected.end(), {nt(target_), L"", nt(new_file_), nt(target_)});
    EXPECT_EQ(pending_renames(), expected);
    EXPECT_EQ(move_.calls(), 2);
}

TEST_F(DelayedMoves, ARefusedDeletionRegistersNothing)
{
    move_.fail_at = 1;
    EXPECT_FALSE(ScheduleReplace(engine_path(new_file_).c_str(), engine_path(target_).c_str()));
    EXPECT_EQ(move_.calls(), 1);
    EXPECT_EQ(pending_renames(), foreign_);
}

TEST_F(DelayedMoves, ARefusedMoveTakesItsDeletionBackAndNothingElse)
{
    // The same target scheduled once already: that pair stays, only the
    // deletion of the refused one goes.
    ASSERT_TRUE(ScheduleReplace(engine_path(new_file_).c_str(), engine_path(target_).c_str()));
    move_.fail_at = 4;
    const fs::path second = dir_ / "NEW2.TMP";
    write_file(second, std::string("newer"));
    EXPECT_FALSE(ScheduleReplace(engine_path(second).c_str(), engine_path(target_).c_str()));
    EXPECT_EQ(move_.calls(), 4);
    std::vector<std::wstring> expected = foreign_;
    expected.insert(expected.end(), {nt(target_), L"", nt(new_file_), nt(target_)});
    EXPECT_EQ(pending_renames(), expected);

    // With no entries before it, the list is left empty.
    set_pending_renames({});
    move_.reset();
    move_.fail_at = 2;
    EXPECT_FALSE(ScheduleReplace(engine_path(second).c_str(), engine_path(target_).c_str()));
    EXPECT_EQ(pending_renames(), std::vector<std::wstring>{});
}

// ---------------------------------------------------------------- Windows 95

// The Windows directory the kit is shown: a folder of the test's.
char windows_dir[MAX_PATH];

UINT WINAPI windows_dir_standin(LPSTR buffer, UINT size)
{
    const UINT length = static_cast<UINT>(lstrlenA(windows_dir));
    if (length >= size)
        return length + 1;
    lstrcpyA(buffer, windows_dir);
    return length;
}

class Windows95 : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(version_.active());
        ASSERT_TRUE(windows_.active());
        ASSERT_TRUE(move_.active());
        lstrcpyA(windows_dir, dir_.engine().c_str());
        write_file(target_, std::string("old"));
        write_file(new_file_, std::string("new"));
    }

    std::string short_path(const fs::path& path)
    {
        char buffer[MAX_PATH];
        EXPECT_GT(GetShortPathNameA(engine_path(path).c_str(), buffer, MAX_PATH), 0u);
        return buffer;
    }

    TempDir dir_;
    fs::path target_ = dir_ / "TARGET.DLL";
    fs::path new_file_ = dir_ / "NEW1.TMP";
    ImportStandIn version_{"kernel32.dll", "GetVersion", reinterpret_cast<void*>(&windows95_version)};
    ImportStandIn windows_{"kernel32.dll", "GetWindowsDirectoryA", reinterpret_cast<void*>(&windows_dir_standin)};
    RefusedMove move_;
};

TEST_F(Windows95, ThePairGoesIntoWininitAndNoDelayedMoveIsAsked)
{
    ASSERT_TRUE(ScheduleReplace(engine_path(new_file_).c_str(), engine_path(target_).c_str()));
    const std::string t = short_path(target_);
    EXPECT_EQ(text_of(dir_ / "WININIT.INI"),
              "[Rename]\r\nNUL=" + t + "\r\n" + t + "=" + short_path(new_file_) + "\r\n");
    EXPECT_EQ(move_.calls(), 0);
}

TEST_F(Windows95, AWindowsDirectoryTooLongForWininitsPathFailsAndWritesNothing)
{
    // 250 characters: with "\WININIT.INI" the path would not fit its buffer.
    std::string deep = dir_.engine();
    while (deep.size() < 250)
        deep += "\\D";
    lstrcpyA(windows_dir, deep.c_str());
    EXPECT_FALSE(ScheduleReplace(engine_path(new_file_).c_str(), engine_path(target_).c_str()));
    EXPECT_FALSE(fs::exists(dir_ / "WININIT.INI"));
}

}  // namespace
}  // namespace upkit::test
