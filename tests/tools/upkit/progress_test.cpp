// The progress line: its rendering, and that it goes to stderr only when
// stderr is a terminal and -q is not given, leaving stdout unchanged.

#include "cli_test_support.h"

#include <sstream>

#include "progress.h"
#include "upkit_cli.h"

namespace {

TEST(ProgressRendering, BarPercentSizesAndName)
{
    EXPECT_EQ(upkit::render_progress(0, 2048, "a.txt", 80),
              "[>                             ]   0%  0 B / 2.0 KiB  a.txt");
    EXPECT_EQ(upkit::render_progress(1024, 2048, "a.txt", 80),
              "[===============>              ]  50%  1.0 KiB / 2.0 KiB  a.txt");
    EXPECT_EQ(upkit::render_progress(5, 5, "", 80), "[==============================] 100%  5 B / 5 B");
    // Past the end is capped; nothing to do counts as done.
    EXPECT_EQ(upkit::render_progress(9, 5, "", 80), "[==============================] 100%  5 B / 5 B");
    EXPECT_EQ(upkit::render_progress(0, 0, "", 80), "[==============================] 100%  0 B / 0 B");
}

TEST(ProgressRendering, FitsTheWidthShorteningTheNameFromItsStart)
{
    const std::string name = "very\\long\\folder\\names\\that\\go\\on\\and\\on\\file.txt";
    for (int width : {40, 60, 80, 200}) {
        const std::string line = upkit::render_progress(3 << 20, 9 << 20, name, width);
        std::size_t columns = 0;
        for (char c : line)
            columns += (static_cast<unsigned char>(c) & 0xC0) != 0x80 ? 1 : 0;
        EXPECT_LE(columns, static_cast<std::size_t>(width - 1)) << line;
        EXPECT_NE(line.find("33%"), std::string::npos) << line;
    }
    const std::string shortened = upkit::render_progress(1, 2, name, 50);
    EXPECT_NE(shortened.find("  ..."), std::string::npos) << shortened;
    EXPECT_EQ(shortened.substr(shortened.size() - 8), "file.txt") << shortened;
    EXPECT_NE(upkit::render_progress(1, 2, name, 200).find(name), std::string::npos);
    // Names are made printable, and shortened between characters.
    EXPECT_NE(upkit::render_progress(1, 2, "bad\x1b.txt", 80).find("bad\\x1B.txt"), std::string::npos);
    std::string e_acute;
    for (int i = 0; i < 14; ++i)
        e_acute += "\xc3\xa9";
    const std::string accented = upkit::render_progress(1, 2, e_acute, 40);
    EXPECT_NE(accented.find("...\xc3\xa9"), std::string::npos) << accented;
}

TEST(ProgressRendering, ByteCountsAndActivity)
{
    EXPECT_EQ(upkit::byte_count_text(1023), "1023 B");
    EXPECT_EQ(upkit::byte_count_text(1536), "1.5 KiB");
    EXPECT_EQ(upkit::byte_count_text(5u << 20), "5.0 MiB");
    EXPECT_EQ(upkit::byte_count_text(3ull << 30), "3.0 GiB");
    EXPECT_EQ(upkit::render_activity("compressing 5.0 MiB", 1, std::chrono::seconds(12), 80),
              "compressing 5.0 MiB  /  12 s");
}

class ProgressLineTest : public CliTest {
protected:
    void SetUp() override
    {
        CliTest::SetUp();
        put("src/a.bin", random_bytes(300000, 1));
        put("src/b.txt", text_bytes(300000));
        ASSERT_EQ(run_cli({"create", arg("kit.kw"), arg("src")}).code, 0);
    }

    // Runs upkit with stderr taken for a terminal and no delay.
    static RunResult run_on_terminal(std::vector<std::string> args)
    {
        args.insert(args.begin(), "upkit");
        std::vector<char*> argv;
        for (std::string& s : args)
            argv.push_back(s.data());
        argv.push_back(nullptr);
        std::ostringstream out;
        std::ostringstream err;
        upkit::Console console;
        console.err_is_terminal = true;
        console.width = 80;
        console.delay = std::chrono::milliseconds(0);
        RunResult result;
        result.code = run_upkit(static_cast<int>(args.size()), argv.data(), out, err, console);
        result.out = out.str();
        result.err = err.str();
        return result;
    }
};

TEST_F(ProgressLineTest, OnATerminalTheLineGoesToStderrAndIsClearedAtTheEnd)
{
    const RunResult plain = run_cli({"extract", arg("kit.kw"), "-d", arg("out1")});
    const RunResult shown = run_on_terminal({"extract", arg("kit.kw"), "-d", arg("out2")});
    ASSERT_EQ(shown.code, 0) << shown.err;
    EXPECT_EQ(plain.err, "");
    EXPECT_EQ(shown.out, plain.out);  // what scripts read is unchanged
    EXPECT_NE(shown.err.find("\r["), std::string::npos) << shown.err;
    EXPECT_NE(shown.err.find("%"), std::string::npos);
    EXPECT_EQ(shown.err.find('\n'), std::string::npos);
    // Ends cleared: carriage return, spaces, carriage return.
    ASSERT_GE(shown.err.size(), 2u);
    EXPECT_EQ(shown.err.back(), '\r');
    EXPECT_EQ(shown.err.find_last_not_of(' ', shown.err.size() - 2), shown.err.rfind('\r', shown.err.size() - 2));

    const RunResult tested = run_on_terminal({"test", arg("kit.kw")});
    ASSERT_EQ(tested.code, 0);
    EXPECT_NE(tested.err.find("\r["), std::string::npos);
    EXPECT_EQ(tested.out, arg("kit.kw") + ": OK, 2 members, 600000 bytes\n");

    const RunResult created = run_on_terminal({"create", arg("again.kw"), arg("src")});
    ASSERT_EQ(created.code, 0);
    EXPECT_NE(created.err.find('\r'), std::string::npos);
    EXPECT_EQ(created.err.find('\n'), std::string::npos);
}

TEST_F(ProgressLineTest, QuietRunsDrawNothingEvenOnATerminal)
{
    for (const std::vector<std::string>& args :
         {std::vector<std::string>{"extract", "-q", arg("kit.kw"), "-d", arg("out")},
          std::vector<std::string>{"test", "-q", arg("kit.kw")},
          std::vector<std::string>{"create", "-q", arg("again.kw"), arg("src")}}) {
        const RunResult result = run_on_terminal(args);
        EXPECT_EQ(result.code, 0) << args[0];
        EXPECT_EQ(result.out + result.err, "") << args[0];
    }
}

// Errors on a terminal start on a line of their own.
TEST_F(ProgressLineTest, MessagesStartOnAClearedLine)
{
    put("out/b.txt", {'x'});
    const RunResult result = run_on_terminal({"extract", arg("kit.kw"), "-d", arg("out")});
    EXPECT_EQ(result.code, 4);
    const std::size_t message = result.err.find("upkit: ");
    ASSERT_NE(message, std::string::npos) << result.err;
    // Whatever was drawn before the message was wiped with a carriage return.
    if (message > 0) {
        EXPECT_EQ(result.err[message - 1], '\r');
    }
}

}  // namespace
