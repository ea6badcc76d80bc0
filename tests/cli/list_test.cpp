// What list shows of an archive made with known entries.

#include "cli_test_support.h"

namespace {

std::uint16_t dos_date(int year, int month, int day)
{
    return static_cast<std::uint16_t>(((year - 1980) << 9) | (month << 5) | day);
}

std::uint16_t dos_time(int hour, int minute, int second)
{
    return static_cast<std::uint16_t>((hour << 11) | (minute << 5) | (second / 2));
}

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
    EXPECT_EQ(first["modified"], "2001-02-03 04:05:06");
    EXPECT_EQ(first["note"], "release notes");
    EXPECT_EQ(listing["members"][1]["name"], "tool.exe");
    EXPECT_EQ(listing["members"][1]["note"], "");
}

// Names from an archive are foreign text: control characters must not reach
// the terminal, and bytes that are not UTF-8 must not break the JSON.
TEST_F(CliTest, ListingsSurviveHostileNameBytes)
{
    write_bytes(
        at("kit.kw"),
        upkit::encode_archive({member("bell\x07\x1b[2J.txt", text_bytes(5)), member("caf\xe9.txt", text_bytes(6))},
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
