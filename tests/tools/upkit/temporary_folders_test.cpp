// Temporary folders: the class, and every command leaving none behind, in
// the system's temporary folder (a kit's archives, written there for the
// engine) or in extract's target (its staging folders), whether it succeeds
// or fails. The system's temporary folder is pointed at a folder of the
// test's own, so that what is left there can be seen.

#include <cstdlib>
#include <optional>

#include "cli_test_support.h"
#include "temporary_folder.h"
#include "test_files.h"

namespace {

using upkit::TemporaryFolder;
using upkit::test::test_data;

// The variables the system's temporary folder is taken from.
#ifdef _WIN32
const char* const kTemporaryFolderVariables[] = {"TMP", "TEMP"};
#else
const char* const kTemporaryFolderVariables[] = {"TMPDIR"};
#endif

void set_variable(const char* name, const std::optional<std::string>& value)
{
#ifdef _WIN32
    _putenv_s(name, value ? value->c_str() : "");
#else
    if (value)
        setenv(name, value->c_str(), 1);
    else
        unsetenv(name);
#endif
}

// Points the system's temporary folder at `folder` while it lives.
class TemporaryFolderRedirect {
public:
    explicit TemporaryFolderRedirect(const fs::path& folder)
    {
        for (const char* name : kTemporaryFolderVariables) {
            const char* value = std::getenv(name);
            saved_.push_back(value ? std::optional<std::string>(value) : std::nullopt);
            set_variable(name, folder.string());
        }
    }
    ~TemporaryFolderRedirect()
    {
        for (std::size_t k = 0; k < saved_.size(); ++k)
            set_variable(kTemporaryFolderVariables[k], saved_[k]);
    }
    TemporaryFolderRedirect(const TemporaryFolderRedirect&) = delete;
    TemporaryFolderRedirect& operator=(const TemporaryFolderRedirect&) = delete;

private:
    std::vector<std::optional<std::string>> saved_;
};

std::string demo_kit()
{
    return test_data("kits/demo-kit-win32.exe").string();
}

class TemporaryFoldersTest : public CliTest {
protected:
    void SetUp() override
    {
        CliTest::SetUp();
        fs::create_directory(at("tmp"));
        redirect_.emplace(at("tmp"));
    }
    void TearDown() override
    {
        redirect_.reset();
        CliTest::TearDown();
    }

    // Runs the command and checks that it ended with `code` and left no
    // temporary folder behind.
    RunResult run_clean(const std::vector<std::string>& args, int code)
    {
        const RunResult result = run_cli(args);
        std::string command;
        for (const std::string& word : args)
            command += word + ' ';
        EXPECT_EQ(result.code, code) << command << '\n' << result.err;
        EXPECT_EQ(leftovers(), std::vector<std::string>()) << command;
        return result;
    }

    // What is in the temporary folder, and the staging folders anywhere
    // below the test's folder.
    std::vector<std::string> leftovers() const
    {
        std::vector<std::string> found;
        for (const fs::directory_entry& entry : fs::directory_iterator(at("tmp")))
            found.push_back(entry.path().string());
        for (const fs::directory_entry& entry : fs::recursive_directory_iterator(root_))
            if (entry.path().filename().string().rfind(".upkit-partial", 0) == 0)
                found.push_back(entry.path().string());
        return found;
    }

    // The demo kit with archive 2001 cut inside its members' data and
    // archive 2002 inside its directory.
    std::string damaged_kit()
    {
        EXPECT_EQ(run_cli({"dump", demo_kit(), "-o", arg("d"), "-q"}).code, 0);
        fs::resize_file(at("d/archive-2001.kw"), fs::file_size(at("d/archive-2001.kw")) / 2);
        fs::resize_file(at("d/archive-2002.kw"), 12);
        const std::string runtime = test_data("kits/kit-runtime-win32.exe").string();
        EXPECT_EQ(run_cli({"build", arg("d/kit.toml"), "-o", arg("damaged.exe"), "--runtime", runtime, "-q"}).code, 0);
        return arg("damaged.exe");
    }

