// `upkit try` end to end: the upkit program tries a kit built here from plain
// files, under wine64 on a private X display, and what it reports is checked
// against the prefix it kept: the files, their times and the registry.

#include <gtest/gtest.h>

#include <sys/wait.h>

#include <cstdlib>
#include <nlohmann/json.hpp>

#include "test_files.h"

using upkit::test::read_file;
using upkit::test::TempDir;
using upkit::test::write_file;
using json = nlohmann::json;
namespace fs = std::filesystem;

namespace {

const fs::path kRuntimes = UPKIT_KIT_RUNTIME_FOLDER;

struct ToolResult {
    int code = -1;
    std::string out;
    std::string err;
};

std::string quoted(const std::string& text)
{
    std::string out = "'";
    for (char c : text)
        out += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return out + "'";
}

std::string text_of(const fs::path& path)
{
    const std::vector<std::uint8_t> bytes = read_file(path);
    return std::string(bytes.begin(), bytes.end());
}

// The old release: GADGET.EXE is a program (a kit runtime serves), so that a
// stand-in can hold it in use as a running program holds its own file.
const char* const kManifest = R"([kit]
title = "Gadget 3.0 Upgrade"
maker = "Northwind Tools"
product = "Gadget"
welcome = "Welcome to the Gadget 3.0 Upgrade kit. This kit will:"
internal_name = "GADUPG30"
legal = "Copyright (C) 1998 Northwind Tools"
file_time = 1998-04-01T12:00:00
bitmap = "@DEMO@/kit.bmp"
icon = "@DEMO@/kit.ico"

[[app_versions]]
display = "Detected Gadget 2.0"
key = 'Software\Northwind\Gadget'
value = "Path"
file = "GADGET.EXE"
checksum_of = "release/GADGET.EXE"

[[windows]]
display = "Gadget"
class = "NorthwindGadget"

[[archives]]
id = 2001
progress = "Installing Gadget..."
content = ["payload/GADGET.EXE", "payload/NOTES.TXT"]

[[registry]]
root = "HKLM"
key = 'Software\Northwind\Gadget'
value = "Version"
type = "REG_SZ"
data = "3.0"

[[registry]]
root = "HKLM"
key = 'Software\Northwind\Gadget\3.0'
value = "Program"
type = "REG_SZ"
data = '%I%\GADGET.EXE'

[[registry]]
root = "HKLM"
key = 'Software\Northwind\Gadget\3.0'
value = "Items"
type = "REG_DWORD"
data = "0x1F"
)";

class TryCommand : public ::testing::Test {
protected:
    void SetUp() override
    {
        fs::create_directories(dir_ / "release");
        fs::copy_file(kRuntimes / "kit-runtime-win32.exe", dir_ / "release/GADGET.EXE");
        write_file(dir_ / "release/README.TXT", std::string("Gadget 2.0\r\n"));
        fs::create_directories(dir_ / "payload");
        fs::copy_file(kRuntimes / "kit-runtime-win64.exe", dir_ / "payload/GADGET.EXE");
        write_file(dir_ / "payload/NOTES.TXT", std::string("What is new in Gadget 3.0\r\n"));
        std::string manifest = kManifest;
        for (std::size_t at; (at = manifest.find("@DEMO@")) != std::string::npos;)
            manifest.replace(at, 6, DEMO_KIT_FOLDER);
        write_file(dir_ / "kit.toml", manifest);
        fs::create_directories(dir_ / "tmp");
        const ToolResult built = upkit({"build", (dir_ / "kit.toml").string(), "-o", kit().string(), "--arch", "win64",
                                        "--runtime", (kRuntimes / "kit-runtime-win64.exe").string()});
        ASSERT_EQ(built.code, 0) << built.err;
    }

    fs::path kit() const { return dir_ / "kit.exe"; }

