// Command-line errors end with status 2 and CLI11's message; help and
// version requests succeed.

#include "cli_test_support.h"

namespace {

using Args = std::vector<std::string>;

class UsageErrorTest : public ::testing::TestWithParam<Args> { };

TEST_P(UsageErrorTest, ExitsWithStatusTwoAndAMessage)
{
    const RunResult result = run_cli(GetParam());
    EXPECT_EQ(result.code, 2);
    EXPECT_NE(result.err, "");
    EXPECT_EQ(result.out, "");
}

INSTANTIATE_TEST_SUITE_P(
    Cases, UsageErrorTest,
    ::testing::Values(Args{}, Args{"unpack", "kit.kw"}, Args{"create"}, Args{"create", "kit.kw"},
                      Args{"create", "kit.kw", "src", "-w", "9"}, Args{"create", "kit.kw", "src", "-w", "22"},
                      Args{"create", "kit.kw", "src", "-w", "x"},
                      Args{"create", "kit.kw", "src", "--volume-size", "63"},
                      Args{"create", "kit.kw", "src", "--volume-size", "-4096"},
                      Args{"create", "kit.kw", "src", "--volume-size", "99999999999999999999999"}, Args{"list"},
                      Args{"list", "--bogus", "a.kw"}, Args{"test", "--json", "kit.kw"}, Args{"extract"},
                      Args{"extract", "kit.kw", "-d"}, Args{"extract", "kit.kw", "--overwrite", "--skip-existing"},
                      Args{"extract", "kit.kw", "--layout", "sideways"}));

// A word that names no command is refused by name, on one line, and nothing
// runs: neither an archive given without a command nor a misspelt command is
// taken for another command's arguments.
TEST_F(CliTest, AnUnknownCommandIsAUsageErrorAndNothingRuns)
{
    put("src/a.txt", text_bytes(100));
    ASSERT_EQ(run_cli({"create", arg("a.kw"), arg("src"), "-q"}).code, 0);
    // Each command line, with the command a typing slip most likely meant.
    const std::vector<std::pair<Args, std::string>> cases = {
        {{arg("a.kw"), "-d", arg("out")}, ""},
        {{"bulid", arg("a.kw"), "-d", arg("out")}, "build"},
        {{"Extract", arg("a.kw"), "-d", arg("out")}, "extract"},
        {{"extarct", arg("a.kw"), "-d", arg("out")}, "extract"},
        {{"insp", arg("a.kw")}, "inspect"},
        {{"--version-", "unpack", arg("a.kw")}, ""},
        {{"x", arg("a.kw")}, ""},
    };
    for (const auto& [args, meant] : cases) {
        const RunResult result = run_cli(args);
        EXPECT_EQ(result.code, 2) << args[0];
        EXPECT_EQ(result.out, "") << args[0];
        const std::string word = args[0].front() == '-' ? args[1] : args[0];
        const std::string suggestion = meant.empty() ? "" : " (did you mean \"" + meant + "\"?)";
        EXPECT_EQ(result.err, "upkit: unknown command \"" + word + "\"" + suggestion +
                                  "; the commands are create, list, test, extract, checksum, plan, build, inspect, "
                                  "dump and try\n");
        EXPECT_FALSE(fs::exists(at("out"))) << args[0];
    }
}

TEST(Usage, NoCommandShowsTheUsageAndRunsNothing)
{
    for (const Args& args : {Args{}, Args{"-q"}}) {
        const RunResult result = run_cli(args);
        EXPECT_EQ(result.code, 2);
        EXPECT_EQ(result.out, "");
        EXPECT_EQ(result.err, "A subcommand is required\nRun with --help for more information.\n");
    }
    // Help wins over a word that is no command.
    const RunResult help = run_cli({"--help", "bulid"});
    EXPECT_EQ(help.code, 0);
    EXPECT_NE(help.out.find("Subcommands:"), std::string::npos);
}

TEST(Usage, VersionAndHelpSucceed)
{
    const RunResult version = run_cli({"--version"});
    EXPECT_EQ(version.code, 0);
    EXPECT_EQ(version.out, std::string(UPKIT_VERSION) + "\n");

    const RunResult help = run_cli({"create", "--help"});
    EXPECT_EQ(help.code, 0);
    EXPECT_NE(help.out.find("--volume-size"), std::string::npos) << help.out;
}

// The app's help lists every command and the exit statuses; each command's
// help names its arguments and every option it takes.
TEST(Usage, HelpCoversEveryCommandOptionAndExitStatus)
{
    const RunResult app = run_cli({"--help"});
    EXPECT_EQ(app.code, 0);
    for (const char* text : {"create", "list", "test", "extract", "checksum", "plan", "build", "inspect", "dump",
                             "--version", "Exit status:", "  3  I/O error", "  4  extract", "  5  a MEMBER"})
        EXPECT_NE(app.out.find(text), std::string::npos) << text;

    const std::vector<std::pair<const char*, std::vector<const char*>>> commands = {
        {"create", {"ARCHIVE", "PATH", "-l,--level", "-w,--window", "--volume-size", "-q,--quiet"}},
        {"list", {"ARCHIVE", "[MEMBER...]", "--json", "MEMBER is a stored name"}},
        {"test", {"ARCHIVE", "[MEMBER...]", "-q,--quiet", "MEMBER is a stored name"}},
        {"extract",
         {"ARCHIVE", "[MEMBER...]", "-d,--directory", "--overwrite", "--skip-existing", "--layout", "-q,--quiet",
          "exit status 4"}},
        {"checksum", {"FILE", "--json", "0xABCD  FILE"}},
        {"plan",
         {"NEW_DIR", "--from", "LABEL=OLD_DIR", "--key", "--value", "--file", "--product", "--system", "--windows",
          "--title", "--maker", "--welcome", "--bitmap", "--icon", "-o,--output", "<fill in: ...>"}},
        {"build", {"MANIFEST", "-o,--output", "--arch", "--sign-command"}},
        {"inspect", {"KIT", "--json"}},
        {"dump", {"KIT", "-o,--output"}},
    };
    for (const auto& [command, texts] : commands) {
        const RunResult help = run_cli({command, "--help"});
        EXPECT_EQ(help.code, 0) << command;
        EXPECT_EQ(help.err, "") << command;
        for (const char* text : texts)
            EXPECT_NE(help.out.find(text), std::string::npos) << command << ": " << text << "\n" << help.out;
    }
}

}  // namespace
