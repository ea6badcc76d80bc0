// The archive list and the path-join rule.
#include <gtest/gtest.h>

#include <string>

#include "archive_list.h"
#include "table_fixture.h"

namespace upkit::test {
namespace {

std::string joined(std::string path, const char* component)
{
    char buffer[260] = {};
    lstrcpynA(buffer, path.c_str(), 259);
    AppendPathComponent(buffer, component, 259);
    return buffer;
}

std::string windows_dir()
{
    char buffer[260];
    GetWindowsDirectoryA(buffer, 259);
    return buffer;
}

std::string system_dir()
{
    char buffer[260];
    GetSystemDirectoryA(buffer, 259);
    return buffer;
}

TEST(PathJoin, OneSeparatorBetweenDirectoryAndName)
{
    EXPECT_EQ(joined("C:\\Apps\\Widget", "Sounds"), "C:\\Apps\\Widget\\Sounds");
    EXPECT_EQ(joined("C:\\Apps\\Widget\\", "Sounds"), "C:\\Apps\\Widget\\Sounds");
    EXPECT_EQ(joined("C:\\Apps\\Widget", "\\Sounds"), "C:\\Apps\\Widget\\Sounds");
    EXPECT_EQ(joined("C:\\Apps\\Widget", "\\\\Sounds"), "C:\\Apps\\Widget\\\\Sounds");
    EXPECT_EQ(joined("C:\\", "Sounds"), "C:\\Sounds");
    EXPECT_EQ(joined("C:\\WINDOWS\\SYSTEM", ""), "C:\\WINDOWS\\SYSTEM\\");
    EXPECT_EQ(joined("", "Sounds\\A.WAV"), "Sounds\\A.WAV");
    EXPECT_EQ(joined("", ""), "");
    // One character gets no separator.
    EXPECT_EQ(joined("\\", "X"), "\\X");
    EXPECT_EQ(joined("C", "X"), "CX");
}

TEST(PathJoin, NameIsCutToTheCapacity)
{
    const std::string base(258, 'B');
    EXPECT_EQ(joined(base, "DROPPED"), base + "\\");
    const std::string shorter(250, 'B');
    EXPECT_EQ(joined(shorter, "ABCDEFGHIJ"), shorter + "\\ABCDEFG");  // 259 - 251 - 1 characters
}

class ArchiveRows : public ::testing::Test {
protected:
    void SetUp() override
    {
        kit_.add_table("ArchiveList", TableBytes()
                                          .text("Program files...")
                                          .word(0)
                                          .text("")
                                          .word(2001)
                                          .text("System files...")
                                          .word(2)
                                          .text("")
                                          .word(2002)
                                          .text(std::string(300, 'P'))
                                          .word(0)
                                          .text("\\Help")
                                          .word(2003)
                                          .text("Windows files...")
                                          .word(1)
                                          .text("Media")
                                          .word(2004)
                                          .text("Odd base")
                                          .word(0x1200)
                                          .text("X")
                                          .word(7)
                                          .end());
        kit_.load();
    }

    KitModule kit_;
    ArchiveListEntry entry_{};
};

TEST_F(ArchiveRows, EachRowResolvesItsDestination)
{
    ASSERT_TRUE(GetArchiveListEntry(0, &entry_, "C:\\Apps\\Widget\\"));
    EXPECT_STREQ(entry_.progressText, "Program files...");
    EXPECT_STREQ(entry_.destinationDir, "C:\\Apps\\Widget\\");
    EXPECT_EQ(entry_.archiveId, 2001u);

    ASSERT_TRUE(GetArchiveListEntry(1, &entry_, "C:\\Apps\\Widget"));
    EXPECT_EQ(std::string(entry_.destinationDir), system_dir() + "\\");
    EXPECT_EQ(entry_.archiveId, 2002u);

    // A long progress text is cut, and the fields behind it still read.
    ASSERT_TRUE(GetArchiveListEntry(2, &entry_, "C:\\Apps\\Widget"));
    EXPECT_EQ(std::string(entry_.progressText), std::string(258, 'P'));
    EXPECT_STREQ(entry_.destinationDir, "C:\\Apps\\Widget\\Help");
    EXPECT_EQ(entry_.archiveId, 2003u);

    ASSERT_TRUE(GetArchiveListEntry(3, &entry_, "C:\\Apps\\Widget"));
    EXPECT_EQ(std::string(entry_.destinationDir), windows_dir() + "\\Media");

    // Any other base is the install directory.
    ASSERT_TRUE(GetArchiveListEntry(4, &entry_, ""));
    EXPECT_STREQ(entry_.destinationDir, "X");
    EXPECT_EQ(entry_.archiveId, 7u);

    EXPECT_FALSE(GetArchiveListEntry(5, &entry_, ""));
    EXPECT_FALSE(GetArchiveListEntry(-1, &entry_, ""));
}

TEST(ArchiveListTables, MissingOrEmptyTableHasNoRows)
{
    ArchiveListEntry entry{};
    {
        KitModule kit;
        kit.load();
        EXPECT_FALSE(GetArchiveListEntry(0, &entry, "C:\\"));
    }
    KitModule kit;
    kit.add_table("ArchiveList", TableBytes().end());
    kit.load();
    EXPECT_FALSE(GetArchiveListEntry(0, &entry, "C:\\"));
}

}  // namespace
}  // namespace upkit::test
