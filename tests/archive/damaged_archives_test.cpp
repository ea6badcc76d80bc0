// Damaged and arbitrary archives: whatever the bytes, every operation ends in
// 0 or an engine code, nothing is written outside the target folder, and the
// sanitizer builds see no bad memory access.
#include <gtest/gtest.h>

#include <map>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "archive_writer.h"
#include "recording_reader.h"
#include "test_files.h"

namespace upkit::test {
namespace {

const std::set<int> kEngineCodes = {0, 1, 2, 3, 7, 8, 9, 10, 12, 13, 15, 16, 17, 18, 20, 21};

std::vector<std::uint8_t> sample_archive()
{
    std::vector<MemberInput> members(3);
    members[0].name = "TEXT.TXT";
    members[0].data = read_file(test_data("conformance/v01_text/expected/STDIO.H"));
    members[0].data.resize(3000);
    members[1].name = "SUB\\BIN.DAT";
    members[1].data = pseudo_random_bytes(1500, 3, 20);
    members[2].name = "EMPTY";
    return encode_archive(members, EncoderOptions{10});
}

std::vector<std::uint8_t> damage(std::vector<std::uint8_t> bytes, std::mt19937& rng)
{
    switch (rng() % 4) {
    case 0:  // flipped bits
        for (int i = 0, n = 1 + static_cast<int>(rng() % 8); i < n; ++i)
            bytes[rng() % bytes.size()] ^= static_cast<std::uint8_t>(1u << (rng() % 8));
        break;
    case 1:  // cut short
        bytes.resize(rng() % bytes.size());
        break;
    case 2:  // a stretch overwritten with noise
    {
        const std::size_t at = rng() % bytes.size();
        for (std::size_t i = at; i < bytes.size() && i < at + 1 + rng() % 64; ++i)
            bytes[i] = static_cast<std::uint8_t>(rng());
        break;
    }
    default:  // the directory kept, the stream replaced
        for (std::size_t i = 40; i < bytes.size(); ++i)
            bytes[i] = static_cast<std::uint8_t>(rng());
        break;
    }
    return bytes;
}

TEST(DamagedArchives, EndInAnEngineCodeAndStayInsideTheTarget)
{
    const std::vector<std::uint8_t> original = sample_archive();
    std::mt19937 rng(2024);
    TempDir dir;
    const std::string target = engine_path(dir / "T" / "OUT");
    std::map<int, int> outcomes;
    for (int round = 0; round < 600; ++round) {
        write_file(dir / "D.KW", damage(original, rng));
        RecordingReader reader;
        const int opened = reader.Open(engine_path(dir / "D.KW").c_str());
        ASSERT_TRUE(kEngineCodes.count(opened)) << round;
        ASSERT_TRUE(kEngineCodes.count(reader.GetStatus())) << round;
        if (reader.GetStatus() == 0) {
            ArchiveEntry entry{};
            for (int i = 0; i < reader.GetCount(); ++i)
                ASSERT_EQ(reader.GetEntry(i, &entry), 0);
            const int extracted = reader.Extract(-1, target.c_str(), 1);
            ASSERT_TRUE(kEngineCodes.count(extracted)) << round << ": " << extracted;
            ++outcomes[extracted];
        }
        for (const ErrorReport& e : reader.errors)
            ASSERT_TRUE(kEngineCodes.count(e.code)) << round;
        reader.Close();
        // Only the archive and the target folder may exist.
        for (const auto& entry : fs::directory_iterator(dir.path()))
            ASSERT_TRUE(entry.path().filename() == "D.KW" || entry.path().filename() == "T") << round;
        if (fs::exists(dir / "T")) {
            for (const auto& entry : fs::directory_iterator(dir / "T"))
                ASSERT_EQ(entry.path().filename(), "OUT") << round;
        }
        fs::remove_all(dir / "T");
    }
    // The damage must reach the decoder, not only the header checks: many
    // archives open, and their extraction fails in several distinct ways.
    int extracted = 0;
    for (const auto& [code, count] : outcomes)
        extracted += count;
    EXPECT_GT(extracted, 300);
    EXPECT_GE(outcomes.size(), 4u);
}

TEST(DamagedArchives, ArbitraryBytesAfterAValidHeader)
{
    std::mt19937 rng(77);
    TempDir dir;
    for (int round = 0; round < 300; ++round) {
        std::vector<std::uint8_t> bytes =
            archive_header(0, 97, static_cast<std::uint16_t>(rng() % 5), static_cast<std::uint8_t>(9 + rng() % 13));
        const std::vector<std::uint8_t> noise = pseudo_random_bytes(rng() % 3000, static_cast<std::uint32_t>(round));
        bytes.insert(bytes.end(), noise.begin(), noise.end());
        write_file(dir / "N.KW", bytes);
        RecordingReader reader;
        reader.Open(engine_path(dir / "N.KW").c_str());
        if (reader.GetStatus() != 0)
            continue;
        // Skip mode decodes without writing.
        for (int i = 0; i < reader.GetCount(); ++i) {
            const int result = reader.ExtractOne(0, i, nullptr, 0);
            ASSERT_TRUE(kEngineCodes.count(result)) << round << ": " << result;
            if (result)
                break;
        }
    }
}

}  // namespace
}  // namespace upkit::test
