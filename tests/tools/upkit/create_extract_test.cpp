// Round trips through create, list, test and extract.

#include "cli_test_support.h"

#include <chrono>

namespace {

using namespace std::chrono;

fs::file_time_type utc_time(year_month_day day, seconds time_of_day)
{
    return file_clock::from_sys(sys_days(day) + time_of_day);
}

class CreateExtractTest : public CliTest { };

TEST_F(CreateExtractTest, FoldersAndFilesComeBackWithTheirContents)
{
    put("src/a.txt", text_bytes(5000));
    put("src/empty.dat", {});
    put("src/sub/b.bin", random_bytes(70000, 1));
    put("src/sub/deeper/c.txt", text_bytes(10));
    put("other/readme.txt", text_bytes(300));

    const RunResult created = run_cli({"create", arg("kit.kw"), arg("src"), arg("other/readme.txt")});
    ASSERT_EQ(created.code, 0) << created.err;
    EXPECT_NE(created.out.find("5 members"), std::string::npos) << created.out;

    // A folder's files are stored below it, a file argument by its own name.
    EXPECT_EQ(member_names(arg("kit.kw")),
              (std::vector<std::string>{"a.txt", "empty.dat", "readme.txt", "sub\\b.bin", "sub\\deeper\\c.txt"}));

    const RunResult tested = run_cli({"test", arg("kit.kw")});
    EXPECT_EQ(tested.code, 0) << tested.err;

    const RunResult extracted = run_cli({"extract", arg("kit.kw"), "-d", arg("out")});
    ASSERT_EQ(extracted.code, 0) << extracted.err;
    EXPECT_EQ(extracted.out, "a.txt\nempty.dat\nreadme.txt\nsub\\b.bin\nsub\\deeper\\c.txt\n");
    EXPECT_EQ(files_below(at("out")),
              (std::vector<std::string>{"a.txt", "empty.dat", "readme.txt", "sub/b.bin", "sub/deeper/c.txt"}));
    for (const char* name : {"a.txt", "empty.dat", "sub/b.bin", "sub/deeper/c.txt"})
        EXPECT_EQ(read_bytes(at(std::string("out/") + name)), read_bytes(at(std::string("src/") + name))) << name;
    EXPECT_EQ(read_bytes(at("out/readme.txt")), read_bytes(at("other/readme.txt")));
}

TEST_F(CreateExtractTest, QuietRunsPrintNothing)
{
    put("src/a.txt", text_bytes(100));
    const RunResult created = run_cli({"create", "-q", arg("kit.kw"), arg("src")});
    ASSERT_EQ(created.code, 0) << created.err;
    const RunResult extracted = run_cli({"extract", "-q", arg("kit.kw"), "-d", arg("out")});
    ASSERT_EQ(extracted.code, 0) << extracted.err;
    const RunResult tested = run_cli({"test", "-q", arg("kit.kw")});
    ASSERT_EQ(tested.code, 0) << tested.err;
    EXPECT_EQ(created.out + created.err + extracted.out + extracted.err + tested.out + tested.err, "");
    EXPECT_EQ(read_bytes(at("out/a.txt")), text_bytes(100));
}

// Byte order of the stored names, backslashes included: sorting host paths
// ('/' is 0x2F) or ignoring case would give another order.
TEST_F(CreateExtractTest, MembersAreSortedByStoredNameBytes)
{
    for (const char* name : {"src/a0", "src/a/b", "src/_x", "src/a.b", "src/Zeta"})
        put(name, text_bytes(20));
    ASSERT_EQ(run_cli({"create", arg("kit.kw"), arg("src")}).code, 0);
    EXPECT_EQ(member_names(arg("kit.kw")), (std::vector<std::string>{"Zeta", "_x", "a.b", "a0", "a\\b"}));
}

// Grouped by the last component's extension, case folded; a dot in a folder
// name is no extension. Within a kind, stored name bytes decide.
TEST_F(CreateExtractTest, OrderKindGroupsMembersByExtensionThenName)
{
    for (const char* name : {"src/b.dll", "src/A.EXE", "src/c.txt", "src/a.Dll", "src/dir.x/plain", "src/z.exe"})
        put(name, text_bytes(20));
    const RunResult created = run_cli({"create", "--order", "kind", arg("kit.kw"), arg("src")});
    ASSERT_EQ(created.code, 0) << created.err;
    EXPECT_EQ(member_names(arg("kit.kw")),
              (std::vector<std::string>{"dir.x\\plain", "a.Dll", "b.dll", "A.EXE", "z.exe", "c.txt"}));
    EXPECT_EQ(run_cli({"test", arg("kit.kw")}).code, 0);

    const RunResult refused = run_cli({"create", "--order", "size", arg("other.kw"), arg("src")});
    EXPECT_EQ(refused.code, 2);
    EXPECT_NE(refused.err.find("size not in {name,kind}"), std::string::npos) << refused.err;
    EXPECT_FALSE(fs::exists(at("other.kw")));
}

TEST_F(CreateExtractTest, ModificationTimesSurviveAndOutOfRangeYearsClamp)
{
    const fs::path now = put("src/now.txt", text_bytes(50));
    const fs::path old = put("src/old.txt", text_bytes(50));
    const fs::path future = put("src/future.txt", text_bytes(50));
    // Even seconds: the format keeps two-second steps.
    fs::last_write_time(now, utc_time(2021y / June / 15, hours(10) + minutes(20) + seconds(30)));
    fs::last_write_time(old, utc_time(1975y / March / 1, hours(12)));
    fs::last_write_time(future, utc_time(2150y / January / 1, hours(12)));

    ASSERT_EQ(run_cli({"create", arg("kit.kw"), arg("src")}).code, 0);
    const nlohmann::json listing = list_json(arg("kit.kw"));
    ASSERT_EQ(listing["members"].size(), 3u);
    EXPECT_EQ(listing["members"][1]["name"], "now.txt");
    EXPECT_EQ(listing["members"][0]["modified"], "2107-12-31T23:59:58");
    EXPECT_EQ(listing["members"][2]["modified"], "1980-01-01T00:00:00");

    ASSERT_EQ(run_cli({"extract", arg("kit.kw"), "-d", arg("out")}).code, 0);
    EXPECT_EQ(fs::last_write_time(at("out/now.txt")), fs::last_write_time(now));
    EXPECT_LT(fs::last_write_time(at("out/old.txt")), utc_time(1980y / January / 3, seconds(0)));
    EXPECT_GT(fs::last_write_time(at("out/old.txt")), utc_time(1979y / December / 30, seconds(0)));
}

// Relative target folders are resolved here. Left to the engine, a short
// relative path below a current folder of over 128 characters would not fit
// its path record once qualified, and no file could be created.
TEST_F(CreateExtractTest, ExtractWritesBelowTheCurrentFolderEvenWhenItsPathIsLong)
{
    put("src/sub/a.txt", text_bytes(100));
    ASSERT_EQ(run_cli({"create", arg("kit.kw"), arg("src")}).code, 0);
    std::string deep = "deep";
    for (int i = 0; i < 4; ++i)
        deep += "/" + std::string(30, static_cast<char>('a' + i));
    fs::create_directories(at(deep));
    ASSERT_GT(at(deep).string().size(), 130u);

    const fs::path saved = fs::current_path();
    fs::current_path(at(deep));
    const RunResult by_default = run_cli({"extract", "-q", arg("kit.kw")});
    const RunResult relative = run_cli({"extract", "-q", arg("kit.kw"), "-d", "out"});
    fs::current_path(saved);
    ASSERT_EQ(by_default.code, 0) << by_default.err;
    ASSERT_EQ(relative.code, 0) << relative.err;
    EXPECT_EQ(files_below(at(deep)), (std::vector<std::string>{"out/sub/a.txt", "sub/a.txt"}));
}

// An earlier archive inside an input folder is not packed into the new one.
TEST_F(CreateExtractTest, TheArchiveBeingWrittenIsNotItsOwnInput)
{
    put("src/a.txt", text_bytes(100));
    ASSERT_EQ(run_cli({"create", arg("src/kit.kw"), arg("src")}).code, 0);
    const RunResult again = run_cli({"create", arg("src/kit.kw"), arg("src")});
    ASSERT_EQ(again.code, 0) << again.err;
    EXPECT_NE(again.err.find("kit.kw"), std::string::npos);
    EXPECT_EQ(member_names(arg("src/kit.kw")), std::vector<std::string>{"a.txt"});
    EXPECT_EQ(run_cli({"create", arg("src/kit.kw"), arg("src/kit.kw")}).code, 2);
}

struct WindowCase {
    std::vector<std::string> options;
    std::size_t input_size;
    int expected_bits;
};

class WindowTest : public CliTest, public ::testing::WithParamInterface<WindowCase> { };

TEST_P(WindowTest, ArchiveUsesTheWindowAndDecodes)
{
    const WindowCase& c = GetParam();
    // Half repeating text, half noise: matches at every distance.
    std::vector<std::uint8_t> data = text_bytes(c.input_size / 2);
    const std::vector<std::uint8_t> noise = random_bytes(c.input_size - data.size(), 7);
    data.insert(data.end(), noise.begin(), noise.end());
    put("src/data.bin", data);

    std::vector<std::string> args = {"create", arg("kit.kw"), arg("src")};
    args.insert(args.end(), c.options.begin(), c.options.end());
    const RunResult created = run_cli(args);
    ASSERT_EQ(created.code, 0) << created.err;
    EXPECT_EQ(list_json(arg("kit.kw"))["window_bits"], c.expected_bits);

    const RunResult tested = run_cli({"test", arg("kit.kw")});
    EXPECT_EQ(tested.code, 0) << tested.err;
    ASSERT_EQ(run_cli({"extract", "-q", arg("kit.kw"), "-d", arg("out")}).code, 0);
    EXPECT_EQ(read_bytes(at("out/data.bin")), data);
}

INSTANTIATE_TEST_SUITE_P(Windows, WindowTest,
                         ::testing::Values(WindowCase{{}, 3000, 12}, WindowCase{{}, 300000, 18},
                                           WindowCase{{"-w", "10"}, 20000, 10}, WindowCase{{"-w", "21"}, 20000, 21},
                                           WindowCase{{"--window", "15"}, 300000, 15}));

}  // namespace