    // The upkit program, with TZ=UTC, its own TMPDIR and no DISPLAY; `path`
    // replaces PATH when given.
    ToolResult upkit(const std::vector<std::string>& args, const std::string& path = "")
    {
        std::string command = "cd " + quoted(dir_.path().string()) +
                              " && env -u DISPLAY TZ=UTC TMPDIR=" + quoted((dir_ / "tmp").string());
        if (!path.empty())
            command += " PATH=" + quoted(path);
        command += " " + quoted(UPKIT_PROGRAM);
        for (const std::string& arg : args)
            command += " " + quoted(arg);
        command += " >" + quoted((dir_ / "out.txt").string()) + " 2>" + quoted((dir_ / "err.txt").string());
        const int status = std::system(command.c_str());
        ToolResult run;
        run.code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        run.out = text_of(dir_ / "out.txt");
        run.err = text_of(dir_ / "err.txt");
        return run;
    }

    // A trial with --json and --keep; the report, and the prefix kept.
    json trial(std::vector<std::string> extra, int expected_code)
    {
        std::vector<std::string> args =
            {"try",    kit().string(), "--installed",   (dir_ / "release").string(), "--headless",
             "--json", "--keep",       "--screenshots", (dir_ / "shots").string()};
        args.insert(args.end(), extra.begin(), extra.end());
        const ToolResult run = upkit(args);
        EXPECT_EQ(run.code, expected_code) << run.err;
        const json report = json::parse(run.out, nullptr, false);
        EXPECT_FALSE(report.is_discarded()) << run.out << run.err;
        if (report.is_discarded() || !report.contains("prefix"))
            return json::object();
        prefix_ = report["prefix"].get<std::string>();
        return report;
    }

    fs::path in_prefix(const std::string& relative) const { return prefix_ / "drive_c" / relative; }

    // The data of a value as the prefix's registry file keeps it, after the
    // session has ended: the line after the key's section header.
    std::string registry_line(const std::string& key, const std::string& value) const
    {
        const std::string text = text_of(prefix_ / "system.reg");
        std::string section = "[";
        for (char c : key)
            section += c == '\\' ? std::string("\\\\") : std::string(1, c);
        const std::size_t at = text.find(section + "]");
        if (at == std::string::npos)
            return "";
        const std::size_t end = text.find("\n[", at);
        const std::string body = text.substr(at, end == std::string::npos ? std::string::npos : end - at);
        const std::size_t line = body.find("\"" + value + "\"=");
        if (line == std::string::npos)
            return "";
        return body.substr(line, body.find('\n', line) - line);
    }

    TempDir dir_;
    fs::path prefix_;
};

json file_entry(const json& report, const std::string& path)
{
    for (const json& file : report["files"])
        if (file["path"] == path)
            return file;
    return nullptr;
}

}  // namespace

