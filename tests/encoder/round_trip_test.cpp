// Archives from our encoder, read back by the engine: every shape of input
// that stresses the coder, each window size, exact stream ends.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "archive_writer.h"
#include "recording_reader.h"
#include "test_files.h"

namespace upkit::test {
namespace {

MemberInput member(const std::string& name, std::vector<std::uint8_t> data)
{
    MemberInput m;
    m.name = name;
    m.data = std::move(data);
    m.dos_time = 0x6000;
    m.dos_date = 0x2821;
    return m;
}

std::vector<std::uint8_t> repeat(const std::vector<std::uint8_t>& unit, std::size_t count)
{
    std::vector<std::uint8_t> out;
    for (std::size_t i = 0; i < count; ++i)
        out.insert(out.end(), unit.begin(), unit.end());
    return out;
}

std::vector<std::uint8_t> conformance_file(const std::string& relative)
{
    return read_file(test_data("conformance") / fs::path(relative));
}

// Parameter: the compression level, so that both parsers are read back.
class RoundTrip : public ::testing::TestWithParam<int> {
protected:
    // Encodes, extracts everything with a fresh reader and compares; the
    // reader must not report anything (no reading past the end, either).
    std::vector<std::uint8_t> round_trip(const std::vector<MemberInput>& members, int window_bits)
    {
        const std::vector<std::uint8_t> image = encode_archive(members, level_options(GetParam(), window_bits));
        write_file(dir_ / "R.KW", image);
        fs::remove_all(dir_ / "OUT");
        RecordingReader reader;
        EXPECT_EQ(reader.Open(engine_path(dir_ / "R.KW").c_str()), 0);
        EXPECT_EQ(reader.GetStatus(), 0);
        EXPECT_EQ(reader.GetWindowBits(), window_bits);
        EXPECT_EQ(reader.Extract(-1, engine_path(dir_ / "OUT").c_str(), 1), 0);
        EXPECT_TRUE(reader.errors.empty()) << "first error " << reader.errors.front().code;
        for (const MemberInput& m : members) {
            const fs::path written = dir_ / "OUT" / m.name;
            if (!fs::exists(written)) {
                ADD_FAILURE() << m.name << " was not written";
                continue;
            }
            EXPECT_TRUE(read_file(written) == m.data) << m.name << " differs";
        }
        return image;
    }

