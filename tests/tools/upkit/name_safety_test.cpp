// Stored names that could write outside the target folder, or that Windows
// cannot take as file names: extract refuses the whole archive and create
// never stores them.

#include "cli_test_support.h"

namespace {

class UnsafeNameTest : public CliTest, public ::testing::WithParamInterface<std::string> { };

TEST_P(UnsafeNameTest, ExtractRefusesTheArchiveAndWritesNothing)
{
    // The bad name comes last: nothing before it may be written either.
    const std::vector<upkit::MemberInput> members = {member("good.txt", text_bytes(100)),
                                                     member(GetParam(), text_bytes(100))};
    write_bytes(at("kit.kw"), upkit::encode_archive(members, upkit::EncoderOptions{}));
    fs::create_directories(at("a/b/out"));

    const RunResult extracted = run_cli({"extract", arg("kit.kw"), "-d", arg("a/b/out")});
    EXPECT_EQ(extracted.code, 1);
    EXPECT_NE(extracted.err.find("unsafe member name"), std::string::npos) << extracted.err;
    EXPECT_EQ(extracted.out, "");
    EXPECT_EQ(files_below(root_), std::vector<std::string>{"kit.kw"});
}

INSTANTIATE_TEST_SUITE_P(Names, UnsafeNameTest,
                         ::testing::Values("..\\evil.txt", "sub\\..\\..\\evil.txt", "ok/../../evil.txt",
                                           "\\\\host\\share\\evil.txt", "C:\\evil.txt", "c:evil.txt", "...\\evil.txt",
                                           "sub\\\\evil.txt", "", "CON", "sub\\nul.txt", "lpt1", "bad\x01.txt",
                                           "what?.txt"));

TEST_F(CliTest, OneLeadingBackslashStaysBelowTheTargetFolder)
{
    write_bytes(at("kit.kw"),
                upkit::encode_archive({member("\\top.txt", text_bytes(30)), member("\\sub\\in.txt", text_bytes(40))},
                                      upkit::EncoderOptions{}));
    const RunResult extracted = run_cli({"extract", arg("kit.kw"), "-d", arg("out")});
    ASSERT_EQ(extracted.code, 0) << extracted.err;
    EXPECT_EQ(files_below(root_), (std::vector<std::string>{"kit.kw", "out/sub/in.txt", "out/top.txt"}));
    EXPECT_EQ(read_bytes(at("out/sub/in.txt")), text_bytes(40));
}

// Names that would land in one file on Windows, or need one path to be both
// a file and a folder, are refused with both sources named.
TEST_F(CliTest, CreateRefusesNamesThatCannotBeExtractedSideBySide)
{
    put("d1/Readme.txt", text_bytes(10));
    put("d2/README.TXT", text_bytes(20));
    const RunResult same = run_cli({"create", arg("kit.kw"), arg("d1"), arg("d2")});
    EXPECT_EQ(same.code, 1);
    EXPECT_NE(same.err.find(arg("d1/Readme.txt")), std::string::npos) << same.err;
    EXPECT_NE(same.err.find(arg("d2/README.TXT")), std::string::npos) << same.err;

    put("e1/a/b.txt", text_bytes(10));
    put("e2/a", text_bytes(10));
    const RunResult nested = run_cli({"create", arg("kit.kw"), arg("e1"), arg("e2")});
    EXPECT_EQ(nested.code, 1);
    EXPECT_NE(nested.err.find(arg("e1/a/b.txt")), std::string::npos) << nested.err;
    EXPECT_NE(nested.err.find(arg("e2/a")), std::string::npos) << nested.err;

    put("f/aux.log", text_bytes(10));
    EXPECT_EQ(run_cli({"create", arg("kit.kw"), arg("f")}).code, 1);
    EXPECT_FALSE(fs::exists(at("kit.kw")));
}

TEST_F(CliTest, CreateFailsOnMissingInputsAndEmptyFolders)
{
    put("src/a.txt", text_bytes(10));
    fs::create_directory(at("empty"));
    const RunResult missing = run_cli({"create", arg("kit.kw"), arg("src"), arg("nothing")});
    EXPECT_EQ(missing.code, 3);
    EXPECT_EQ(missing.err, "upkit: " + arg("nothing") + ": no such file or folder\n");
    EXPECT_EQ(run_cli({"create", arg("kit.kw"), arg("empty")}).code, 1);
    EXPECT_FALSE(fs::exists(at("kit.kw")));
}

}  // namespace
