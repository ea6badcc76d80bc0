// The member decoder: window copies, flushing, check values, progress and the
// ways a member fails.
#include <gtest/gtest.h>

#include <limits>
#include <string>
#include <vector>

#include "archive_builder.h"
#include "archive_reader.h"
#include "lz_window.h"
#include "recording_reader.h"
#include "test_files.h"

#ifndef _WIN32
#include "native_faults.h"
#endif

namespace upkit::test {
namespace {

TEST(CheckValue, MatchesTheWorkedExampleAndTheBytewiseRule)
{
    const std::vector<std::uint8_t> abc = bytes_of("abc");
    EXPECT_EQ(update_check_value(0, abc.data(), 1), 0x00C2);
    EXPECT_EQ(update_check_value(0, abc.data(), 2), 0x0140);
    EXPECT_EQ(update_check_value(0, abc.data(), 3), 0x0246);

    // The eight-at-a-time loop agrees with one byte at a time, for every tail.
    const std::vector<std::uint8_t> data = pseudo_random_bytes(1000, 11);
    for (int length = 0; length < 60; ++length) {
        WORD bytewise = 0x1234;
        for (int i = 0; i < length; ++i)
            bytewise = update_check_value(bytewise, &data[static_cast<std::size_t>(i)], 1);
        EXPECT_EQ(update_check_value(0x1234, data.data(), length), bytewise) << length;
    }
}

// A window of 512 bytes filled with a known pattern.
class WindowCopy : public ::testing::Test {
protected:
    void SetUp() override
    {
        for (int i = 0; i < 512; ++i)
            buffer_[i] = static_cast<BYTE>(i * 7 + 3);
        window = buffer_;
        window_size = 512;
        window_mask = 511;
    }
    void TearDown() override { window = nullptr; }

    BYTE buffer_[512];
};

TEST_F(WindowCopy, ShortDistanceRepeatsTheLastBytes)
{
    window_pos = 100;
    copy_match(1, 5);
    for (int i = 100; i < 105; ++i)
        EXPECT_EQ(buffer_[i], buffer_[99]);
    window_pos = 200;
    const BYTE a = buffer_[197], b = buffer_[198], c = buffer_[199];
    copy_match(3, 259);
    for (int i = 0; i < 259; ++i)
        ASSERT_EQ(buffer_[200 + i], (i % 3 == 0 ? a : i % 3 == 1 ? b : c)) << i;
    EXPECT_EQ(window_pos, 459);
}

TEST_F(WindowCopy, AgreesWithTheByteByByteCopyAtEveryShortDistance)
{
    // Copies that move several bytes at a time must still read each byte
    // after the bytes before it were written, as a distance below the
    // length needs.
    for (int distance = 1; distance <= 12; ++distance) {
        for (int length = kMinMatch; length <= 24; ++length) {
            SetUp();
            BYTE expected[512];
            std::copy(buffer_, buffer_ + 512, expected);
            for (int i = 0; i < length; ++i)
                expected[300 + i] = expected[300 + i - distance];
            window_pos = 300;
            copy_match(distance, length);
            ASSERT_TRUE(std::equal(buffer_, buffer_ + 512, expected)) << distance << " " << length;
        }
    }
}

TEST_F(WindowCopy, SourceAndDestinationWrapAroundTheEnd)
{
    BYTE before[512];
    std::copy(buffer_, buffer_ + 512, before);
    window_pos = 2;
    copy_match(6, 5);  // source starts 4 bytes before the end
    EXPECT_EQ(buffer_[2], before[508]);
    EXPECT_EQ(buffer_[5], before[511]);
    EXPECT_EQ(buffer_[6], before[0]);

    std::copy(buffer_, buffer_ + 512, before);
    window_pos = 509;
    copy_match(100, 6);  // destination runs over the end into index 0
    EXPECT_EQ(window_pos, 3);
    EXPECT_EQ(buffer_[511], before[411]);
    EXPECT_EQ(buffer_[0], before[412]);
    EXPECT_EQ(buffer_[2], before[414]);
}

// Extraction of crafted archives through a recording reader.
class MemberDecoder : public ::testing::Test {
protected:
    int open(const std::vector<std::uint8_t>& image)
    {
        write_file(dir_ / "A.KW", image);
        const int result = reader_.Open(engine_path(dir_ / "A.KW").c_str());
        EXPECT_EQ(reader_.GetStatus(), 0);
        return result;
    }
    std::string out() const { return engine_path(dir_ / "OUT"); }

