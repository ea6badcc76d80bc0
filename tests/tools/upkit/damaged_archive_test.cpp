// Archives that are cut short, damaged, missing or not archives at all, and
// extraction that fails part way: each ends in a message and status 1 (data
// error) or 3 (I/O error).

#include "cli_test_support.h"

namespace {

class DamagedArchiveTest : public CliTest {
protected:
    void SetUp() override
    {
        CliTest::SetUp();
        data_ = random_bytes(50000, 9);
        put("src/data.bin", data_);
        const RunResult created = run_cli({"create", arg("kit.kw"), arg("src")});
        ASSERT_EQ(created.code, 0) << created.err;
    }

    std::vector<std::uint8_t> data_;
};

TEST_F(DamagedArchiveTest, TruncatedArchiveFailsTestNamingTheMissingFile)
{
    fs::resize_file(at("kit.kw"), fs::file_size(at("kit.kw")) / 2);
    // The directory is whole: listing still works.
    EXPECT_EQ(run_cli({"list", arg("kit.kw")}).code, 0);

    const RunResult tested = run_cli({"test", arg("kit.kw")});
    EXPECT_EQ(tested.code, 1);
    EXPECT_EQ(tested.out, "");
    EXPECT_EQ(tested.err, "upkit: " + arg("kit.kw") + ": data.bin: archive is cut short: it ends after " +
                              std::to_string(fs::file_size(at("kit.kw"))) + " bytes, and no continuation file " +
                              arg("kit.002") + " follows (21)\n");
}

TEST_F(DamagedArchiveTest, ArchiveCutInsideTheDirectoryCannotBeListed)
{
    fs::resize_file(at("kit.kw"), 12);
    const RunResult listed = run_cli({"list", arg("kit.kw")});
    EXPECT_EQ(listed.code, 1);
    EXPECT_EQ(listed.err, "upkit: " + arg("kit.kw") +
                              ": archive is cut short: it ends after 12 bytes, and no "
                              "continuation file " +
                              arg("kit.002") + " follows (21)\n");

    // Nothing at all.
    fs::resize_file(at("kit.kw"), 0);
    for (const char* command : {"list", "test"}) {
        const RunResult empty = run_cli({command, arg("kit.kw")});
        EXPECT_EQ(empty.code, 1) << command;
        EXPECT_EQ(empty.err, "upkit: " + arg("kit.kw") + ": an empty file (0 bytes), not an archive (21)\n");
    }
}

TEST_F(DamagedArchiveTest, FlippedByteFailsTestAndLeavesNoDamagedFile)
{
    std::vector<std::uint8_t> bytes = read_bytes(at("kit.kw"));
    bytes[bytes.size() / 2] ^= 0x5A;
    write_bytes(at("kit.kw"), bytes);

    const RunResult tested = run_cli({"test", arg("kit.kw")});
    EXPECT_EQ(tested.code, 1);
    EXPECT_EQ(tested.err.rfind("upkit: " + arg("kit.kw") + ": data.bin: ", 0), 0u) << tested.err;

    const RunResult extracted = run_cli({"extract", arg("kit.kw"), "-d", arg("out")});
    EXPECT_EQ(extracted.code, 1);
    EXPECT_EQ(extracted.out, "");
    EXPECT_FALSE(fs::exists(at("out/data.bin")));
}

TEST_F(DamagedArchiveTest, MissingArchiveAndOtherFilesAreNotOpened)
{
    for (const char* command : {"list", "test", "extract"}) {
        const RunResult missing = run_cli({command, arg("none.kw")});
        EXPECT_EQ(missing.code, 3) << command;
        EXPECT_NE(missing.err.find("cannot open"), std::string::npos) << missing.err;
        const RunResult other = run_cli({command, arg("src/data.bin")});
        EXPECT_EQ(other.code, 1) << command;
        EXPECT_NE(other.err.find("not an archive"), std::string::npos) << other.err;
    }
}

// A member that cannot be written ends the run with status 3: the members
// after it are not extracted and the failure names the file.
TEST_F(DamagedArchiveTest, ExtractStopsAtTheFirstMemberThatCannotBeWritten)
{
    put("two/a/x.txt", text_bytes(100));
    put("two/b.txt", text_bytes(200));
    ASSERT_EQ(run_cli({"create", arg("two.kw"), arg("two")}).code, 0);
    // A file where the member needs a folder.
    put("out/a", text_bytes(1));

    const RunResult extracted = run_cli({"extract", arg("two.kw"), "-d", arg("out")});
    EXPECT_EQ(extracted.code, 3);
    EXPECT_EQ(extracted.err.rfind("upkit: " + arg("out/a/x.txt") + ": cannot write the output file", 0), 0u)
        << extracted.err;
    EXPECT_EQ(files_below(at("out")), std::vector<std::string>{"a"});
}

// Output that the engine itself cannot create (the target folder is a file)
// is an I/O error naming the folder.
TEST_F(DamagedArchiveTest, ExtractIntoAFileIsAnIoError)
{
    put("out", text_bytes(1));
    const RunResult extracted = run_cli({"extract", arg("kit.kw"), "-d", arg("out")});
    EXPECT_EQ(extracted.code, 3);
    EXPECT_NE(extracted.err.find(arg("out")), std::string::npos) << extracted.err;
}

// Damage is a data error (1) in every command, and a damaged member leaves
// neither a file nor the staging folder behind.
TEST_F(DamagedArchiveTest, CheckValueMismatchIsStatusOneAndNamesTheMeaning)
{
    std::vector<std::uint8_t> bytes = read_bytes(at("kit.kw"));
    bytes[bytes.size() - 2] ^= 0xFF;  // in the last member's check value
    write_bytes(at("kit.kw"), bytes);
    const RunResult tested = run_cli({"test", arg("kit.kw")});
    EXPECT_EQ(tested.code, 1);
    EXPECT_EQ(tested.err, "upkit: " + arg("kit.kw") + ": data.bin: check value mismatch: damaged data (18)\n");
    const RunResult extracted = run_cli({"extract", arg("kit.kw"), "-d", arg("out")});
    EXPECT_EQ(extracted.code, 1);
    EXPECT_EQ(files_below(at("out")), std::vector<std::string>{});
    EXPECT_EQ(std::distance(fs::directory_iterator(at("out")), fs::directory_iterator()), 0);
}

}  // namespace
