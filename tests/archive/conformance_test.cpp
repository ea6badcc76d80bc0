// Archives written by an independent implementation of the format: each must
// list as its case.json says and extract to exactly the expected files, with
// their stored times.
#include <gtest/gtest.h>

#include <fstream>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "recording_reader.h"
#include "test_files.h"

namespace upkit::test {
namespace {

std::vector<std::string> case_names()
{
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(test_data("conformance")))
        if (entry.is_directory())
            names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

// Where a stored name lands below the target folder.
fs::path expected_location(std::string name)
{
    if (!name.empty() && name[0] == '\\')
        name.erase(0, 1);
    fs::path path;
    std::size_t start = 0;
    for (std::size_t i = 0; i <= name.size(); ++i) {
        if (i == name.size() || name[i] == '\\') {
            path /= name.substr(start, i - start);
            start = i + 1;
        }
    }
    return path;
}

class Conformance : public ::testing::TestWithParam<std::string> { };

TEST_P(Conformance, ListsAndExtractsAsExpected)
{
    const fs::path folder = test_data("conformance") / GetParam();
    std::ifstream json_file(folder / "case.json");
    const nlohmann::json spec = nlohmann::json::parse(json_file);
    const auto& members = spec.at("members");

    TempDir out;
    RecordingReader reader;
    ASSERT_EQ(reader.Open(engine_path(folder / spec.at("archive").get<std::string>()).c_str()), 0);
    ASSERT_EQ(reader.GetStatus(), 0);
    EXPECT_EQ(reader.GetWindowBits(), spec.at("window_bits").get<int>());
    ASSERT_EQ(reader.GetCount(), static_cast<int>(members.size()));
    for (int i = 0; i < reader.GetCount(); ++i) {
        const auto& m = members[static_cast<std::size_t>(i)];
        ArchiveEntry e{};
        ASSERT_EQ(reader.GetEntry(i, &e), 0);
        EXPECT_EQ(e.name, m.at("name").get<std::string>());
        EXPECT_EQ(e.size, m.at("size").get<DWORD>());
        EXPECT_EQ(e.time, m.at("dos_time").get<WORD>());
        EXPECT_EQ(e.date, m.at("dos_date").get<WORD>());
        EXPECT_EQ(e.note, m.at("note").get<std::string>());
        EXPECT_EQ(e.note_length, static_cast<int>(m.at("note").get<std::string>().size()));
    }

    ASSERT_EQ(reader.Extract(-1, out.engine().c_str(), 1), 0);
    EXPECT_TRUE(reader.errors.empty());
    // Every volume was read, and nothing past the last one was asked for.
    EXPECT_EQ(reader.notices_of(ARCSTAT_OPEN).size(), spec.at("volumes").size());

    for (const auto& m : members) {
        const fs::path relative = expected_location(m.at("name").get<std::string>());
        const fs::path written = out.path() / relative;
        ASSERT_TRUE(fs::exists(written)) << relative;
        EXPECT_EQ(read_file(written), read_file(folder / "expected" / relative)) << relative;
        EXPECT_EQ(last_write_utc(written),
                  local_dos_time_to_utc(m.at("dos_date").get<WORD>(), m.at("dos_time").get<WORD>()))
            << relative;
    }
}

INSTANTIATE_TEST_SUITE_P(Cases, Conformance, ::testing::ValuesIn(case_names()),
                         [](const ::testing::TestParamInfo<std::string>& param) { return param.param; });

}  // namespace
}  // namespace upkit::test
