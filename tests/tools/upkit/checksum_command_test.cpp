// `upkit checksum` gives the value the kit computes for a product file: the
// kit's own arithmetic (tables/file_checksum.h) applied to the whole file, for
// every size around the kit's 1024-byte blocks.

#include "cli_test_support.h"

#include <fmt/format.h>

#include "file_checksum.h"

namespace {

// The checksum by the kit's arithmetic, the file summed in one go; an odd
// last byte is paired with a zero.
std::uint16_t kit_checksum(std::vector<std::uint8_t> bytes)
{
    const unsigned int count = static_cast<unsigned int>(bytes.size());
    bytes.push_back(0);
    return finish_checksum(add_checksum_words(0, bytes.data(), count));
}

TEST_F(CliTest, ChecksumGivesTheKitsValueForEverySize)
{
    std::vector<std::string> args = {"checksum"};
    std::string expected;
    nlohmann::json expected_json = nlohmann::json::array();
    for (const std::size_t size : {0, 1, 2, 3, 1023, 1024, 1025, 2048, 2049, 5001}) {
        const std::vector<std::uint8_t> bytes = random_bytes(size, static_cast<unsigned>(size));
        const std::string name = fmt::format("f{}.bin", size);
        put(name, bytes);
        args.push_back(arg(name));
        expected += fmt::format("0x{:04X}  {}\n", kit_checksum(bytes), arg(name));
        expected_json.push_back({{"file", arg(name)},
                                 {"checksum", kit_checksum(bytes)},
                                 {"hex", fmt::format("0x{:04X}", kit_checksum(bytes))}});
    }
    const RunResult run = run_cli(args);
    EXPECT_EQ(run.code, 0) << run.err;
    EXPECT_EQ(run.err, "");
    EXPECT_EQ(run.out, expected);

    args.push_back("--json");
    const RunResult json = run_cli(args);
    EXPECT_EQ(json.code, 0) << json.err;
    EXPECT_EQ(nlohmann::json::parse(json.out), (nlohmann::json{{"files", expected_json}}));
}

TEST_F(CliTest, ChecksumOfTheWorkedExamples)
{
    put("empty", {});
    put("abc", {'a', 'b', 'c'});
    const RunResult run = run_cli({"checksum", arg("empty"), arg("abc")});
    EXPECT_EQ(run.code, 0) << run.err;
    EXPECT_EQ(run.out, "0xFFFF  " + arg("empty") + "\n0x9D3B  " + arg("abc") + "\n");
}

TEST_F(CliTest, ChecksumNamesWhatItCannotReadAndDoesTheRest)
{
    put("a.bin", {1, 2});
    put("folder/b.bin", {3, 4, 5});
    const RunResult run = run_cli({"checksum", arg("a.bin"), arg("missing"), arg("folder"), arg("folder/b.bin")});
    EXPECT_EQ(run.code, 3);
    EXPECT_EQ(run.out, "0xFDFE  " + arg("a.bin") + "\n0xFBF7  " + arg("folder/b.bin") + "\n");
    EXPECT_EQ(run.err,
              "upkit: " + arg("missing") + ": no such file\nupkit: " + arg("folder") + ": a folder, not a file\n");

    const RunResult json = run_cli({"checksum", "--json", arg("missing"), arg("a.bin")});
    EXPECT_EQ(json.code, 3);
    const nlohmann::json files = nlohmann::json::parse(json.out)["files"];
    ASSERT_EQ(files.size(), 2u);
    EXPECT_EQ(files[0]["error"], arg("missing") + ": no such file");
    EXPECT_EQ(files[1]["checksum"], 0xFDFE);
}

}  // namespace
