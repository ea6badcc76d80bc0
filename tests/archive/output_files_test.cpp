// Output paths, directories, chunked writes and the refusal of names that
// would land outside the target directory.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "archive_builder.h"
#include "output_files.h"
#include "recording_reader.h"
#include "test_files.h"

#ifndef _WIN32
#include "native_faults.h"
#endif

namespace upkit::test {
namespace {

std::string composed(const char* directory, const char* name, int keep_paths)
{
    char path[MAX_PATH];
    if (!compose_output_path(path, directory, name, keep_paths))
        return "<refused>";
    return path;
}

std::string directory_of(const char* path)
{
    char buffer[MAX_PATH];
    directory_part(buffer, path);
    return buffer;
}

TEST(OutputPath, JoinsDirectoryAndStoredName)
{
    EXPECT_EQ(composed("C:\\OUT", "SUB\\F.TXT", 1), "C:\\OUT\\SUB\\F.TXT");
    EXPECT_EQ(composed("C:\\OUT\\", "\\F.TXT", 1), "C:\\OUT\\F.TXT");
    EXPECT_EQ(composed("", "F.TXT", 1), "\\F.TXT");
    EXPECT_EQ(composed(nullptr, "F.TXT", 1), "\\F.TXT");
    EXPECT_EQ(composed("C:\\OUT", "SUB\\F.TXT", 0), "C:\\OUT\\F.TXT");
    // Without paths the name is the base name, whose walk ends at a space.
    EXPECT_EQ(composed("C:\\OUT", "A\\MY DIR\\F.TXT", 0), "C:\\OUT\\MY DIR\\F.TXT");
}

TEST(OutputPath, RefusesNamesThatLeaveTheDirectory)
{
    for (const char* name : {"..\\X.TXT", "A\\..\\..\\X.TXT", "A\\..", "C:\\X.TXT", "C:X.TXT", "\\\\SRV\\SHR\\X.TXT",
                             "A/../../X.TXT", "/ETC/X", "A\\...\\X", "A\\.. \\X", "F.TXT:STREAM"}) {
        EXPECT_EQ(composed("C:\\OUT", name, 1), "<refused>") << name;
    }
    // An empty directory keeps the stored leading backslash: a UNC path.
    EXPECT_EQ(composed("", "\\F.TXT", 1), "<refused>");
    // Dots inside names are fine.
    EXPECT_EQ(composed("C:\\OUT", "A\\..B\\.\\C..\\F.TXT", 1), "C:\\OUT\\A\\..B\\.\\C..\\F.TXT");
}

TEST(OutputPath, LongestResultIs259Characters)
{
    const std::string directory = "C:\\" + std::string(200, 'D');
    const std::string fits(259 - directory.size() - 1, 'F');
    EXPECT_EQ(composed(directory.c_str(), fits.c_str(), 1).size(), 259u);
    EXPECT_EQ(composed(directory.c_str(), (fits + "F").c_str(), 1), "<refused>");
}

TEST(OutputPath, DirectoryPartKeepsRootsAndDrives)
{
    EXPECT_EQ(directory_of("C:\\A\\B\\F.TXT"), "C:\\A\\B");
    EXPECT_EQ(directory_of("C:\\F.TXT"), "C:\\");
    EXPECT_EQ(directory_of("C:F.TXT"), "C:");
    EXPECT_EQ(directory_of("F.TXT"), "");
    EXPECT_EQ(directory_of("\\F.TXT"), "");
    EXPECT_EQ(directory_of("\\\\SRV\\SHR\\F.TXT"), "\\\\SRV\\SHR");
    EXPECT_EQ(directory_of(""), "");
}

TEST(OutputFiles, CreatesMissingDirectoriesAndOverwrites)
{
    TempDir dir;
    const std::string path = engine_path(dir / "A" / "B" / "C" / "F.TXT");
    HANDLE file = create_output_file(path.c_str());
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    const std::vector<std::uint8_t> text = bytes_of("hello");
    EXPECT_EQ(write_output(file, text.data(), 5), 5);
    finish_output_file(file, path.c_str(), 0x2821, 0x6000, 0);
    EXPECT_EQ(read_file(dir / "A" / "B" / "C" / "F.TXT"), text);

    file = create_output_file(path.c_str());
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    finish_output_file(file, path.c_str(), 0x2821, 0x6000, 0);
    EXPECT_EQ(fs::file_size(dir / "A" / "B" / "C" / "F.TXT"), 0u);
}

TEST(OutputFiles, AFileInTheWayOfADirectoryFailsCreation)
{
    TempDir dir;
    write_file(dir / "A", std::string("a file, not a folder"));
    EXPECT_FALSE(ensure_directory(engine_path(dir / "A").c_str()));
    EXPECT_TRUE(ensure_directory(dir.engine().c_str()));
    EXPECT_EQ(create_output_file(engine_path(dir / "A" / "F.TXT").c_str()), INVALID_HANDLE_VALUE);
}

TEST(OutputFiles, StoredTimeIsTheLastWriteTimeReadAsLocalTime)
{
    TempDir dir;
    const std::string path = engine_path(dir / "T.TXT");
    for (auto [date, time] : {std::pair<WORD, WORD>{0x2821, 0x6000}, {0x22DE, 0xBF7D}, {0x5A4F, 0x0000}}) {
        HANDLE file = create_output_file(path.c_str());
        ASSERT_NE(file, INVALID_HANDLE_VALUE);
        finish_output_file(file, path.c_str(), date, time, 0);
        EXPECT_EQ(last_write_utc(dir / "T.TXT"), local_dos_time_to_utc(date, time)) << date << " " << time;
    }
}

TEST(OutputFiles, FailedMemberIsDeletedAfterItsTimeIsSet)
{
    TempDir dir;
    const std::string path = engine_path(dir / "GONE.TXT");
    HANDLE file = create_output_file(path.c_str());
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    finish_output_file(file, path.c_str(), 0x2821, 0x6000, ARCERR_CHECKSUM);
    EXPECT_FALSE(fs::exists(dir / "GONE.TXT"));
}

TEST(OutputFiles, UnsafeStoredNameFailsExtractionWithCannotCreate)
{
    TempDir dir;
    ArchiveBuilder b(15);
    b.literals("escape");
    b.end_member("..\\ESCAPED.TXT", 6, check_value_of("escape"));
    write_file(dir / "A.KW", b.finish());
    fs::create_directory(dir / "OUT");
    RecordingReader reader;
    reader.Open(engine_path(dir / "A.KW").c_str());
    ASSERT_EQ(reader.GetStatus(), 0);
    EXPECT_EQ(reader.Extract(0, engine_path(dir / "OUT").c_str(), 1), ARCERR_CANNOT_CREATE);
    EXPECT_FALSE(fs::exists(dir / "ESCAPED.TXT"));
    EXPECT_TRUE(fs::is_empty(dir / "OUT"));
}

#ifndef _WIN32
TEST(OutputFiles, WritesGoOutInChunksOf61440Bytes)
{
    TempDir dir;
    const std::string path = engine_path(dir / "BIG.BIN");
    HANDLE file = create_output_file(path.c_str());
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    const std::vector<std::uint8_t> data = pseudo_random_bytes(150000, 41);
    WriteSizeLog log;
    EXPECT_EQ(write_output(file, data.data(), 150000), 150000);
    EXPECT_EQ(log.sizes(), (std::vector<unsigned long>{61440, 61440, 27120}));
    EXPECT_EQ(write_output(file, data.data(), 0), 0);
    EXPECT_EQ(log.sizes().size(), 3u);
    finish_output_file(file, path.c_str(), 0x2821, 0x6000, 0);
    EXPECT_EQ(read_file(dir / "BIG.BIN"), data);
}
#endif

}  // namespace
}  // namespace upkit::test