    std::optional<TemporaryFolderRedirect> redirect_;
};

TEST_F(TemporaryFoldersTest, AFolderLiesWhereItIsAskedForAndGoesWithAllItHolds)
{
    fs::path first;
    fs::path second;
    {
        const TemporaryFolder a("part", root_);
        const TemporaryFolder b("part", root_);
        first = a.path();
        second = b.path();
        EXPECT_TRUE(fs::equivalent(first.parent_path(), root_));
        EXPECT_EQ(first.filename().string().rfind("part-", 0), 0u) << first;
        EXPECT_EQ(first.filename().string().size(), std::string("part-").size() + 8) << first;
        EXPECT_NE(first, second);
        fs::create_directory(first / "sub");
        write_bytes(first / "sub" / "file.bin", {1, 2, 3});
        a.write("other.bin", std::vector<std::uint8_t>{4});

        // By default, in the system's temporary folder.
        const TemporaryFolder system("part");
        EXPECT_TRUE(fs::equivalent(system.path().parent_path(), at("tmp")));
    }
    EXPECT_FALSE(fs::exists(first));
    EXPECT_FALSE(fs::exists(second));
    EXPECT_EQ(leftovers(), std::vector<std::string>());
    EXPECT_THROW(TemporaryFolder("part", at("missing")), fs::filesystem_error);
}

TEST_F(TemporaryFoldersTest, ExtractLeavesNoStagingFolderWhateverBecomesOfTheMembers)
{
    put("src/a.txt", text_bytes(300));
    put("src/sub/b.bin", random_bytes(40000, 3));
    run_clean({"create", arg("a.kw"), arg("src"), "-q"}, 0);
    run_clean({"list", arg("a.kw")}, 0);
    run_clean({"test", arg("a.kw"), "-q"}, 0);
    run_clean({"extract", arg("a.kw"), "-d", arg("out"), "-q"}, 0);
    EXPECT_EQ(files_below(at("out")), (std::vector<std::string>{"a.txt", "sub/b.bin"}));
    run_clean({"extract", arg("a.kw"), "-d", arg("out")}, 4);  // files that exist
    run_clean({"extract", arg("a.kw"), "-d", arg("out"), "--overwrite"}, 0);
    run_clean({"extract", arg("a.kw"), "nothing", "-d", arg("none")}, 5);  // no member matches
    put("file", {1});
    run_clean({"extract", arg("a.kw"), "-d", arg("file")}, 3);  // no folder to write into

    std::vector<std::uint8_t> bytes = read_bytes(at("a.kw"));
    bytes[bytes.size() * 3 / 4] ^= 0x5A;
    write_bytes(at("damaged.kw"), bytes);
    run_clean({"extract", arg("damaged.kw"), "-d", arg("damaged")}, 1);  // a member fails
    EXPECT_FALSE(fs::exists(at("damaged/sub/b.bin")));
}

TEST_F(TemporaryFoldersTest, KitCommandsRemoveTheirArchivesCopies)
{
    run_clean({"list", demo_kit()}, 0);
    run_clean({"list", "--json", demo_kit()}, 0);
    run_clean({"test", demo_kit(), "-q"}, 0);
    run_clean({"extract", demo_kit(), "-d", arg("k"), "-q"}, 0);
    EXPECT_TRUE(fs::is_regular_file(at("k/archive-2003/WIDGET.HLP")));
    run_clean({"extract", demo_kit(), "-d", arg("k"), "-q", "--layout", "destinations"}, 0);
    run_clean({"extract", demo_kit(), "-d", arg("k"), "-q"}, 4);
    const RunResult inspected = run_clean({"inspect", demo_kit()}, 0);
    EXPECT_NE(inspected.out.find("Archive 2004 (ArchiveList row 4): 1012 bytes, 1 members"), std::string::npos);
    run_clean({"inspect", "--json", demo_kit()}, 0);
    run_clean({"dump", demo_kit(), "-o", arg("dumped"), "-q"}, 0);
    const std::string runtime = test_data("kits/kit-runtime-win32.exe").string();
    run_clean({"build", arg("dumped/kit.toml"), "-o", arg("again.exe"), "--runtime", runtime, "-q"}, 0);
}

TEST_F(TemporaryFoldersTest, KitCommandsRemoveThemWhenTheyFailToo)
{
    const std::string kit = damaged_kit();
    run_clean({"list", kit}, 1);
    run_clean({"list", "--json", kit}, 1);
    run_clean({"test", kit}, 1);
    run_clean({"extract", kit, "-d", arg("x")}, 1);
    run_clean({"extract", kit, "WIDGET.EXE", "README.TXT", "-d", arg("y")}, 1);
    run_clean({"inspect", kit}, 0);  // what cannot be read is part of the report
    run_clean({"inspect", "--json", kit}, 0);

    write_bytes(at("not-a-kit.exe"), {'M', 'Z', 0, 0});
    for (const char* command : {"list", "test", "extract", "inspect"})
        run_clean({command, arg("not-a-kit.exe")}, 1);
}

// The engine would look for a continuation file beside an archive that runs
// past its end; for a kit's archive that file, in the temporary folder, is
// not worth naming: the archive runs past the end of its resource.
TEST_F(TemporaryFoldersTest, AKitArchiveCutShortIsSaidToRunPastItsResource)
{
    const std::string kit = damaged_kit();
    const RunResult tested = run_clean({"test", kit}, 1);
    EXPECT_EQ(tested.err, "upkit: " + kit + ", archive 2002: its directory runs past the end of the resource\n" +
                              "upkit: " + kit +
                              ", archive 2001: WIDGET.EXE: its data runs past the end of the resource\n");
    EXPECT_NE(tested.out.find("archive 2003: OK"), std::string::npos) << tested.out;

    const RunResult listed = run_clean({"list", "--json", kit}, 1);
    const nlohmann::json listing = nlohmann::json::parse(listed.out);
    EXPECT_EQ(listing["archives"][1]["error"], "its directory runs past the end of the resource");

    const RunResult inspected = run_clean({"inspect", kit}, 0);
    EXPECT_NE(inspected.out.find("Archive 2002 (ArchiveList row 2): 12 bytes, cannot be listed: its directory runs "
                                 "past the end of the resource\n"),
              std::string::npos)
        << inspected.out;
}

// Proof that the tests above watch the folder the commands use: with the
// system's temporary folder gone, a kit's archives cannot be read.
TEST_F(TemporaryFoldersTest, KitCommandsUseTheSystemsTemporaryFolder)
{
    fs::remove(at("tmp"));
    const RunResult listed = run_cli({"list", demo_kit()});
    EXPECT_EQ(listed.code, 1);
    EXPECT_EQ(listed.out, "");
    EXPECT_NE(listed.err, "");
    fs::create_directory(at("tmp"));
}

}  // namespace