TEST_F(TryCommand, ReportsWhatTheKitInstalledAsThePrefixHoldsIt)
{
    const json report = trial({}, 0);
    ASSERT_FALSE(prefix_.empty());
    EXPECT_EQ(report["arch"], "win64");
    EXPECT_EQ(report["product_folder"], "C:\\Program Files\\Gadget");
    EXPECT_EQ(report["completed"], true);
    EXPECT_EQ(report["kit_exit"], 0);
    ASSERT_EQ(report["boxes"].size(), 1u);
    EXPECT_EQ(report["boxes"][0]["caption"], "Gadget 3.0 Upgrade");
    EXPECT_EQ(report["boxes"][0]["answered"], "No");

    // Exactly the archive's two files, as the prefix has them: the bytes of
    // the payload and the manifest's time.
    ASSERT_EQ(report["files"].size(), 2u) << report["files"].dump();
    const json program = file_entry(report, "C:\\Program Files\\Gadget\\GADGET.EXE");
    const json notes = file_entry(report, "C:\\Program Files\\Gadget\\NOTES.TXT");
    ASSERT_FALSE(program.is_null());
    ASSERT_FALSE(notes.is_null());
    EXPECT_EQ(program["change"], "replaced");
    EXPECT_EQ(notes["change"], "new");
    EXPECT_EQ(read_file(in_prefix("Program Files/Gadget/GADGET.EXE")), read_file(dir_ / "payload/GADGET.EXE"));
    EXPECT_EQ(program["size"], fs::file_size(in_prefix("Program Files/Gadget/GADGET.EXE")));
    EXPECT_EQ(notes["size"], fs::file_size(in_prefix("Program Files/Gadget/NOTES.TXT")));
    EXPECT_EQ(upkit::test::last_write_utc(in_prefix("Program Files/Gadget/NOTES.TXT")), 891432000);
    EXPECT_EQ(notes["written"], "1998-04-01 12:00:00 UTC");
    EXPECT_TRUE(report["pending"].empty());

    // The registry values, read back by the kit's own view, and as the
    // prefix's registry file keeps them.
    ASSERT_EQ(report["registry"].size(), 3u);
    EXPECT_EQ(report["registry"][0]["data"], "3.0");
    EXPECT_EQ(report["registry"][1]["data"], "C:\\Program Files\\Gadget\\GADGET.EXE");
    EXPECT_EQ(report["registry"][2]["type"], "REG_DWORD");
    EXPECT_EQ(report["registry"][2]["data"], 31);
    EXPECT_EQ(registry_line("Software\\Northwind\\Gadget", "Version"), "\"Version\"=\"3.0\"");
    EXPECT_EQ(registry_line("Software\\Northwind\\Gadget\\3.0", "Items"), "\"Items\"=dword:0000001f");
    EXPECT_EQ(registry_line("Software\\Northwind\\Gadget", "Path"), "\"Path\"=\"C:\\\\Program Files\\\\Gadget\"");

    ASSERT_FALSE(report["screenshots"].empty());
    EXPECT_TRUE(fs::is_regular_file(report["screenshots"][0].get<std::string>()));
    fs::remove_all(prefix_.parent_path());
}

TEST_F(TryCommand, ShowsTheRefusalWhileTheProductRunsAndInstallsNothing)
{
    const json report = trial({"--window", "NorthwindGadget"}, 1);
    EXPECT_EQ(report["windows_open"], json::array({"NorthwindGadget"}));
    ASSERT_EQ(report["boxes"].size(), 1u);
    EXPECT_EQ(report["boxes"][0]["text"], "Cannot proceed because Gadget is currently running. Please close Gadget "
                                          "before installing the Gadget 3.0 Upgrade.");
    EXPECT_EQ(report["completed"], false);
    EXPECT_TRUE(report["files"].empty());
    for (const json& value : report["registry"])
        EXPECT_EQ(value["exists"], false) << value.dump();
    EXPECT_EQ(read_file(in_prefix("Program Files/Gadget/GADGET.EXE")), read_file(dir_ / "release/GADGET.EXE"));
    fs::remove_all(prefix_.parent_path());
}

TEST_F(TryCommand, ShowsAFileInUseWaitingForTheRestartAndReplacedAfterIt)
{
    const json report = trial({"--answer", "yes", "--in-use", "GADGET.EXE"}, 0);
    EXPECT_EQ(report["boxes"][0]["answered"], "Yes");
    EXPECT_EQ(report["kit_exit"], 1);
    // Held in use, the program is not replaced at once: its new version
    // waits in the temporary folder, and the system's list holds the
    // replacement.
    ASSERT_EQ(report["pending"].size(), 2u) << report.dump();
    EXPECT_EQ(report["pending"][0]["source"], "\\??\\C:\\Program Files\\Gadget\\GADGET.EXE");
    EXPECT_EQ(report["pending"][0]["target"], "");
    EXPECT_EQ(report["pending"][1]["target"], "\\??\\C:\\Program Files\\Gadget\\GADGET.EXE");
    EXPECT_TRUE(file_entry(report, "C:\\Program Files\\Gadget\\GADGET.EXE").is_null());

    ASSERT_TRUE(report.contains("restart"));
    const json& restart = report["restart"];
    EXPECT_TRUE(restart["pending"].empty());
    bool replaced = false;
    for (const json& file : restart["files"])
        replaced |= file["path"] == "C:\\Program Files\\Gadget\\GADGET.EXE" && file["change"] == "replaced";
    EXPECT_TRUE(replaced) << restart.dump();
    EXPECT_EQ(read_file(in_prefix("Program Files/Gadget/GADGET.EXE")), read_file(dir_ / "payload/GADGET.EXE"));
    fs::remove_all(prefix_.parent_path());
}

