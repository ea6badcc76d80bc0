// Archives split into continuation files.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "archive_writer.h"
#include "input_stream.h"
#include "recording_reader.h"
#include "test_files.h"

namespace upkit::test {
namespace {

TEST(Volumes, SplitCarriesSequenceNumbersAndNoEmptyTail)
{
    const std::vector<std::uint8_t> image = pseudo_random_bytes(1000, 91);
    const auto volumes = split_into_volumes(image, 300);
    ASSERT_EQ(volumes.size(), 4u);  // 300 + 298 + 298 + 104
    EXPECT_EQ(volumes[0], std::vector<std::uint8_t>(image.begin(), image.begin() + 300));
    std::vector<std::uint8_t> joined = volumes[0];
    for (std::size_t i = 1; i < volumes.size(); ++i) {
        EXPECT_LE(volumes[i].size(), 300u);
        EXPECT_EQ(volumes[i][0] | (volumes[i][1] << 8), static_cast<int>(i + 1));
        joined.insert(joined.end(), volumes[i].begin() + 2, volumes[i].end());
    }
    EXPECT_EQ(joined, image);

    EXPECT_EQ(split_into_volumes(image, 1000).size(), 1u);
    EXPECT_EQ(split_into_volumes(std::vector<std::uint8_t>(598), 300).size(), 2u);
    EXPECT_THROW(split_into_volumes(image, 2), std::invalid_argument);
}

TEST(Volumes, SplitArchiveExtractsAcrossEveryBoundary)
{
    MemberInput a;
    a.name = "A.BIN";
    a.data = pseudo_random_bytes(1500, 92, 40);
    MemberInput b;
    b.name = "SUB\\B.TXT";
    b.data = read_file(test_data("conformance/v01_text/expected/STDIO.H"));
    b.data.resize(2000);
    const std::vector<std::uint8_t> image = encode_archive({a, b}, EncoderOptions{15});

    // Small volumes put boundaries inside the header, the directory and the
    // stream alike.
    for (std::size_t size : {4, 13, 64, 4096}) {
        TempDir dir;
        const auto volumes = split_into_volumes(image, size);
        for (std::size_t i = 0; i < volumes.size(); ++i) {
            char number[16];
            format_volume_number(number, static_cast<int>(i + 1));
            write_file(dir / (i == 0 ? std::string("S.KW") : std::string("S.") + number), volumes[i]);
        }
        RecordingReader reader;
        reader.Open(engine_path(dir / "S.KW").c_str());
        ASSERT_EQ(reader.GetStatus(), 0) << size;
        ASSERT_EQ(reader.Extract(-1, engine_path(dir / "OUT").c_str(), 1), 0) << size;
        EXPECT_TRUE(reader.errors.empty()) << size;
        EXPECT_EQ(reader.notices_of(ARCSTAT_OPEN).size(), volumes.size());
        EXPECT_EQ(read_file(dir / "OUT" / "A.BIN"), a.data);
        EXPECT_EQ(read_file(dir / "OUT" / "SUB" / "B.TXT"), b.data);
    }
}

}  // namespace
}  // namespace upkit::test
