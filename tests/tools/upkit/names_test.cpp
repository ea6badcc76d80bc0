// Stored names are Windows-1252: shown, written as JSON and used as host file
// names in UTF-8, and stored from UTF-8 by create.

#include "cli_test_support.h"

#include "member_names.h"
#include "text_codec.h"

namespace {

TEST_F(CliTest, StoredNamesAreShownAndExtractedInUtf8)
{
    upkit::MemberInput accented = member("R\xe9sum\xe9\\\x80-Preise.txt", text_bytes(20));
    accented.note = "f\xfcr Kunden";
    write_bytes(at("kit.kw"),
                upkit::encode_archive({accented, member("odd\x81name.txt", text_bytes(30))}, upkit::EncoderOptions{}));

    const RunResult listed = run_cli({"list", arg("kit.kw")});
    ASSERT_EQ(listed.code, 0) << listed.err;
    EXPECT_NE(listed.out.find("R\xc3\xa9sum\xc3\xa9\\\xe2\x82\xac-Preise.txt  [f\xc3\xbcr Kunden]"), std::string::npos)
        << listed.out;
    EXPECT_NE(listed.out.find("odd\\x81name.txt"), std::string::npos) << listed.out;

    const nlohmann::json listing = list_json(arg("kit.kw"));
    EXPECT_EQ(listing["members"][0]["name"], "R\xc3\xa9sum\xc3\xa9\\\xe2\x82\xac-Preise.txt");
    EXPECT_EQ(listing["members"][0]["note"], "f\xc3\xbcr Kunden");
    EXPECT_EQ(listing["members"][1]["name"], "odd\xc2\x81name.txt");

    const RunResult extracted = run_cli({"extract", arg("kit.kw"), "-d", arg("out")});
    ASSERT_EQ(extracted.code, 0) << extracted.err;
    EXPECT_EQ(extracted.out, "R\xc3\xa9sum\xc3\xa9\\\xe2\x82\xac-Preise.txt\nodd\\x81name.txt\n");
    const fs::path out = at("out");
    EXPECT_EQ(read_bytes(out / fs::path(u8"Résumé") / fs::path(u8"€-Preise.txt")), text_bytes(20));
    EXPECT_EQ(read_bytes(out / fs::path(u8"odd\u0081name.txt")), text_bytes(30));
    // Nothing else: no staging folder, no file under the raw bytes.
    std::size_t entries = 0;
    for (auto it = fs::recursive_directory_iterator(out); it != fs::recursive_directory_iterator(); ++it)
        ++entries;
    EXPECT_EQ(entries, 3u);
}

TEST_F(CliTest, CreateStoresUtf8NamesInWindows1252AndTheyComeBackTheSame)
{
    const fs::path file = root_ / fs::path(u8"src/Größe/€uro.txt");
    fs::create_directories(file.parent_path());
    write_bytes(file, text_bytes(40));
    const RunResult created = run_cli({"create", arg("kit.kw"), arg("src")});
    ASSERT_EQ(created.code, 0) << created.err;
    // The stored bytes are Windows-1252: what a Windows reader expects.
    const std::vector<std::uint8_t> bytes = read_bytes(at("kit.kw"));
    const std::string image(bytes.begin(), bytes.end());
    EXPECT_NE(image.find("Gr\xf6\xdf"
                         "e\\\x80uro.txt"),
              std::string::npos);

    ASSERT_EQ(run_cli({"extract", "-q", arg("kit.kw"), "-d", arg("out")}).code, 0);
    EXPECT_EQ(read_bytes(at("out") / fs::path(u8"Größe") / fs::path(u8"€uro.txt")), text_bytes(40));
}

#ifndef _WIN32
// A name Windows-1252 cannot hold is refused, naming the file.
TEST_F(CliTest, CreateRefusesNamesOutsideWindows1252)
{
    put("src/\xe4\xb8\xad.txt", text_bytes(10));
    const RunResult created = run_cli({"create", arg("kit.kw"), arg("src")});
    EXPECT_EQ(created.code, 1);
    EXPECT_NE(created.err.find("Windows-1252"), std::string::npos) << created.err;
    EXPECT_FALSE(fs::exists(at("kit.kw")));
}
#endif

}  // namespace
