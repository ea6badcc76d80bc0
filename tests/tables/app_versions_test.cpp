// Product qualification against real resources, files and the registry of
// the test's Wine prefix.
#include <gtest/gtest.h>

#include <string>

#include "app_versions.h"
#include "table_fixture.h"

namespace upkit::test {
namespace {

const char kKey[] = "Software\\UpkitTest\\Qualify";

void set_install_dir(const std::string& value)
{
    HKEY key;
    ASSERT_EQ(RegCreateKeyA(HKEY_LOCAL_MACHINE, kKey, &key), ERROR_SUCCESS);
    RegSetValueExA(key, "InstallDir", 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                   static_cast<DWORD>(value.size() + 1));
    RegCloseKey(key);
}

void remove_key()
{
    RegDeleteKeyA(HKEY_LOCAL_MACHINE, kKey);
}

WORD checksum_of(const std::vector<std::uint8_t>& bytes)
{
    // Straight from the definition: the complement of the sum of all words.
    unsigned sum = 0;
    for (std::size_t i = 0; i < bytes.size(); i += 2)
        sum += bytes[i] | (i + 1 < bytes.size() ? bytes[i + 1] << 8 : 0);
    return static_cast<WORD>(~sum & 0xFFFF);
}

TEST(FileChecksum, WorkedExamplesAndBlockBoundaries)
{
    TempDir dir;
    write_file(dir / "EMPTY", std::string());
    write_file(dir / "ABC", std::string("abc"));
    EXPECT_EQ(ComputeFileChecksum(engine_path(dir / "EMPTY").c_str()), 0xFFFF);
    EXPECT_EQ(ComputeFileChecksum(engine_path(dir / "ABC").c_str()), 0x9D3B);
    for (std::size_t size : {1023u, 1024u, 1025u, 2048u, 5000u}) {
        const std::vector<std::uint8_t> bytes = pseudo_random_bytes(size, static_cast<std::uint32_t>(size));
        write_file(dir / "F.BIN", bytes);
        EXPECT_EQ(ComputeFileChecksum(engine_path(dir / "F.BIN").c_str()), checksum_of(bytes)) << size;
    }
    EXPECT_EQ(ComputeFileChecksum(engine_path(dir / "MISSING").c_str()), 0x0000);
    // Paths the open call's 128-byte record cannot hold do not open.
    const fs::path deep = dir / std::string(130, 'D');
    fs::create_directories(deep);
    write_file(deep / "ABC", std::string("abc"));
    EXPECT_EQ(ComputeFileChecksum(engine_path(deep / "ABC").c_str()), 0x0000);
}

class Qualification : public ::testing::Test {
protected:
    void TearDown() override { remove_key(); }

    // Two releases of one file, told apart by checksum.
    void two_release_table(WORD first, WORD second, const std::string& file = "BIN\\WIDGET.EXE")
    {
        kit_.add_table("AppVersions", TableBytes()
                                          .text("Detected Widget 2.0")
                                          .text(kKey)
                                          .text("InstallDir")
                                          .text(file)
                                          .word(first)
                                          .text("Detected Widget 2.0a")
                                          .text(kKey)
                                          .text("InstallDir")
                                          .text(file)
                                          .word(second)
                                          .end());
        kit_.load();
    }

    KitModule kit_;
    char detected_[260] = {};
    char install_dir_[260] = {};
};

TEST_F(Qualification, SecondRowQualifiesAndKeepsTheStoredDirectory)
{
    const fs::path product = kit_.dir() / "APP";
    write_file(product / "BIN" / "WIDGET.EXE", std::string("release b"));
    const WORD b = checksum_of(bytes_of("release b"));
    set_install_dir(engine_path(product) + "\\");
    two_release_table(static_cast<WORD>(b + 1), b);
    ASSERT_TRUE(FindQualifyingVersion(detected_, install_dir_, 259));
    EXPECT_STREQ(detected_, "Detected Widget 2.0a");
    EXPECT_EQ(std::string(install_dir_), engine_path(product) + "\\");
}

TEST_F(Qualification, NoRowQualifies)
{
    const fs::path product = kit_.dir() / "APP";
    write_file(product / "BIN" / "WIDGET.EXE", std::string("another release"));
    set_install_dir(engine_path(product));
    two_release_table(1, 2);
    EXPECT_FALSE(FindQualifyingVersion(detected_, install_dir_, 259));
}

TEST_F(Qualification, MissingKeyTriesTheBareNameAndAStoredZeroAcceptsNoFile)
{
    two_release_table(0x1234, 0x0000, "NO_SUCH_FILE.XYZ");
    ASSERT_TRUE(FindQualifyingVersion(detected_, install_dir_, 259));
    EXPECT_STREQ(detected_, "Detected Widget 2.0a");
    EXPECT_STREQ(install_dir_, "");
}

TEST_F(Qualification, ValueTooLongForTheBufferLeavesTheDirectoryEmpty)
{
    set_install_dir("C:\\" + std::string(300, 'L'));
    two_release_table(0x1111, 0x2222);
    EXPECT_FALSE(FindQualifyingVersion(detected_, install_dir_, 259));
    EXPECT_STREQ(install_dir_, "");
}

TEST(QualificationTables, MissingOrEmptyTableQualifiesNothing)
{
    char detected[260] = "untouched";
    char install_dir[260] = "untouched";
    {
        KitModule kit;
        kit.load();
        EXPECT_FALSE(FindQualifyingVersion(detected, install_dir, 259));
    }
    {
        KitModule kit;
        kit.add_table("AppVersions", TableBytes().end());
        kit.load();
        EXPECT_FALSE(FindQualifyingVersion(detected, install_dir, 259));
    }
    EXPECT_STREQ(detected, "untouched");
}

}  // namespace
}  // namespace upkit::test