TEST_F(TryCommand, RefusesAReleaseWhoseFileDiffersByOneByteAndLeavesNothingBehind)
{
    std::vector<std::uint8_t> program = read_file(dir_ / "release/GADGET.EXE");
    program[100] ^= 1;
    write_file(dir_ / "release/GADGET.EXE", program);
    const ToolResult run = upkit({"try", kit().string(), "--installed", (dir_ / "release").string(), "--headless",
                                  "--screenshots", (dir_ / "shots").string()});
    EXPECT_EQ(run.code, 1) << run.err;
    EXPECT_NE(run.out.find("Gadget 3.0 Upgrade: \"Cannot find a qualifying version of the product to upgrade.\"  [OK]"),
              std::string::npos)
        << run.out;
    EXPECT_NE(run.out.find("Files written or replaced:\n  none\n"), std::string::npos) << run.out;
    EXPECT_NE(run.out.find("The kit did not complete an install."), std::string::npos);
    EXPECT_TRUE(fs::is_empty(dir_ / "tmp"));
}

TEST_F(TryCommand, NamesThePackageOfAMissingWineOrXvfbInOneLine)
{
    // A PATH with Wine and its server but no Xvfb.
    fs::create_directories(dir_ / "bin");
    for (const char* name : {"wine", "wine64", "wineserver"})
        if (const char* found = std::getenv("PATH")) {
            std::string path = found;
            for (std::size_t start = 0, colon = 0; colon != std::string::npos; start = colon + 1) {
                colon = path.find(':', start);
                const fs::path candidate = fs::path(path.substr(start, colon - start)) / name;
                if (fs::exists(candidate)) {
                    fs::create_symlink(candidate, dir_ / "bin" / name);
                    break;
                }
            }
        }
    const std::vector<std::string> args = {"try", kit().string(), "--installed", (dir_ / "release").string()};
    ToolResult run = upkit(args, (dir_ / "bin").string());
    EXPECT_EQ(run.code, 3);
    EXPECT_EQ(run.err, "upkit: try: Xvfb is not on PATH, and without a display the kit runs on one: install the "
                       "Debian package xvfb\n");
    run = upkit(args, (dir_ / "payload").string());
    EXPECT_EQ(run.code, 3);
    EXPECT_EQ(run.err, "upkit: try: Wine is not on PATH: install the Debian packages wine and wine64\n");
    EXPECT_EQ(run.out, "");
    EXPECT_TRUE(fs::is_empty(dir_ / "tmp"));
}

TEST_F(TryCommand, RefusesBadArgumentsBeforeAnythingRuns)
{
    const std::string release = (dir_ / "release").string();
    struct Case {
        std::vector<std::string> args;
        int code;
        std::string err;
    };
    const std::vector<Case> cases = {
        {{"--installed", release, "--release", "2"}, 2, "upkit: --release 2: the kit has 1 AppVersions row\n"},
        {{"--installed", (dir_ / "nowhere").string()},
         3,
         "upkit: --installed " + (dir_ / "nowhere").string() + ": no such folder\n"},
        {{"--installed", release, "--in-use", "MISSING.DLL"},
         2,
         "upkit: --in-use MISSING.DLL: no such file in " + release + "\n"},
    };
    for (const Case& c : cases) {
        std::vector<std::string> args = {"try", kit().string()};
        args.insert(args.end(), c.args.begin(), c.args.end());
        const ToolResult run = upkit(args);
        EXPECT_EQ(run.code, c.code) << c.err;
        EXPECT_EQ(run.err, c.err);
    }
    const ToolResult wrong = upkit({"try", kit().string(), "--installed", release, "--answer", "maybe"});
    EXPECT_EQ(wrong.code, 2);
    EXPECT_TRUE(fs::is_empty(dir_ / "tmp"));
}

