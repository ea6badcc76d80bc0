// Archives split into continuation files with --volume-size.

#include "cli_test_support.h"

namespace {

class VolumesTest : public CliTest {
protected:
    // Creates kit.kw from 40000 bytes of noise in 4096-byte files.
    void create_split_kit()
    {
        data_ = random_bytes(40000, 3);
        put("src/data.bin", data_);
        const RunResult created = run_cli({"create", arg("kit.kw"), arg("src"), "--volume-size", "4096"});
        ASSERT_EQ(created.code, 0) << created.err;
    }

    std::vector<std::uint8_t> data_;
};

TEST_F(VolumesTest, SplitArchiveRoundTripsWithEveryFileWithinTheSize)
{
    create_split_kit();
    std::vector<std::string> files = files_below(root_);
    std::erase_if(files, [](const std::string& f) { return f.rfind("src/", 0) == 0; });
    // 40000 bytes of noise do not shrink: at least ten files of 4096 bytes.
    ASSERT_GE(files.size(), 10u);
    std::vector<std::string> expected = {"kit.kw"};
    for (std::size_t n = 2; n <= files.size(); ++n) {
        char name[16];
        std::snprintf(name, sizeof name, "kit.%03zu", n);
        expected.push_back(name);
    }
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(files, expected);
    for (const std::string& f : files)
        EXPECT_LE(fs::file_size(at(f)), 4096u) << f;

    const RunResult tested = run_cli({"test", arg("kit.kw")});
    EXPECT_EQ(tested.code, 0) << tested.err;
    ASSERT_EQ(run_cli({"extract", "-q", arg("kit.kw"), "-d", arg("out")}).code, 0);
    EXPECT_EQ(read_bytes(at("out/data.bin")), data_);
}

TEST_F(VolumesTest, MissingContinuationFileFailsTestAndExtractNamingIt)
{
    create_split_kit();
    ASSERT_TRUE(fs::remove(at("kit.003")));

    const RunResult tested = run_cli({"test", arg("kit.kw")});
    EXPECT_EQ(tested.code, 1);
    EXPECT_NE(tested.err.find("truncated"), std::string::npos) << tested.err;
    EXPECT_NE(tested.err.find(arg("kit.003")), std::string::npos) << tested.err;

    const RunResult extracted = run_cli({"extract", arg("kit.kw"), "-d", arg("out")});
    EXPECT_EQ(extracted.code, 1);
    EXPECT_NE(extracted.err.find(arg("kit.003")), std::string::npos) << extracted.err;
    // The member that could not be finished is not left behind.
    EXPECT_EQ(files_below(at("out")), std::vector<std::string>{});
}

TEST_F(VolumesTest, LeftoverContinuationFilesOfALongerArchiveAreReported)
{
    create_split_kit();
    const RunResult again = run_cli({"create", arg("kit.kw"), arg("src")});
    EXPECT_EQ(again.code, 0) << again.err;
    EXPECT_NE(again.err.find(arg("kit.002")), std::string::npos) << again.err;
    EXPECT_EQ(run_cli({"test", arg("kit.kw")}).code, 0);

    fs::remove(at("kit.002"));
    const RunResult clean = run_cli({"create", arg("kit.kw"), arg("src")});
    EXPECT_EQ(clean.err, "");
}

// The reader names continuation files from the archive's name: everything
// from the first dot replaced, or a dot and the number added.
class ContinuationNameTest : public CliTest,
                             public ::testing::WithParamInterface<std::pair<const char*, const char*>> { };

TEST_P(ContinuationNameTest, ReaderFindsTheFilesCreateWrote)
{
    const auto [archive, second] = GetParam();
    put("src/data.bin", random_bytes(3000, 4));
    const RunResult created = run_cli({"create", arg(archive), arg("src"), "--volume-size", "1024"});
    ASSERT_EQ(created.code, 0) << created.err;
    EXPECT_TRUE(fs::exists(at(second))) << second;
    const RunResult tested = run_cli({"test", arg(archive)});
    EXPECT_EQ(tested.code, 0) << tested.err;
}

INSTANTIATE_TEST_SUITE_P(Names, ContinuationNameTest,
                         ::testing::Values(std::make_pair("kit.kw", "kit.002"), std::make_pair("kit", "kit.002"),
                                           std::make_pair("kit.v2.kw", "kit.002"),
                                           std::make_pair("my kit.kw", "my kit.002")));

// The reader's name rule stops at a space, so a dot before a space in a
// folder name would send it to another folder: refused before writing.
TEST_F(VolumesTest, SplitRefusedWhenContinuationFilesWouldLandElsewhere)
{
    put("src/data.bin", random_bytes(3000, 5));
    fs::create_directory(at("v1.0 kits"));
    const RunResult created = run_cli({"create", arg("v1.0 kits/kit.kw"), arg("src"), "--volume-size", "1024"});
    EXPECT_EQ(created.code, 2);
    EXPECT_EQ(files_below(at("v1.0 kits")), std::vector<std::string>{});
    EXPECT_FALSE(fs::exists(at("v1.002")));
    EXPECT_EQ(run_cli({"create", arg("v1.0 kits/kit.kw"), arg("src")}).code, 0);
}

}  // namespace
