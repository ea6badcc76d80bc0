// extract on a POSIX host: symbolic links standing below the target folder
// are never written through nor replaced, and an extract stopped by SIGTERM
// leaves no partial folder behind (nor does a later run keep those of a
// killed one). A test of a kit stopped so leaves no copy of its archives.

#include <algorithm>
#include <chrono>
#include <csignal>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

#include "cli_test_support.h"
#include "test_files.h"

namespace {

class ExtractLinks : public CliTest {
protected:
    void SetUp() override
    {
        CliTest::SetUp();
        put("src/sub/a.txt", text_bytes(100));
        put("src/b.txt", text_bytes(200));
        ASSERT_EQ(run_cli({"create", "-q", arg("a.kw"), arg("src")}).code, 0);
        fs::create_directories(at("dest"));
        fs::create_directories(at("elsewhere"));
    }
};

TEST_F(ExtractLinks, AFolderLinkOnAMembersPathIsRefusedAndTheOthersGoOn)
{
    fs::create_directory_symlink(at("elsewhere"), at("dest/sub"));
    const RunResult run = run_cli({"extract", "-q", arg("a.kw"), "-d", arg("dest")});
    EXPECT_EQ(run.code, 1);
    EXPECT_EQ(run.err, "upkit: " + arg("dest/sub/a.txt") + ": not written: " + arg("dest/sub") +
                           " is a symbolic link (--follow-links writes through links)\n");
    EXPECT_TRUE(fs::is_empty(at("elsewhere")));
    EXPECT_EQ(read_bytes(at("dest/b.txt")), text_bytes(200));
    EXPECT_TRUE(fs::is_symlink(at("dest/sub")));

    // Asked for, the member goes where the link points.
    const RunResult followed =
        run_cli({"extract", "-q", "--follow-links", arg("a.kw"), "-d", arg("dest"), "--overwrite"});
    EXPECT_EQ(followed.code, 0) << followed.err;
    EXPECT_EQ(read_bytes(at("elsewhere/a.txt")), text_bytes(100));
}

TEST_F(ExtractLinks, ALinkStandingAsTheMembersFileIsNeitherFollowedNorReplaced)
{
    // One to a file outside, one to a file inside the target.
    put("outside.txt", text_bytes(7));
    put("dest/inside.txt", text_bytes(9));
    fs::create_directories(at("dest/sub"));
    fs::create_symlink(at("outside.txt"), at("dest/b.txt"));
    fs::create_symlink(at("dest/inside.txt"), at("dest/sub/a.txt"));
    for (const char* mode : {"--overwrite", "--skip-existing"}) {
        const RunResult run = run_cli({"extract", "-q", mode, arg("a.kw"), "-d", arg("dest")});
        EXPECT_EQ(run.code, 1) << mode;
        EXPECT_NE(run.err.find(arg("dest/b.txt") + " is a symbolic link"), std::string::npos) << run.err;
        EXPECT_NE(run.err.find(arg("dest/sub/a.txt") + " is a symbolic link"), std::string::npos) << run.err;
        EXPECT_TRUE(fs::is_symlink(at("dest/b.txt")));
        EXPECT_TRUE(fs::is_symlink(at("dest/sub/a.txt")));
        EXPECT_EQ(read_bytes(at("outside.txt")), text_bytes(7));
        EXPECT_EQ(read_bytes(at("dest/inside.txt")), text_bytes(9));
    }
}

TEST_F(ExtractLinks, TheTargetFolderItselfMayBeALink)
{
    fs::create_directory_symlink(at("elsewhere"), at("via"));
    const RunResult run = run_cli({"extract", "-q", arg("a.kw"), "-d", arg("via")});
    EXPECT_EQ(run.code, 0) << run.err;
    EXPECT_EQ(read_bytes(at("elsewhere/sub/a.txt")), text_bytes(100));
}

// Starts upkit with `args` (and TMPDIR, when given); its pid.
pid_t start_upkit(const std::vector<std::string>& args, const std::string& tmpdir = "")
{
    const pid_t pid = ::fork();
    if (pid == 0) {
        if (!tmpdir.empty())
            ::setenv("TMPDIR", tmpdir.c_str(), 1);
        std::vector<char*> argv;
        argv.push_back(const_cast<char*>(UPKIT_PROGRAM));
        for (const std::string& arg : args)
            argv.push_back(const_cast<char*>(arg.c_str()));
        argv.push_back(nullptr);
        ::execv(UPKIT_PROGRAM, argv.data());
        ::_exit(127);
    }
    return pid;
}

std::vector<std::string> partial_folders(const fs::path& folder)
{
    std::vector<std::string> found;
    std::error_code ec;
    for (const fs::directory_entry& entry : fs::directory_iterator(folder, ec))
        if (entry.path().filename().string().starts_with(".upkit-partial"))
            found.push_back(entry.path().filename().string());
    std::sort(found.begin(), found.end());
    return found;
}

// Whether `holds` comes true within ten seconds, asked every 5 ms.
template <typename Condition> bool within_ten_seconds(Condition holds)
{
    for (int k = 0; k < 2000; ++k) {
        if (holds())
            return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return holds();
}

class ExtractInterrupted : public CliTest { };

TEST_F(ExtractInterrupted, SigtermHalfwayLeavesNoPartialFolderAndASecondRunSucceeds)
{
    // Enough data that the extraction is still running when the signal
    // comes: members of random bytes decode slowly.
    for (int k = 0; k < 4; ++k)
        put("big/part" + std::to_string(k) + ".bin", random_bytes(4 << 20, 100 + k));
    ASSERT_EQ(run_cli({"create", "-q", "-l", "1", arg("big.kw"), arg("big")}).code, 0);

    const pid_t pid = start_upkit({"extract", "-q", arg("big.kw"), "-d", arg("out")});
    ASSERT_GT(pid, 0);
    // The staging folder appears as soon as the first member is decoded.
    ASSERT_TRUE(within_ten_seconds([&] { return !partial_folders(at("out")).empty(); }))
        << "no partial folder appeared";
    ASSERT_EQ(::kill(pid, SIGTERM), 0);
    int status = 0;
    ASSERT_EQ(::waitpid(pid, &status, 0), pid);
    // Ended by the signal, after cleaning up: 16 MiB of random bytes take
    // far longer to decode than the wait for the first member.
    ASSERT_TRUE(WIFSIGNALED(status)) << "ended with status " << WEXITSTATUS(status);
    EXPECT_EQ(WTERMSIG(status), SIGTERM);
    EXPECT_EQ(partial_folders(at("out")), std::vector<std::string>{});

    const RunResult again = run_cli({"extract", "-q", "--overwrite", arg("big.kw"), "-d", arg("out")});
    EXPECT_EQ(again.code, 0) << again.err;
    EXPECT_EQ(files_below(at("out")).size(), 4u);
}

TEST_F(ExtractInterrupted, ALaterRunRemovesThePartialFoldersOfEndedRunsOnly)
{
    put("src/a.txt", text_bytes(10));
    ASSERT_EQ(run_cli({"create", "-q", arg("a.kw"), arg("src")}).code, 0);
    // A process that has ended: its pid names no running process.
    const pid_t gone = ::fork();
    if (gone == 0)
        ::_exit(0);
    ::waitpid(gone, nullptr, 0);
    put("out/.upkit-partial-" + std::to_string(gone) + "-0123abcd/half.bin", text_bytes(5));
    // A running one's folder, and a folder that only looks alike.
    put("out/.upkit-partial-" + std::to_string(::getppid()) + "-89abcdef/half.bin", text_bytes(5));
    put("out/.upkit-partial-notes/keep.txt", text_bytes(5));

    const RunResult run = run_cli({"extract", "-q", arg("a.kw"), "-d", arg("out")});
    EXPECT_EQ(run.code, 0) << run.err;
    EXPECT_EQ(partial_folders(at("out")),
              (std::vector<std::string>{".upkit-partial-" + std::to_string(::getppid()) + "-89abcdef",
                                        ".upkit-partial-notes"}));
}

// A kit's archives are read from copies in a temporary folder.
TEST_F(ExtractInterrupted, SigtermWhileTestingAKitLeavesNoCopyOfItsArchives)
{
    // The demo kit with a first archive of 16 MiB of random bytes, slow to
    // decode.
    const std::string kits = upkit::test::test_data("kits").string();
    ASSERT_EQ(run_cli({"dump", "-q", kits + "/demo-kit-win32.exe", "-o", arg("d")}).code, 0);
    put("big/blob.bin", random_bytes(16 << 20, 7));
    ASSERT_EQ(run_cli({"create", "-q", "-l", "1", arg("d/archive-2001.kw"), arg("big")}).code, 0);
    const RunResult built =
        run_cli({"build", "-q", arg("d/kit.toml"), "-o", arg("big.exe"), "--runtime", kits + "/kit-runtime-win32.exe"});
    ASSERT_EQ(built.code, 0) << built.err;

    fs::create_directories(at("tmp"));
    const pid_t pid = start_upkit({"test", "-q", arg("big.exe")}, arg("tmp"));
    ASSERT_GT(pid, 0);
    ASSERT_TRUE(within_ten_seconds([&] { return !files_below(at("tmp")).empty(); })) << "no archive copy appeared";
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    ASSERT_EQ(::kill(pid, SIGTERM), 0);
    int status = 0;
    ASSERT_EQ(::waitpid(pid, &status, 0), pid);
    ASSERT_TRUE(WIFSIGNALED(status)) << "ended with status " << WEXITSTATUS(status);
    EXPECT_EQ(WTERMSIG(status), SIGTERM);
    EXPECT_TRUE(fs::is_empty(at("tmp"))) << files_below(at("tmp")).size() << " files left";
}

}  // namespace
