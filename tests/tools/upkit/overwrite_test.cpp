// Extracting over files that exist: refused by default (status 4, the file
// named, the rest written), replaced with --overwrite, passed over with
// --skip-existing.

#include "cli_test_support.h"

namespace {

class ExistingFileTest : public CliTest {
protected:
    void SetUp() override
    {
        CliTest::SetUp();
        put("src/a.txt", text_bytes(100));
        put("src/sub/b.txt", text_bytes(200));
        put("src/c.txt", text_bytes(300));
        ASSERT_EQ(run_cli({"create", arg("kit.kw"), arg("src")}).code, 0);
        put("out/sub/b.txt", {'o', 'l', 'd'});
    }
};

TEST_F(ExistingFileTest, ByDefaultTheFileIsKeptNamedAndTheRestWritten)
{
    const RunResult extracted = run_cli({"extract", arg("kit.kw"), "-d", arg("out")});
    EXPECT_EQ(extracted.code, 4);
    EXPECT_EQ(extracted.out, "a.txt\nc.txt\n");
    EXPECT_EQ(extracted.err, "upkit: " + (at("out") / "sub" / "b.txt").string() +
                                 ": exists; not replaced (use --overwrite to replace it, --skip-existing to pass "
                                 "over it)\n");
    EXPECT_EQ(read_bytes(at("out/sub/b.txt")), (std::vector<std::uint8_t>{'o', 'l', 'd'}));
    EXPECT_EQ(read_bytes(at("out/a.txt")), text_bytes(100));
    EXPECT_EQ(read_bytes(at("out/c.txt")), text_bytes(300));
    // No staging folder is left behind.
    EXPECT_EQ(files_below(at("out")), (std::vector<std::string>{"a.txt", "c.txt", "sub/b.txt"}));
    EXPECT_EQ(std::distance(fs::directory_iterator(at("out")), fs::directory_iterator()), 3);
}

TEST_F(ExistingFileTest, OverwriteReplacesTheFile)
{
    const RunResult extracted = run_cli({"extract", "--overwrite", arg("kit.kw"), "-d", arg("out")});
    ASSERT_EQ(extracted.code, 0) << extracted.err;
    EXPECT_EQ(extracted.out, "a.txt\nc.txt\nsub\\b.txt\n");
    EXPECT_EQ(read_bytes(at("out/sub/b.txt")), text_bytes(200));
}

TEST_F(ExistingFileTest, SkipExistingLeavesItSilently)
{
    const RunResult extracted = run_cli({"extract", "--skip-existing", arg("kit.kw"), "-d", arg("out")});
    ASSERT_EQ(extracted.code, 0) << extracted.err;
    EXPECT_EQ(extracted.out, "a.txt\nc.txt\n");
    EXPECT_EQ(extracted.err, "");
    EXPECT_EQ(read_bytes(at("out/sub/b.txt")), (std::vector<std::uint8_t>{'o', 'l', 'd'}));
    EXPECT_EQ(read_bytes(at("out/c.txt")), text_bytes(300));
}

// A damaged member never replaces the file it would overwrite: it is decoded
// aside and moved into place only when whole.
TEST_F(ExistingFileTest, ADamagedMemberLeavesTheExistingFileAlone)
{
    put("big/data.bin", random_bytes(50000, 3));
    ASSERT_EQ(run_cli({"create", arg("big.kw"), arg("big")}).code, 0);
    std::vector<std::uint8_t> bytes = read_bytes(at("big.kw"));
    bytes[bytes.size() / 2] ^= 0x5A;
    write_bytes(at("big.kw"), bytes);
    put("out/data.bin", {'o', 'l', 'd'});

    const RunResult extracted = run_cli({"extract", "--overwrite", arg("big.kw"), "-d", arg("out")});
    EXPECT_EQ(extracted.code, 1);
    EXPECT_EQ(read_bytes(at("out/data.bin")), (std::vector<std::uint8_t>{'o', 'l', 'd'}));
}

// Refusal and a data error in one run: the data error decides the status.
TEST_F(ExistingFileTest, TheMoreSeriousFailureDecidesTheStatus)
{
    std::vector<std::uint8_t> bytes = read_bytes(at("kit.kw"));
    bytes[bytes.size() - 2] ^= 0xFF;  // the last member's check value
    write_bytes(at("kit.kw"), bytes);
    fs::remove(at("out/sub/b.txt"));
    put("out/a.txt", {'o', 'l', 'd'});
    const RunResult extracted = run_cli({"extract", arg("kit.kw"), "-d", arg("out")});
    EXPECT_EQ(extracted.code, 1);
    EXPECT_NE(extracted.err.find("exists; not replaced"), std::string::npos) << extracted.err;
    EXPECT_NE(extracted.err.find("check value mismatch"), std::string::npos) << extracted.err;
}

}  // namespace

#include "exit_status.h"

namespace {

// The most serious failure decides: data (1), then I/O (3), then existing
// files (4), then unmatched MEMBERs (5), then usage (2).
TEST(RunStatus, KeepsTheMostSeriousFailure)
{
    upkit::RunStatus status;
    EXPECT_TRUE(status.ok());
    for (int s : {2, 5, 4, 0, 3})
        status.note(s);
    EXPECT_EQ(status.value(), 3);
    status.note(1);
    status.note(4);
    EXPECT_EQ(status.value(), 1);
}

}  // namespace
