// What list shows of an archive made with known entries.

#include "cli_test_support.h"

#include <fmt/format.h>

namespace {

std::uint16_t dos_date(int year, int month, int day)
{
    return static_cast<std::uint16_t>(((year - 1980) << 9) | (month << 5) | day);
}

std::uint16_t dos_time(int hour, int minute, int second)
{
    return static_cast<std::uint16_t>((hour << 11) | (minute << 5) | (second / 2));
}

class VolumeListing : public CliTest { };

class ListTest : public CliTest {
protected:
    void SetUp() override
    {
        CliTest::SetUp();
        upkit::MemberInput notes = member("docs\\notes.txt", text_bytes(1234));
        notes.note = "release notes";
        notes.dos_date = dos_date(2001, 2, 3);
        notes.dos_time = dos_time(4, 5, 6);
        upkit::MemberInput tool = member("tool.exe", random_bytes(777, 2));
        tool.dos_date = dos_date(2107, 12, 31);
        tool.dos_time = dos_time(23, 59, 58);
        upkit::EncoderOptions options;
        options.window_bits = 13;
        write_bytes(at("kit.kw"), upkit::encode_archive({notes, tool}, options));
    }
};

TEST_F(ListTest, TableShowsHeaderRowsNotesAndTotal)
{
    const RunResult listed = run_cli({"list", arg("kit.kw")});
    ASSERT_EQ(listed.code, 0) << listed.err;
    EXPECT_NE(listed.out.find(arg("kit.kw") + ": 2 members, window 13 bits, version bytes 0 97\n"), std::string::npos)
        << listed.out;
    EXPECT_NE(listed.out.find("      1234  2001-02-03 04:05:06  docs\\notes.txt  [release notes]\n"), std::string::npos)
        << listed.out;
    EXPECT_NE(listed.out.find("       777  2107-12-31 23:59:58  tool.exe\n"), std::string::npos) << listed.out;
    EXPECT_NE(listed.out.find("      2011  total"), std::string::npos) << listed.out;
}

TEST_F(ListTest, JsonHoldsTheSameAsOneObject)
{
    const nlohmann::json listing = list_json(arg("kit.kw"));
    EXPECT_EQ(listing["archive"], arg("kit.kw"));
    EXPECT_EQ(listing["member_count"], 2);
    EXPECT_EQ(listing["window_bits"], 13);
    EXPECT_EQ(listing["version_bytes"], nlohmann::json::array({0, 97}));
    EXPECT_EQ(listing["total_size"], 2011);
    ASSERT_EQ(listing["members"].size(), 2u);
    const nlohmann::json& first = listing["members"][0];
    EXPECT_EQ(first["name"], "docs\\notes.txt");
    EXPECT_EQ(first["size"], 1234);
    EXPECT_EQ(first["modified"], "2001-02-03T04:05:06");
    EXPECT_EQ(first["note"], "release notes");
    EXPECT_EQ(listing["members"][1]["name"], "tool.exe");
    EXPECT_EQ(listing["members"][1]["note"], "");
}

// The JSON listing is complete: the archive's size on disk and ratio beside
// the totals (members carry no compressed size of their own: the archive is
// one stream), and times that are no valid date give null.
TEST_F(ListTest, JsonGivesPackedFiguresAndIsoTimes)
{
    const nlohmann::json listing = list_json(arg("kit.kw"));
    const auto size = static_cast<std::uint64_t>(fs::file_size(at("kit.kw")));
    EXPECT_EQ(listing["packed_size"], size);
    EXPECT_EQ(listing["files"], 1);
    EXPECT_DOUBLE_EQ(listing["ratio"].get<double>(), static_cast<double>(size) / 2011.0);
    EXPECT_EQ(listing["members"][1]["modified"], "2107-12-31T23:59:58");
    for (const char* key : {"name", "size", "modified", "note"})
        EXPECT_TRUE(listing["members"][0].contains(key)) << key;

    const RunResult table = run_cli({"list", arg("kit.kw")});
    EXPECT_NE(table.out.find(fmt::format("2 members, {} bytes packed (", size)), std::string::npos) << table.out;

    upkit::MemberInput odd = member("odd.txt", text_bytes(3));
    odd.dos_date = 0;  // month 0, day 0
    write_bytes(at("odd.kw"), upkit::encode_archive({odd}, upkit::EncoderOptions{}));
    EXPECT_TRUE(list_json(arg("odd.kw"))["members"][0]["modified"].is_null());
}

TEST_F(VolumeListing, PackedSizeCountsTheContinuationFiles)
{
    put("src/data.bin", random_bytes(5000, 8));
    ASSERT_EQ(run_cli({"create", arg("kit.kw"), arg("src"), "--volume-size", "2048"}).code, 0);
    const nlohmann::json listing = list_json(arg("kit.kw"));
    const auto total = fs::file_size(at("kit.kw")) + fs::file_size(at("kit.002")) + fs::file_size(at("kit.003"));
    EXPECT_EQ(listing["files"], 3);
    EXPECT_EQ(listing["packed_size"], static_cast<std::uint64_t>(total));
}

// Names from an archive are foreign text: control characters must not reach
// the terminal, and bytes that are not UTF-8 must not break the JSON.
TEST_F(CliTest, ListingsSurviveHostileNameBytes)
{
    write_bytes(at("kit.kw"), upkit::encode_archive({member("bell\x07\x1b[2J.txt", text_bytes(5)),
                                                     member("caf\xe9.txt", text_bytes(6))},
                                                    upkit::EncoderOptions{}));
    const RunResult listed = run_cli({"list", arg("kit.kw")});
    ASSERT_EQ(listed.code, 0) << listed.err;
    EXPECT_NE(listed.out.find("bell\\x07\\x1B[2J.txt"), std::string::npos) << listed.out;
    EXPECT_EQ(listed.out.find('\x1b'), std::string::npos);

    const RunResult json = run_cli({"list", "--json", arg("kit.kw")});
    ASSERT_EQ(json.code, 0) << json.err;
    const nlohmann::json listing = nlohmann::json::parse(json.out);
    EXPECT_EQ(listing["members"][0]["name"], "bell\x07\x1b[2J.txt");
    EXPECT_EQ(listing["members"][1]["name"].get<std::string>().rfind("caf", 0), 0u);
    EXPECT_EQ(listing["members"][1]["size"], 6);
}

}  // namespace
