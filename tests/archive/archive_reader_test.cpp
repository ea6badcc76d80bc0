// The reader: header and directory, the one-open-archive rule, the cursor.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "archive_builder.h"
#include "archive_reader.h"
#include "archive_writer.h"
#include "recording_reader.h"
#include "test_files.h"

namespace upkit::test {
namespace {

// Four members A..D of a few bytes each.
std::vector<std::uint8_t> four_members()
{
    std::vector<MemberInput> members;
    for (char c : std::string("ABCD")) {
        MemberInput m;
        m.name = std::string(1, c) + ".TXT";
        m.data = bytes_of(std::string(10, c) + "-" + std::string(1, c));
        members.push_back(m);
    }
    return encode_archive(members, EncoderOptions{15});
}

class Reader : public ::testing::Test {
protected:
    std::string write(const std::vector<std::uint8_t>& image, const std::string& name = "A.KW")
    {
        write_file(dir_ / name, image);
        return engine_path(dir_ / name);
    }
    std::string out() const { return engine_path(dir_ / "OUT"); }

    TempDir dir_;
};

TEST_F(Reader, DirectoryEntryBytesOfTheWorkedExample)
{
    const std::vector<std::uint8_t> entry = {0x05, 0x41, 0x2E, 0x54, 0x58, 0x54, 0x00, 0x0B,
                                             0x00, 0x00, 0x00, 0x00, 0x60, 0x21, 0x28};
    std::vector<std::uint8_t> image = archive_header(0, 97, 1, 15);
    image.insert(image.end(), entry.begin(), entry.end());
    image.insert(image.end(), 3, 0);
    RecordingReader reader;
    EXPECT_EQ(reader.Open(write(image).c_str()), 0);
    ASSERT_EQ(reader.GetStatus(), 0);
    ArchiveEntry e{};
    ASSERT_EQ(reader.GetEntry(0, &e), 0);
    EXPECT_STREQ(e.name, "A.TXT");
    EXPECT_STREQ(e.note, "");
    EXPECT_EQ(e.note_length, 0);
    EXPECT_EQ(e.size, 11u);
    EXPECT_EQ(e.time, 0x6000);  // 12:00:00
    EXPECT_EQ(e.date, 0x2821);  // 2000-01-01

    // Our encoder writes the same bytes for that member.
    MemberInput m;
    m.name = "A.TXT";
    m.data.resize(11);
    m.dos_time = 0x6000;
    m.dos_date = 0x2821;
    EXPECT_EQ(encode_directory_entry(m), entry);
}

TEST_F(Reader, LengthPrefixesInBothForms)
{
    MemberInput m;
    m.name = std::string(127, 'N');
    m.note = std::string(256, 'n');
    const std::vector<std::uint8_t> entry = encode_directory_entry(m);
    EXPECT_EQ(entry[0], 0x7F);
    EXPECT_EQ(entry[128], 0x81);
    EXPECT_EQ(entry[129], 0x00);

    m.name = std::string(300, 'X');
    m.note = "";
    std::vector<MemberInput> one = {m, m};
    one[1].name = std::string(32767, 'Y');
    RecordingReader reader;
    reader.Open(write(encode_archive(one, EncoderOptions{15})).c_str());
    ASSERT_EQ(reader.GetStatus(), 0);
    ArchiveEntry e{};
    ASSERT_EQ(reader.GetEntry(1, &e), 0);
    EXPECT_EQ(std::string(e.name), one[1].name);
    ASSERT_EQ(reader.GetEntry(0, &e), 0);
    EXPECT_EQ(std::string(e.name).size(), 300u);
}

TEST_F(Reader, VersionRule)
{
    struct Case {
        std::uint8_t a, b;
        int code;
    };
    for (Case c : {Case{0, 0, 0}, Case{0, 97, 0}, Case{1, 89, ARCERR_BAD_VERSION}, Case{1, 90, 0}, Case{7, 255, 0}}) {
        ArchiveBuilder b(15, c.a, c.b);
        RecordingReader reader;
        const int result = reader.Open(write(b.finish()).c_str());
        EXPECT_EQ(result, c.code) << int(c.a) << "," << int(c.b);
        EXPECT_EQ(reader.GetStatus(), c.code);
        EXPECT_EQ(reader.GetVersionA(), c.a);
    }
}

TEST_F(Reader, SignatureAndWindowBitsAreChecked)
{
    std::vector<std::uint8_t> image = ArchiveBuilder(15).finish();
    image[1] = 'X';
    {
        RecordingReader reader;
        EXPECT_EQ(reader.Open(write(image).c_str()), ARCERR_BAD_DATA);
    }
    for (std::uint8_t bits : {0, 8, 22, 31, 255}) {
        image = archive_header(0, 97, 0, bits);
        image.insert(image.end(), 3, 0);
        RecordingReader reader;
        EXPECT_EQ(reader.Open(write(image).c_str()), ARCERR_BAD_DATA) << int(bits);
        EXPECT_EQ(reader.error_codes(), (std::vector<int>{ARCERR_BAD_DATA}));
    }
    for (std::uint8_t bits : {9, 21}) {
        image = archive_header(0, 97, 0, bits);
        image.insert(image.end(), 3, 0);
        RecordingReader reader;
        EXPECT_EQ(reader.Open(write(image).c_str()), 0) << int(bits);
        EXPECT_EQ(reader.GetStatus(), 0);
    }
}

TEST_F(Reader, AHeaderCutShortFailsWithTheReadErrorAndKeepsTheCountItRead)
{
    const std::vector<std::uint8_t> header = archive_header(0, 97, 0x0203, 15);
    // Cut after the count's low byte, after the whole count, and before the
    // last header byte: the window bits read as zero, the read failed.
    for (std::size_t kept : {5u, 6u, 7u}) {
        RecordingReader reader;
        const std::vector<std::uint8_t> cut(header.begin(), header.begin() + static_cast<std::ptrdiff_t>(kept));
        reader.Open(write(cut).c_str());
        EXPECT_EQ(reader.GetStatus(), ARCERR_READ) << kept;
        EXPECT_EQ(reader.GetCount(), kept == 5 ? 0x03 : 0x0203) << kept;
        EXPECT_EQ(reader.error_codes().back(), ARCERR_READ) << kept;
    }
    // A whole header whose window bits are refused still tells its count.
    std::vector<std::uint8_t> image = archive_header(0, 97, 3, 8);
    image.insert(image.end(), 3, 0);
    RecordingReader reader;
    EXPECT_EQ(reader.Open(write(image).c_str()), ARCERR_BAD_DATA);
    EXPECT_EQ(reader.GetCount(), 3);
}

TEST_F(Reader, OnlyOneArchiveIsOpenAtATime)
{
    const std::string path = write(four_members());
    auto first = std::make_unique<RecordingReader>();
    ASSERT_EQ(first->Open(path.c_str()), 0);
    {
        RecordingReader second;
        EXPECT_EQ(second.Open(path.c_str()), ARCERR_ALREADY_OPEN);
        EXPECT_EQ(second.GetStatus(), ARCERR_ALREADY_OPEN);
        EXPECT_EQ(second.error_codes(), (std::vector<int>{ARCERR_ALREADY_OPEN}));
        // Closing and destroying it touches nothing of the first's.
        second.Close();
    }
    EXPECT_EQ(current_receiver, first.get());
    EXPECT_EQ(first->Extract(-1, out().c_str(), 1), 0);
    EXPECT_EQ(read_file(dir_ / "OUT" / "D.TXT"), bytes_of("DDDDDDDDDD-D"));
    EXPECT_TRUE(first->errors.empty());

    // A closed reader stays registered: it cannot open again.
    first->Close();
    EXPECT_EQ(first->Open(path.c_str()), ARCERR_ALREADY_OPEN);
    first.reset();
    EXPECT_EQ(current_receiver, nullptr);
    RecordingReader third;
    EXPECT_EQ(third.Open(path.c_str()), 0);
}

TEST_F(Reader, NullPathAndMissingFile)
{
    {
        RecordingReader reader;
        EXPECT_EQ(reader.Open(nullptr), ARCERR_NO_NAME);
        EXPECT_EQ(reader.error_codes(), (std::vector<int>{ARCERR_NO_NAME}));
    }
    RecordingReader reader;
    EXPECT_EQ(reader.Open(engine_path(dir_ / "MISSING.KW").c_str()), ARCERR_CANNOT_OPEN);
    EXPECT_EQ(reader.error_codes(), (std::vector<int>{ARCERR_OPEN_RETRY, ARCERR_CANNOT_OPEN}));
}

TEST_F(Reader, EmptyArchiveAndZeroByteFile)
{
    {
        RecordingReader reader;
        EXPECT_EQ(reader.Open(write(ArchiveBuilder(15).finish()).c_str()), 0);
        ASSERT_EQ(reader.GetStatus(), 0);
        EXPECT_EQ(reader.GetCount(), 0);
        ArchiveEntry e{};
        EXPECT_EQ(reader.GetEntry(0, &e), ARCERR_END_OF_DIRECTORY);
        EXPECT_EQ(reader.Extract(0, out().c_str(), 1), ARCERR_END_OF_DIRECTORY);
        EXPECT_EQ(reader.Extract(-1, out().c_str(), 1), 0);
    }
    RecordingReader reader;
    EXPECT_EQ(reader.Open(write({}, "EMPTY.KW").c_str()), ARCERR_READ);
    EXPECT_EQ(reader.error_codes(), (std::vector<int>{ARCERR_OPEN_RETRY, ARCERR_CANNOT_OPEN, ARCERR_READ}));
}

TEST_F(Reader, IndexesOutsideTheDirectory)
{
    RecordingReader reader;
    reader.Open(write(four_members()).c_str());
    ArchiveEntry e{};
    EXPECT_EQ(reader.GetEntry(-1, &e), ARCERR_BAD_INDEX);
    EXPECT_EQ(reader.GetEntry(4, &e), ARCERR_END_OF_DIRECTORY);
    EXPECT_EQ(reader.GetEntry(5, &e), ARCERR_BAD_INDEX);
    EXPECT_EQ(reader.Extract(-2, out().c_str(), 1), ARCERR_BAD_INDEX);
    EXPECT_EQ(reader.Extract(5, out().c_str(), 1), ARCERR_BAD_INDEX);
    EXPECT_EQ(reader.GetStatus(), 0);
}

TEST_F(Reader, ExtractSkipsEarlierMembersAndNeverGoesBack)
{
    RecordingReader reader;
    reader.Open(write(four_members()).c_str());
    ASSERT_EQ(reader.Extract(3, out().c_str(), 1), 0);
    EXPECT_EQ(reader.notices_of(ARCSTAT_SKIP), (std::vector<std::string>{"A.TXT", "B.TXT", "C.TXT"}));
    EXPECT_EQ(reader.notices_of(ARCSTAT_EXTRACT), (std::vector<std::string>{"D.TXT"}));
    EXPECT_EQ(read_file(dir_ / "OUT" / "D.TXT"), bytes_of("DDDDDDDDDD-D"));
    EXPECT_FALSE(fs::exists(dir_ / "OUT" / "A.TXT"));
    EXPECT_EQ(reader.GetCursor(), 4);
    EXPECT_EQ(reader.Extract(2, out().c_str(), 1), ARCERR_BAD_INDEX);
    EXPECT_EQ(reader.Extract(-1, out().c_str(), 1), 0);
}

TEST_F(Reader, FailedMemberMovesTheCursorOnAndLeavesNoFile)
{
    ArchiveBuilder b(15);
    b.literals("good");
    b.end_member("1.TXT", 4, check_value_of("good"));
    b.literals("bad!");
    b.end_member("2.TXT", 4, check_value_of("bad?"));
    b.literals("next");
    b.end_member("3.TXT", 4, check_value_of("next"));
    RecordingReader reader;
    reader.Open(write(b.finish()).c_str());
    EXPECT_EQ(reader.Extract(-1, out().c_str(), 1), ARCERR_CHECKSUM);
    // Reported where it arose, by Extract(1), and by Extract(-1).
    EXPECT_EQ(reader.error_codes(), (std::vector<int>(3, ARCERR_CHECKSUM)));
    EXPECT_TRUE(fs::exists(dir_ / "OUT" / "1.TXT"));
    EXPECT_FALSE(fs::exists(dir_ / "OUT" / "2.TXT"));
    EXPECT_EQ(reader.GetCursor(), 2);
    EXPECT_EQ(reader.GetStatus(), 0);
    // A check value failure leaves the stream at the next member's start.
    EXPECT_EQ(reader.Extract(2, out().c_str(), 1), 0);
    EXPECT_EQ(read_file(dir_ / "OUT" / "3.TXT"), bytes_of("next"));
}

TEST_F(Reader, FlatExtractionUsesBaseNames)
{
    MemberInput m;
    m.name = "DEEP\\ER\\F.TXT";
    m.data = bytes_of("flat");
    RecordingReader reader;
    reader.Open(write(encode_archive({m}, EncoderOptions{15})).c_str());
    ASSERT_EQ(reader.Extract(0, out().c_str(), 0), 0);
    EXPECT_EQ(read_file(dir_ / "OUT" / "F.TXT"), bytes_of("flat"));
}

TEST_F(Reader, NothingCanBeReadAfterClose)
{
    RecordingReader reader;
    reader.Open(write(four_members()).c_str());
    reader.Close();
    ArchiveEntry e{};
    EXPECT_EQ(reader.GetEntry(0, &e), ARCERR_BAD_INDEX);
    EXPECT_EQ(reader.Extract(0, out().c_str(), 1), ARCERR_BAD_INDEX);
    EXPECT_EQ(reader.GetCount(), 4);
    EXPECT_FALSE(fs::exists(dir_ / "OUT"));
}

}  // namespace
}  // namespace upkit::test
