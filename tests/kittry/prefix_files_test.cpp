// The prefix's files before and after: what counts as written, replaced and
// removed, and the time the report shows.

#include <gtest/gtest.h>

#include <fstream>

#include "prefix_files.h"
#include "test_files.h"

using namespace upkit::kittry;
namespace fs = std::filesystem;

TEST(PrefixFiles, TellNewReplacedAndRemovedFilesApartByWindowsPath)
{
    upkit::test::TempDir drive;
    upkit::test::write_file(drive / "Program Files/Gadget/GADGET.EXE", std::string("old"));
    upkit::test::write_file(drive / "Program Files/Gadget/SAME.TXT", std::string("same"));
    upkit::test::write_file(drive / "windows/OLD.INI", std::string("x"));
    const FileSnapshot before = snapshot_files(drive.path());
    EXPECT_TRUE(before.contains("C:\\Program Files\\Gadget\\GADGET.EXE"));

    // A replacement of the same size is told by its time.
    upkit::test::write_file(drive / "Program Files/Gadget/GADGET.EXE", std::string("new"));
    fs::last_write_time(drive / "Program Files/Gadget/GADGET.EXE",
                        fs::file_time_type::clock::now() + std::chrono::hours(1));
    upkit::test::write_file(drive / "windows/system32/GADGETRT.DLL", std::string("runtime"));
    fs::remove(drive / "windows/OLD.INI");
    const std::vector<FileChange> changes = compare_snapshots(before, snapshot_files(drive.path()));

    ASSERT_EQ(changes.size(), 3u);
    EXPECT_EQ(changes[0].path, "C:\\Program Files\\Gadget\\GADGET.EXE");
    EXPECT_EQ(changes[0].kind, FileChange::changed);
    EXPECT_EQ(changes[1].path, "C:\\windows\\OLD.INI");
    EXPECT_EQ(changes[1].kind, FileChange::removed);
    EXPECT_EQ(changes[2].path, "C:\\windows\\system32\\GADGETRT.DLL");
    EXPECT_EQ(changes[2].kind, FileChange::added);
    EXPECT_EQ(changes[2].state.size, 7u);
}

TEST(PrefixFiles, LeaveOutFoldersLinkedFromOutsideThePrefix)
{
    upkit::test::TempDir drive;
    upkit::test::TempDir home;
    upkit::test::write_file(home / "letter.txt", std::string("private"));
    fs::create_directories(drive / "users/me");
    fs::create_directory_symlink(home.path(), drive / "users/me/Documents");
    EXPECT_TRUE(snapshot_files(drive.path()).empty());
}

TEST(PrefixFiles, ShowTimesInUtcToTheSecond)
{
    EXPECT_EQ(utc_text(0), "1970-01-01 00:00:00 UTC");
    EXPECT_EQ(utc_text(874289400LL * 1000000000 + 999999999), "1997-09-15 02:10:00 UTC");
    EXPECT_EQ(utc_text(-1), "1969-12-31 23:59:59 UTC");
}