    TempDir dir_;
};

TEST_P(RoundTrip, EmptyAndTinyMembers)
{
    round_trip({}, 15);
    round_trip({member("E1", {}), member("A", {'a'}), member("E2", {}), member("ABC", bytes_of("abc")),
                member("E3", {})},
               15);
}

TEST_P(RoundTrip, EveryWindowSizeOnRealFiles)
{
    const std::vector<MemberInput> members = {
        member("GPL3.TXT", conformance_file("v01_text/expected/GPL3.TXT")),
        member("STDIO.H", conformance_file("v01_text/expected/STDIO.H")),
        member("KIT.BMP", conformance_file("v05_split/expected/KIT.BMP")),
    };
    std::size_t previous = 0;
    for (int bits : {10, 12, 15, 18, 21}) {
        const std::size_t size = round_trip(members, bits).size();
        if (previous) {
            EXPECT_LE(size, previous + previous / 50) << bits;  // larger windows do not do much worse
        }
        previous = size;
    }
}

TEST_P(RoundTrip, WindowsBinariesWithTheLargestWindow)
{
    const std::vector<std::uint8_t> dll = conformance_file("v07_w21/expected/WINMM.DLL");
    const std::vector<std::uint8_t> image = round_trip({member("WINMM.DLL", dll)}, 21);
    EXPECT_LT(image.size(), dll.size() / 2);
}

TEST_P(RoundTrip, MembersLargerThanTheWindowAndMatchesAcrossItsEnd)
{
    // Periods just below and above the window make matches reach back almost
    // a whole window, wrapping around its end again and again.
    const std::vector<std::uint8_t> within = repeat(pseudo_random_bytes(1000, 51), 9);
    const std::vector<std::uint8_t> beyond = repeat(pseudo_random_bytes(1030, 52), 9);
    round_trip({member("NEAR", within), member("FAR", beyond)}, 10);
    // Only the period that fits the window is found again.
    EXPECT_LT(round_trip({member("NEAR", within)}, 10).size(), 1300u);
    EXPECT_GT(round_trip({member("FAR", beyond)}, 10).size(), beyond.size());
}

TEST_P(RoundTrip, MatchesReachIntoEarlierMembers)
{
    const std::vector<std::uint8_t> data = pseudo_random_bytes(20000, 61);
    const std::vector<std::uint8_t> image = round_trip({member("ONE", data), member("TWO", data)}, 15);
    // The second copy costs almost nothing.
    EXPECT_LT(image.size(), data.size() + data.size() / 20);
}

TEST_P(RoundTrip, SkewedInputForcesRescalesAndRebuilds)
{
    round_trip({member("SKEW", pseudo_random_bytes(300000, 71, 3)), member("RUNS", repeat(bytes_of("a"), 100000)),
                member("ALL", pseudo_random_bytes(100000, 72, 256))},
               18);
}

TEST_P(RoundTrip, EveryByteValueAndLongestMatches)
{
    std::vector<std::uint8_t> bytes;
    for (int i = 0; i < 256; ++i)
        bytes.push_back(static_cast<std::uint8_t>(i));
    round_trip({member("BYTES", repeat(bytes, 40)), member("ZEROS", std::vector<std::uint8_t>(70000, 0))}, 15);
}

TEST_P(RoundTrip, SameInputGivesTheSameBytes)
{
    const std::vector<MemberInput> members = {member("X", pseudo_random_bytes(50000, 81, 16)),
                                              member("Y", conformance_file("v01_text/expected/STDIO.H"))};
    EXPECT_EQ(encode_archive(members, level_options(GetParam(), 15)),
              encode_archive(members, level_options(GetParam(), 15)));
}

TEST_P(RoundTrip, OneByteShortIsTruncated)
{
    const std::vector<std::uint8_t> image =
        encode_archive({member("T", conformance_file("v01_text/expected/GPL3.TXT"))}, level_options(GetParam(), 15));
    write_file(dir_ / "T.KW", std::span(image).first(image.size() - 1));
    RecordingReader reader;
    reader.Open(engine_path(dir_ / "T.KW").c_str());
    ASSERT_EQ(reader.GetStatus(), 0);
    reader.Extract(-1, engine_path(dir_ / "OUT").c_str(), 1);
    const std::vector<int> codes = reader.error_codes();
    ASSERT_GE(codes.size(), 3u);
    EXPECT_EQ(std::vector<int>(codes.begin(), codes.begin() + 3),
              (std::vector<int>{ARCERR_OPEN_RETRY, ARCERR_CANNOT_OPEN, ARCERR_READ}));
}

INSTANTIATE_TEST_SUITE_P(Levels, RoundTrip, ::testing::Values(1, 5, 6, 9));

TEST(EncoderLevels, HigherLevelsPackRealFilesSmaller)
{
    const std::vector<MemberInput> members = {
        member("GPL3.TXT", conformance_file("v01_text/expected/GPL3.TXT")),
        member("WINMM.DLL", conformance_file("v07_w21/expected/WINMM.DLL")),
    };
    std::size_t sizes[10] = {};
    for (int level : {1, 5, 6, 9})
        sizes[level] = encode_archive(members, level_options(level, 18)).size();
    EXPECT_LT(sizes[5], sizes[1]);
    // The optimal parse beats the best lazy one by a clear margin.
    EXPECT_LT(sizes[6], sizes[5] - sizes[5] / 50);
    EXPECT_LE(sizes[9], sizes[6]);
}

TEST(EncoderLimits, RefusesWhatTheFormatCannotCarry)
{
    EXPECT_THROW(encode_archive({}, EncoderOptions{9}), std::invalid_argument);
    EXPECT_THROW(encode_archive({}, EncoderOptions{22}), std::invalid_argument);
    EXPECT_THROW(encode_archive({member(std::string(32768, 'N'), {})}, EncoderOptions{15}), std::invalid_argument);
    EXPECT_NO_THROW(encode_archive({member(std::string(32767, 'N'), {})}, EncoderOptions{15}));
    EXPECT_THROW(encode_archive(std::vector<MemberInput>(65536), EncoderOptions{15}), std::invalid_argument);
    EXPECT_EQ(fitting_window_bits(0, 18), 10);
    EXPECT_EQ(fitting_window_bits(1024, 18), 10);
    EXPECT_EQ(fitting_window_bits(1025, 18), 11);
    EXPECT_EQ(fitting_window_bits(100000000, 18), 18);
}

}  // namespace
}  // namespace upkit::test