    TempDir dir_;
    RecordingReader reader_;
};

TEST_F(MemberDecoder, EmptyMemberAsksProgressTwiceAndWritesNothing)
{
    ArchiveBuilder b(15);
    b.end_member("E.TXT", 0, 0);
    open(b.finish());
    ASSERT_EQ(reader_.Extract(0, out().c_str(), 1), 0);
    EXPECT_EQ(reader_.progress, (std::vector<std::pair<DWORD, DWORD>>{{0, 0}, {0, 0}}));
    EXPECT_TRUE(reader_.notices_of(ARCSTAT_EXTRACT).empty());
    EXPECT_EQ(fs::file_size(dir_ / "OUT" / "E.TXT"), 0u);
}

TEST_F(MemberDecoder, MatchRunningPastTheMemberFailsAndLeavesNoFile)
{
    ArchiveBuilder b(15);
    b.literals("ab");
    b.items().match(5, 2);  // seven bytes for a member of four
    b.end_member("OVER.TXT", 4, check_value_of("abab"));
    open(b.finish());
    EXPECT_EQ(reader_.Extract(0, out().c_str(), 1), ARCERR_BAD_DATA);
    EXPECT_EQ(reader_.error_codes(), (std::vector<int>{ARCERR_BAD_DATA, ARCERR_BAD_DATA}));
    EXPECT_FALSE(fs::exists(dir_ / "OUT" / "OVER.TXT"));
    EXPECT_TRUE(fs::is_directory(dir_ / "OUT"));  // directories made for it stay
}

TEST_F(MemberDecoder, SkippedMemberIsStillVerified)
{
    ArchiveBuilder b(15);
    b.literals("first");
    b.end_member("1.TXT", 5, check_value_of("first") ^ 1);
    b.literals("second");
    b.end_member("2.TXT", 6, check_value_of("second"));
    open(b.finish());
    EXPECT_EQ(reader_.Extract(1, out().c_str(), 1), ARCERR_CHECKSUM);
    EXPECT_EQ(reader_.notices_of(ARCSTAT_SKIP), (std::vector<std::string>{"1.TXT"}));
    EXPECT_FALSE(fs::exists(dir_ / "OUT" / "2.TXT"));
}

TEST_F(MemberDecoder, ProgressCountdownRunsOnAcrossMembers)
{
    ArchiveBuilder b(15);
    b.literals("0123456789");
    b.end_member("D.TXT", 10, check_value_of("0123456789"));
    open(b.finish());
    progress_countdown = 5;
    ASSERT_EQ(reader_.Extract(0, out().c_str(), 1), 0);
    EXPECT_EQ(reader_.progress, (std::vector<std::pair<DWORD, DWORD>>{{0, 10}, {4, 10}, {10, 10}}));
    EXPECT_EQ(progress_countdown, kProgressInterval - 5);
}

TEST_F(MemberDecoder, CancelAtTheLastQueryDeletesTheCompleteFile)
{
    ArchiveBuilder b(15);
    b.literals("done");
    b.end_member("C.TXT", 4, check_value_of("done"));
    open(b.finish());
    reader_.cancel_at = std::make_pair(DWORD{4}, DWORD{4});
    EXPECT_EQ(reader_.Extract(0, out().c_str(), 1), ARCERR_CANCELLED);
    EXPECT_FALSE(fs::exists(dir_ / "OUT" / "C.TXT"));
    EXPECT_EQ(reader_.notices_of(ARCSTAT_EXTRACT).size(), 1u);
}

TEST_F(MemberDecoder, SizeOf2GiBOrMoreFailsAfterTheFirstQuery)
{
    ArchiveBuilder b(15);
    b.literals("x");
    b.end_member("HUGE.BIN", 0x80000000u, 0);
    open(b.finish());
    EXPECT_EQ(reader_.Extract(0, out().c_str(), 1), ARCERR_BAD_DATA);
    EXPECT_EQ(reader_.progress, (std::vector<std::pair<DWORD, DWORD>>{{0, 0x80000000u}}));
}

TEST_F(MemberDecoder, ClearedWindowMakesReachingBeforeTheStartDeterministic)
{
    ArchiveBuilder b(15);
    b.items().match(5, 300);  // nothing has been placed yet
    b.literals("z");
    const std::vector<std::uint8_t> expected = {0, 0, 0, 0, 0, 'z'};
    b.end_member("Z.BIN", 6, check_value_of(expected));
    open(b.finish());
    ASSERT_EQ(reader_.Extract(0, out().c_str(), 1), 0);
    EXPECT_EQ(read_file(dir_ / "OUT" / "Z.BIN"), expected);
}

TEST_F(MemberDecoder, WaitingBytesAcrossTheWindowEndAreFlushedTailFirst)
{
    // A 1 KiB window and members that make the flushes wrap around its end.
    const std::vector<std::uint8_t> first = pseudo_random_bytes(700, 21, 4);
    const std::vector<std::uint8_t> second = pseudo_random_bytes(3000, 22, 4);
    ArchiveBuilder b(10);
    for (std::uint8_t c : first)
        b.items().literal(c);
    b.end_member("1.BIN", 700, check_value_of(first));
    for (std::uint8_t c : second)
        b.items().literal(c);
    b.end_member("2.BIN", 3000, check_value_of(second));
    open(b.finish());
    ASSERT_EQ(reader_.Extract(-1, out().c_str(), 1), 0);
    EXPECT_EQ(read_file(dir_ / "OUT" / "2.BIN"), second);
    // Flushes of 700, then 765, 765, 765 and 705: the second member's first
    // two wrap around the window's end.
    EXPECT_EQ(reader_.notices_of(ARCSTAT_EXTRACT).size(), 1u + 4u);
}

#ifndef _WIN32
TEST_F(MemberDecoder, FailedWritesGiveWriteOrFlushAndDeleteTheFile)
{
    const std::vector<std::uint8_t> data = pseudo_random_bytes(3000, 31, 3);
    ArchiveBuilder b(10);
    for (std::uint8_t c : data)
        b.items().literal(c);
    b.end_member("W.BIN", 3000, check_value_of(data));
    const std::vector<std::uint8_t> image = b.finish();

    // Inside the member: the write reports 13, the member ends with 8.
    open(image);
    {
        WriteBudget budget(100);
        EXPECT_EQ(reader_.Extract(0, out().c_str(), 1), ARCERR_FLUSH);
    }
    EXPECT_EQ(reader_.error_codes(), (std::vector<int>{ARCERR_WRITE, ARCERR_FLUSH}));
    EXPECT_EQ(reader_.errors[0].detail, "W.BIN");
    EXPECT_FALSE(fs::exists(dir_ / "OUT" / "W.BIN"));
}

TEST_F(MemberDecoder, FinalFlushFailureIsAWriteError)
{
    ArchiveBuilder b(15);
    b.literals("short");
    b.end_member("S.TXT", 5, check_value_of("short"));
    open(b.finish());
    {
        WriteBudget budget(2);
        EXPECT_EQ(reader_.Extract(0, out().c_str(), 1), ARCERR_WRITE);
    }
    EXPECT_EQ(reader_.error_codes(), (std::vector<int>{ARCERR_WRITE, ARCERR_WRITE}));
    EXPECT_FALSE(fs::exists(dir_ / "OUT" / "S.TXT"));
}
#endif

}  // namespace
}  // namespace upkit::test