// A kit planned from two releases knows each of them by the checksum of its
// copy of the program, as the kit itself computes it: each release qualifies
// under its own AppVersions row and gets the changed and the added file, and a
// copy whose program differs by one byte is refused.
TEST_F(TryCommand, APlannedKitQualifiesEachReleaseAndRefusesOneByteOff)
{
    const std::vector<std::uint8_t> program = read_file(kRuntimes / "kit-runtime-win32.exe");
    std::vector<std::uint8_t> second = program;
    second[200] ^= 0x5A;
    for (const char* release : {"1.0", "2.0", "3.0"})
        fs::create_directories(dir_ / release);
    write_file(dir_ / "1.0/GADGET.EXE", program);
    write_file(dir_ / "2.0/GADGET.EXE", second);
    fs::copy_file(kRuntimes / "kit-runtime-win64.exe", dir_ / "3.0/GADGET.EXE");
    for (const char* release : {"1.0", "2.0", "3.0"})
        write_file(dir_ / release / "README.TXT", std::string("Gadget\r\n"));
    write_file(dir_ / "3.0/NOTES.TXT", std::string("What is new in Gadget 3.0\r\n"));

    const ToolResult planned = upkit({"plan",      (dir_ / "3.0").string(),
                                      "--from",    "1.0=" + (dir_ / "1.0").string(),
                                      "--from",    "2.0=" + (dir_ / "2.0").string(),
                                      "--key",     "Software\\Northwind\\Gadget",
                                      "--value",   "Path",
                                      "--file",    "GADGET.EXE",
                                      "--product", "Gadget",
                                      "--title",   "Gadget 3.0 Upgrade",
                                      "--maker",   "Northwind Tools",
                                      "--welcome", "Welcome to the Gadget 3.0 Upgrade kit.",
                                      "-o",        (dir_ / "planned.toml").string()});
    ASSERT_EQ(planned.code, 0) << planned.err;
    const fs::path planned_kit = dir_ / "planned.exe";
    const ToolResult built = upkit({"build", (dir_ / "planned.toml").string(), "-o", planned_kit.string(), "--arch",
                                    "win64", "--runtime", (kRuntimes / "kit-runtime-win64.exe").string()});
    ASSERT_EQ(built.code, 0) << built.err;

    for (const auto& [release, row] : {std::pair{"1.0", "1"}, std::pair{"2.0", "2"}}) {
        const ToolResult run = upkit({"try", planned_kit.string(), "--installed", (dir_ / release).string(),
                                      "--release", row, "--headless", "--json"});
        EXPECT_EQ(run.code, 0) << release << ": " << run.err;
        const json report = json::parse(run.out, nullptr, false);
        ASSERT_FALSE(report.is_discarded()) << run.out << run.err;
        EXPECT_EQ(report["completed"], true) << release;
        // README.TXT is the same in every release: the kit leaves it alone.
        ASSERT_EQ(report["files"].size(), 2u) << release << ": " << report["files"].dump();
        EXPECT_EQ(file_entry(report, "C:\\Program Files\\Gadget\\GADGET.EXE")["change"], "replaced") << release;
        EXPECT_EQ(file_entry(report, "C:\\Program Files\\Gadget\\NOTES.TXT")["change"], "new") << release;
    }

    std::vector<std::uint8_t> off_by_one = program;
    off_by_one[100] ^= 1;
    write_file(dir_ / "1.0/GADGET.EXE", off_by_one);
    const ToolResult refused = upkit({"try", planned_kit.string(), "--installed", (dir_ / "1.0").string(), "--release",
                                      "1", "--headless", "--screenshots", (dir_ / "shots").string()});
    EXPECT_EQ(refused.code, 1) << refused.err;
    EXPECT_NE(refused.out.find("\"Cannot find a qualifying version of the product to upgrade.\""), std::string::npos)
        << refused.out;
    EXPECT_NE(refused.out.find("Files written or replaced:\n  none\n"), std::string::npos) << refused.out;
}
