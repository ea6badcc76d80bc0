// The input stream: blocks, continuation files, failures and path rules.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "archive_reader.h"
#include "input_stream.h"
#include "recording_reader.h"
#include "test_files.h"

#ifndef _WIN32
#include "native_faults.h"
#endif

namespace upkit::test {
namespace {

// Receives the stream's reports without opening anything through a reader.
class InputStream : public ::testing::Test {
protected:
    void SetUp() override { current_receiver = &reader_; }
    void TearDown() override
    {
        input_close();
        current_receiver = nullptr;
    }

    // Opens the stream and reads `count` bytes byte-aligned.
    std::vector<std::uint8_t> open_and_read(const fs::path& path, std::size_t count)
    {
        input_open(engine_path(path).c_str());
        std::vector<std::uint8_t> bytes(count);
        input_read_bytes(bytes.data(), static_cast<int>(count));
        return bytes;
    }

    std::vector<std::uint8_t> numbered(int number, const std::vector<std::uint8_t>& rest)
    {
        std::vector<std::uint8_t> v = {static_cast<std::uint8_t>(number), static_cast<std::uint8_t>(number >> 8)};
        v.insert(v.end(), rest.begin(), rest.end());
        return v;
    }

    TempDir dir_;
    RecordingReader reader_;
};

TEST(PathRules, BaseNameAndExtension)
{
    EXPECT_STREQ(base_name("C:\\DIR\\FILE.EXT"), "FILE.EXT");
    EXPECT_STREQ(base_name("C:FILE"), "FILE");
    EXPECT_STREQ(base_name("C:\\MY DIR\\FILE"), "MY DIR\\FILE");
    EXPECT_STREQ(base_name(""), "");
    EXPECT_STREQ(extension_of("C:\\TEMP\\X.TMP"), "TMP");
    EXPECT_STREQ(extension_of("A.B.C"), "B.C");
    EXPECT_STREQ(extension_of("C:\\DIR.D\\DATA"), "");

    char number[16];
    format_volume_number(number, 2);
    EXPECT_STREQ(number, "002");
    format_volume_number(number, 1000);
    EXPECT_STREQ(number, "1000");
}

TEST_F(InputStream, ContinuationFilesReadOnWithoutASeam)
{
    const std::vector<std::uint8_t> all = pseudo_random_bytes(5000, 1);
    write_file(dir_ / "X.TMP", std::span(all).first(1234));
    write_file(dir_ / "X.002", numbered(2, std::vector<std::uint8_t>(all.begin() + 1234, all.begin() + 3000)));
    write_file(dir_ / "X.003", numbered(3, std::vector<std::uint8_t>(all.begin() + 3000, all.end())));
    // Priming fetches three bytes ahead, so read exactly what stays inside.
    EXPECT_EQ(open_and_read(dir_ / "X.TMP", all.size() - 3), std::vector<std::uint8_t>(all.begin(), all.end() - 3));
    EXPECT_EQ(input_status(), 0);
    EXPECT_TRUE(reader_.errors.empty());
    EXPECT_EQ(reader_.notices_of(ARCSTAT_OPEN), (std::vector<std::string>{"X.TMP", "X.002", "X.003"}));
    EXPECT_EQ(reader_.notices_of(ARCSTAT_CLOSE), (std::vector<std::string>{"X.TMP", "X.002"}));
}

TEST_F(InputStream, WrongSequenceNumberFailsWithBadData)
{
    write_file(dir_ / "X.TMP", pseudo_random_bytes(100, 2));
    write_file(dir_ / "X.002", numbered(3, pseudo_random_bytes(100, 3)));
    open_and_read(dir_ / "X.TMP", 150);
    EXPECT_EQ(input_status(), ARCERR_BAD_DATA);
    EXPECT_EQ(reader_.error_codes(), (std::vector<int>{ARCERR_BAD_DATA}));
}

TEST_F(InputStream, ContinuationNamesReplaceFromTheFirstDot)
{
    const std::vector<std::uint8_t> tail = {7, 8, 9, 10};
    write_file(dir_ / "DATA", std::vector<std::uint8_t>{1, 2, 3});
    write_file(dir_ / "DATA.002", numbered(2, tail));
    EXPECT_EQ(open_and_read(dir_ / "DATA", 4), (std::vector<std::uint8_t>{1, 2, 3, 7}));
    EXPECT_EQ(input_status(), 0);
    input_close();

    write_file(dir_ / "A.B.C", std::vector<std::uint8_t>{1, 2, 3});
    write_file(dir_ / "A.002", numbered(2, tail));
    EXPECT_EQ(open_and_read(dir_ / "A.B.C", 4), (std::vector<std::uint8_t>{1, 2, 3, 7}));
    EXPECT_EQ(input_status(), 0);
}

TEST_F(InputStream, ContinuationHoldingOnlyItsNumberIsPassedOver)
{
    write_file(dir_ / "X.TMP", std::vector<std::uint8_t>{1, 2, 3});
    write_file(dir_ / "X.002", numbered(2, {}));
    write_file(dir_ / "X.003", numbered(3, {4, 5, 6, 7}));
    EXPECT_EQ(open_and_read(dir_ / "X.TMP", 4), (std::vector<std::uint8_t>{1, 2, 3, 4}));
    EXPECT_EQ(input_status(), 0);
    EXPECT_EQ(reader_.notices_of(ARCSTAT_OPEN).back(), "X.003");
}

TEST_F(InputStream, ReadingPastTheEndFailsThenYieldsOnlyZeros)
{
    write_file(dir_ / "X.TMP", std::vector<std::uint8_t>{0xAA, 0xBB, 0xCC, 0xDD});
    const std::vector<std::uint8_t> bytes = open_and_read(dir_ / "X.TMP", 2);
    EXPECT_EQ(bytes, (std::vector<std::uint8_t>{0xAA, 0xBB}));
    EXPECT_EQ(input_status(), ARCERR_READ);
    ASSERT_EQ(reader_.error_codes(), (std::vector<int>{ARCERR_OPEN_RETRY, ARCERR_CANNOT_OPEN, ARCERR_READ}));
    EXPECT_EQ(reader_.errors[1].detail, engine_path(dir_ / "X.002"));

    const std::size_t reads = reader_.notices_of(ARCSTAT_READ).size();
    for (int i = 0; i < 100000; ++i)
        ASSERT_EQ(input_next_byte(), 0);
    EXPECT_EQ(reader_.notices_of(ARCSTAT_READ).size(), reads);
    EXPECT_EQ(reader_.errors.size(), 3u);
}

TEST_F(InputStream, PathOf256CharactersIsRefusedBeforeAnyFileIsTouched)
{
    const std::string folder = dir_.engine() + "\\";
    const std::string longest = folder + std::string(255 - folder.size(), 'N');
    input_open(longest.c_str());
    EXPECT_EQ(input_status(), ARCERR_CANNOT_OPEN);
    EXPECT_EQ(reader_.notices_of(ARCSTAT_OPEN).size(), 1u);
    input_close();

    reader_.errors.clear();
    reader_.notices.clear();
    input_open((longest + "N").c_str());
    EXPECT_EQ(input_status(), ARCERR_NO_MEMORY);
    EXPECT_EQ(reader_.error_codes(), (std::vector<int>{ARCERR_NO_MEMORY}));
    EXPECT_TRUE(reader_.notices_of(ARCSTAT_OPEN).empty());
}

TEST_F(InputStream, OpenIsRetriedWhileTheReceiverAsksForIt)
{
    const fs::path path = dir_ / "LATE.KW";
    reader_.retries_to_grant = 3;
    int attempts = 0;
    reader_.before_retry = [&] {
        if (++attempts == 2)
            write_file(path, std::vector<std::uint8_t>{1, 2, 3, 4});
    };
    EXPECT_EQ(open_and_read(path, 1), (std::vector<std::uint8_t>{1}));
    EXPECT_EQ(input_status(), 0);
    EXPECT_EQ(reader_.error_codes(), (std::vector<int>{ARCERR_OPEN_RETRY, ARCERR_OPEN_RETRY}));
}

TEST_F(InputStream, StatusNoticesNameFilesByBaseName)
{
    write_file(dir_ / "X.TMP", pseudo_random_bytes(40000, 4));
    open_and_read(dir_ / "X.TMP", 40000 - 3);
    input_close();
    EXPECT_EQ(reader_.notices_of(ARCSTAT_OPEN), (std::vector<std::string>{"X.TMP"}));
    EXPECT_EQ(reader_.notices_of(ARCSTAT_READ), (std::vector<std::string>(3, "X.TMP")));
    EXPECT_EQ(reader_.notices_of(ARCSTAT_CLOSE), (std::vector<std::string>{"X.TMP"}));
}

#ifndef _WIN32
TEST_F(InputStream, SmallerBufferWhenMemoryIsShort)
{
    write_file(dir_ / "X.TMP", pseudo_random_bytes(30000, 5));
    {
        AllocationLimit limit(15000);
        open_and_read(dir_ / "X.TMP", 30000 - 3);
    }
    EXPECT_EQ(input_status(), 0);
    // Blocks of 14336 bytes: three reads where 16384 would need two.
    EXPECT_EQ(reader_.notices_of(ARCSTAT_READ).size(), 3u);
    input_close();

    {
        AllocationLimit limit(2047);
        input_open(engine_path(dir_ / "X.TMP").c_str());
    }
    EXPECT_EQ(input_status(), ARCERR_NO_MEMORY);
}
#endif

}  // namespace
}  // namespace upkit::test
