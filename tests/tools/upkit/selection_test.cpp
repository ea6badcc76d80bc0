// MEMBER arguments: names and patterns matched as Windows matches file
// names, for list, test and extract; MEMBERs that match nothing.

#include "cli_test_support.h"

#include "member_selection.h"

namespace {

struct MatchCase {
    const char* pattern;
    const char* stored;
    bool matches;
};

class MemberMatchTest : public ::testing::TestWithParam<MatchCase> { };

TEST_P(MemberMatchTest, MatchesAsWindowsWould)
{
    const MatchCase& c = GetParam();
    EXPECT_EQ(upkit::member_matches(c.pattern, c.stored), c.matches) << c.pattern << " vs " << c.stored;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, MemberMatchTest,
    ::testing::Values(MatchCase{"readme.txt", "README.TXT", true}, MatchCase{"readme.txt", "readme.txt2", false},
                      MatchCase{"docs/notes.txt", "docs\\notes.txt", true},
                      MatchCase{"DOCS\\NOTES.TXT", "docs\\notes.txt", true},
                      MatchCase{"/docs/notes.txt", "\\docs\\notes.txt", true},
                      MatchCase{"notes.txt", "docs\\notes.txt", false},  // no match on the base name alone
                      MatchCase{"*.txt", "docs\\notes.txt", true},       // * crosses folders
                      MatchCase{"*.TXT", "a.txt", true}, MatchCase{"*.txt", "a.txt.bak", false},
                      MatchCase{"?.txt", "a.txt", true}, MatchCase{"?.txt", "ab.txt", false},
                      MatchCase{"a*b*c", "axxbyyc", true}, MatchCase{"a*b*c", "axxbyyd", false},
                      MatchCase{"*", "anything\\at\\all", true}, MatchCase{"**x", "x", true},
                      MatchCase{"docs", "docs\\notes.txt", true},  // a folder selects what is below it
                      MatchCase{"docs/", "docs\\notes.txt", true}, MatchCase{"doc", "docs\\notes.txt", false},
                      MatchCase{"sub", "sub", true}, MatchCase{"cafe.txt", "caf\xe9.txt", false}));

#ifndef _WIN32
// Accented letters of Windows-1252 fold too. Patterns are host text: UTF-8
// here (on Windows the ANSI code page, as the program's arguments come).
INSTANTIATE_TEST_SUITE_P(Accented, MemberMatchTest,
                         ::testing::Values(MatchCase{"CAF\xc3\x89.TXT", "caf\xe9.txt", true},
                                           MatchCase{"\xc5\x93uvre", "\x8cUVRE", true},
                                           MatchCase{"\xc3\xbf", "\x9f", true},
                                           // ? is one character, not one byte
                                           MatchCase{"caf?.txt", "caf\xe9.txt", true}));
#endif

class SelectionTest : public CliTest {
protected:
    void SetUp() override
    {
        CliTest::SetUp();
        write_bytes(at("kit.kw"), upkit::encode_archive({member("Docs\\Guide.txt", text_bytes(100)),
                                                         member("Docs\\sub\\x.dat", text_bytes(200)),
                                                         member("README.TXT", text_bytes(300)),
                                                         member("setup.exe", random_bytes(400, 1))},
                                                        upkit::EncoderOptions{}));
    }
};

TEST_F(SelectionTest, ExtractWritesOnlyTheSelectedMembers)
{
    const RunResult extracted = run_cli({"extract", arg("kit.kw"), "-d", arg("out"), "docs/guide.TXT", "*.exe"});
    ASSERT_EQ(extracted.code, 0) << extracted.err;
    EXPECT_EQ(extracted.out, "Docs\\Guide.txt\nsetup.exe\n");
    EXPECT_EQ(files_below(at("out")), (std::vector<std::string>{"Docs/Guide.txt", "setup.exe"}));
    EXPECT_EQ(read_bytes(at("out/setup.exe")), random_bytes(400, 1));

    const RunResult folder = run_cli({"extract", arg("kit.kw"), "-d", arg("out2"), "docs"});
    ASSERT_EQ(folder.code, 0) << folder.err;
    EXPECT_EQ(files_below(at("out2")), (std::vector<std::string>{"Docs/Guide.txt", "Docs/sub/x.dat"}));
}

TEST_F(SelectionTest, ListAndTestTakeTheSameSelection)
{
    const nlohmann::json listing = nlohmann::json::parse(run_cli({"list", "--json", arg("kit.kw"), "*.txt"}).out);
    ASSERT_EQ(listing["members"].size(), 2u);
    EXPECT_EQ(listing["members"][0]["name"], "Docs\\Guide.txt");
    EXPECT_EQ(listing["members"][1]["name"], "README.TXT");
    // The archive's own figures stay whole.
    EXPECT_EQ(listing["member_count"], 4);
    EXPECT_EQ(listing["total_size"], 1000);

    const RunResult table = run_cli({"list", arg("kit.kw"), "readme.txt"});
    ASSERT_EQ(table.code, 0) << table.err;
    EXPECT_NE(table.out.find("       300  total                1 members"), std::string::npos) << table.out;
    EXPECT_EQ(table.out.find("setup.exe"), std::string::npos) << table.out;

    const RunResult tested = run_cli({"test", arg("kit.kw"), "README.txt"});
    EXPECT_EQ(tested.code, 0) << tested.err;
    EXPECT_EQ(tested.out, arg("kit.kw") + ": OK, 1 members, 300 bytes\n");
}

TEST_F(SelectionTest, UnmatchedMembersAreNamedAndNothingIsDone)
{
    const RunResult extracted =
        run_cli({"extract", arg("kit.kw"), "-d", arg("out"), "readme.txt", "missing.txt", "*.dll"});
    EXPECT_EQ(extracted.code, 5);
    EXPECT_EQ(extracted.out, "");
    EXPECT_EQ(extracted.err, "upkit: " + arg("kit.kw") + ": no member matches \"missing.txt\"\n" +
                                 "upkit: " + arg("kit.kw") + ": no member matches \"*.dll\"\n");
    EXPECT_FALSE(fs::exists(at("out")));

    for (const char* command : {"list", "test"}) {
        const RunResult result = run_cli({command, arg("kit.kw"), "nothing*"});
        EXPECT_EQ(result.code, 5) << command;
        EXPECT_EQ(result.out, "") << command;
        EXPECT_NE(result.err.find("\"nothing*\""), std::string::npos) << result.err;
    }
}

// Selected members after a damaged one cannot be reached: the damage is
// reported, while members before it are extracted.
TEST_F(SelectionTest, DamageBeforeASelectedMemberIsReported)
{
    put("src/a.bin", random_bytes(30000, 4));
    put("src/b.bin", random_bytes(30000, 5));
    ASSERT_EQ(run_cli({"create", arg("two.kw"), arg("src")}).code, 0);
    std::vector<std::uint8_t> bytes = read_bytes(at("two.kw"));
    bytes[bytes.size() / 4] ^= 0x5A;  // inside a.bin's data
    write_bytes(at("two.kw"), bytes);
    const RunResult extracted = run_cli({"extract", arg("two.kw"), "-d", arg("out"), "b.bin"});
    EXPECT_EQ(extracted.code, 1);
    EXPECT_NE(extracted.err.find("upkit: " + arg("two.kw") + ": a.bin: "), std::string::npos) << extracted.err;
    EXPECT_EQ(files_below(at("out")), std::vector<std::string>{});
}

}  // namespace

namespace {

// An archive that cannot be read is reported as such, not as MEMBERs that
// match nothing.
TEST_F(CliTest, UnreadableArchiveIsNotReportedAsUnmatchedMembers)
{
    const RunResult listed = run_cli({"list", arg("none.kw"), "a.txt"});
    EXPECT_EQ(listed.code, 3);
    EXPECT_EQ(listed.err.find("no member matches"), std::string::npos) << listed.err;
    EXPECT_EQ(listed.err.rfind("upkit: " + arg("none.kw") +
                                   ": cannot open the archive: No such file or directory (21)\n",
                               0),
              0u)
        << listed.err;
}

}  // namespace
