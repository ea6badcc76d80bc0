// Command-line errors end with status 2 and CLI11's message; help and
// version requests succeed.

#include "cli_test_support.h"

namespace {

class UsageErrorTest : public ::testing::TestWithParam<std::vector<std::string>> {};

TEST_P(UsageErrorTest, ExitsWithStatusTwoAndAMessage)
{
    const RunResult result = run_cli(GetParam());
    EXPECT_EQ(result.code, 2);
    EXPECT_NE(result.err, "");
    EXPECT_EQ(result.out, "");
}

using Args = std::vector<std::string>;

INSTANTIATE_TEST_SUITE_P(Cases, UsageErrorTest,
                         ::testing::Values(Args{}, Args{"unpack", "kit.kw"}, Args{"create"}, Args{"create", "kit.kw"},
                                           Args{"create", "kit.kw", "src", "-w", "9"},
                                           Args{"create", "kit.kw", "src", "-w", "22"},
                                           Args{"create", "kit.kw", "src", "-w", "x"},
                                           Args{"create", "kit.kw", "src", "--volume-size", "63"},
                                           Args{"create", "kit.kw", "src", "--volume-size", "-4096"},
                                           Args{"create", "kit.kw", "src", "--volume-size", "99999999999999999999999"},
                                           Args{"list"}, Args{"list", "a.kw", "b.kw"}, Args{"test", "--json", "kit.kw"},
                                           Args{"extract"}, Args{"extract", "kit.kw", "-d"}));

TEST(Usage, VersionAndHelpSucceed)
{
    const RunResult version = run_cli({"--version"});
    EXPECT_EQ(version.code, 0);
    EXPECT_EQ(version.out, std::string(UPKIT_VERSION) + "\n");

    const RunResult help = run_cli({"create", "--help"});
    EXPECT_EQ(help.code, 0);
    EXPECT_NE(help.out.find("--volume-size"), std::string::npos) << help.out;
}

}  // namespace
