// `upkit build`: a kit program from a manifest and the prebuilt runtime, read
// back with the kit reader; refusals and warnings that name the manifest's
// line; reproducible bytes; the signing step.

#include <gtest/gtest.h>

#include <cstdlib>

#include "kit_contents.h"
#include "kit_resource_ids.h"
#include "test_files.h"
#include "tool_run.h"

using upkit::test::read_file;
using upkit::test::run_tool;
using upkit::test::TempDir;
using upkit::test::test_data;
using upkit::test::ToolRun;
using upkit::test::write_file;
namespace fs = std::filesystem;

namespace {

// The demo kit's picture and icon, by absolute path.
std::string demo_file(const char* name)
{
    return (fs::path(DEMO_KIT_FOLDER) / name).generic_string();
}

const char* const kFace = R"([kit]
title = "Gadget 3.0 Upgrade"
maker = "Northwind Tools"
product = "Gadget"
welcome = "Welcome to the Gadget 3.0 Upgrade kit. This kit will:"
internal_name = "GADUPG30"
legal = "Copyright (C) 1998 Northwind Tools"
file_time = 1998-04-01T12:00:00
)";

class BuildCommand : public ::testing::Test {
protected:
    void SetUp() override
    {
        write_file(dir_ / "payload/GADGET.TXT", std::string("Gadget 3.0\r\n"));
        ::unsetenv("SOURCE_DATE_EPOCH");
    }

    // A manifest with the face above, the demo picture and icon, and `rest`.
    fs::path manifest(const std::string& rest, const std::string& face = kFace)
    {
        const fs::path path = dir_ / "kit.toml";
        write_file(path, face + "bitmap = \"" + demo_file("kit.bmp") + "\"\nicon = \"" + demo_file("kit.ico") + "\"\n" +
                             rest);
        return path;
    }

    ToolRun build(const fs::path& manifest_path, const std::string& arch = "win32", std::vector<std::string> extra = {})
    {
        std::vector<std::string> args = {"build",     manifest_path.string(),
                                         "-o",        kit().string(),
                                         "--arch",    arch,
                                         "--runtime", test_data("kits/kit-runtime-" + arch + ".exe").string()};
        args.insert(args.end(), extra.begin(), extra.end());
        return run_tool(args);
    }

    fs::path kit() const { return dir_ / "kit.exe"; }

    TempDir dir_;
};

const char* const kRows = R"(
[[app_versions]]
display = "Detected Gadget 2.0"
key = 'Software\Northwind\Gadget'
value = "Path"
file = "GADGET.EXE"
checksum = 0x1234

[[windows]]
display = "Gadget"
class = "NorthwindGadget"

[[archives]]
id = 2001
progress = "Installing Gadget..."
content = ["payload/GADGET.TXT"]

[[registry]]
root = "HKLM"
key = 'Software\Northwind\Gadget'
value = "Version"
type = "REG_SZ"
data = "3.0"
)";

}  // namespace

TEST_F(BuildCommand, MakesAKitThatCarriesWhatTheManifestSays)
{
    for (const char* arch : {"win32", "win64"}) {
        SCOPED_TRACE(arch);
        const ToolRun run = build(manifest(kRows), arch);
        ASSERT_EQ(run.code, 0) << run.err;
        // A win64 kit is right only for a 64-bit product: said every time.
        EXPECT_EQ(run.err, std::string(arch) == "win64" ? "upkit: note: a win64 kit is for a 64-bit product: it reads "
                                                          "the 64-bit registry view and installs system files to the "
                                                          "64-bit system folder\n"
                                                        : "");

        const upkit::kitread::KitContents contents = upkit::kitread::read_kit_file(kit());
        EXPECT_TRUE(contents.missing.empty()) << contents.missing.front();
        EXPECT_TRUE(contents.damaged.empty());
        EXPECT_EQ(contents.strings.at(IDS_TITLE), "Gadget 3.0 Upgrade");
        EXPECT_EQ(contents.strings.at(IDS_INITIALIZING), "Initializing...");
        ASSERT_TRUE(contents.dialog);
        EXPECT_EQ(contents.dialog->caption, "Northwind Tools Gadget 3.0 Upgrade");
        EXPECT_EQ(contents.dialog->controls.at(1).text.text, "Welcome to the Gadget 3.0 Upgrade kit. This kit will:");
        ASSERT_TRUE(contents.version);
        ASSERT_TRUE(contents.tables.app_versions && contents.tables.windows && contents.tables.archives &&
                    contents.tables.registry);
        EXPECT_EQ(contents.tables.app_versions->at(0).checksum, 0x1234);
        EXPECT_EQ(contents.tables.windows->at(0).window_class, "NorthwindGadget");
        EXPECT_EQ(contents.tables.registry->at(0).data, "3.0");
        ASSERT_EQ(contents.archives.size(), 1u);
        EXPECT_EQ(contents.archives[0].id, 2001);
        EXPECT_EQ(contents.archives[0].row, 1);
        ASSERT_TRUE(contents.icon);
        EXPECT_EQ(contents.icon->images.size(), 2u);
    }
}

TEST_F(BuildCommand, GivesTheSameBytesEveryTimeAndTakesItsStampFromTheEnvironment)
{
    const fs::path path = manifest(kRows);
    ASSERT_EQ(build(path).code, 0);
    const std::vector<std::uint8_t> first = read_file(kit());
    ASSERT_EQ(build(path).code, 0);
    EXPECT_EQ(read_file(kit()), first);

    ::setenv("SOURCE_DATE_EPOCH", "883612800", 1);
    ASSERT_EQ(build(path).code, 0);
    ::unsetenv("SOURCE_DATE_EPOCH");
    const upkit::kitread::KitContents stamped = upkit::kitread::read_kit_file(kit());
    EXPECT_EQ(stamped.coff.time_stamp, 883612800u);
}

TEST_F(BuildCommand, LeavesOutTheTablesAndArchivesTheManifestSays)
{
    const std::string face = std::string(kFace) + "tables = [\"AppVersions\", \"ArchiveList\"]\n";
    const ToolRun run = build(manifest(kRows + std::string(R"(
[[archives]]
id = 2002
progress = "Not carried"
carried = false
)"),
                                       face));
    ASSERT_EQ(run.code, 0) << run.err;
    const upkit::kitread::KitContents contents = upkit::kitread::read_kit_file(kit());
    EXPECT_FALSE(contents.tables.windows);
    EXPECT_FALSE(contents.tables.registry);
    ASSERT_TRUE(contents.tables.archives);
    EXPECT_EQ(contents.tables.archives->size(), 2u);
    EXPECT_EQ(contents.archives.size(), 1u);
    EXPECT_FALSE(contents.missing.empty());
}

TEST_F(BuildCommand, RefusesWhatAKitCannotBeBuiltFromNamingTheLine)
{
    // No welcome paragraph: the [kit] table's line.
    ToolRun run = build(manifest(kRows, "[kit]\ntitle = \"T\"\n"));
    EXPECT_EQ(run.code, 1);
    EXPECT_NE(run.err.find("kit.toml:1: [kit] welcome: missing"), std::string::npos) << run.err;

    // Every missing field at once.
    run = build(manifest(kRows, "[kit]\nmaker = \"M\"\n"));
    EXPECT_EQ(run.code, 1);
    EXPECT_EQ(run.err, "upkit: " + (dir_ / "kit.toml").string() +
                           ":1: [kit]: missing fields title, welcome: a kit program needs them\n");

    // A picture that is none, and one that is missing: the bitmap's line,
    // once.
    write_file(dir_ / "bad.bmp", std::string("not a bitmap"));
    const std::string face = std::string(kFace) + "bitmap = \"bad.bmp\"\n";
    write_file(dir_ / "kit.toml", face + kRows);
    run = build(dir_ / "kit.toml");
    EXPECT_EQ(run.code, 1);
    EXPECT_EQ(run.err, "upkit: " + (dir_ / "kit.toml").string() +
                           ":9: [kit] bitmap: bad.bmp: not a Windows bitmap "
                           "(.bmp) file\n");
    write_file(dir_ / "kit.toml", std::string(kFace) + "bitmap = \"gone.bmp\"\n" + kRows);
    run = build(dir_ / "kit.toml");
    EXPECT_EQ(run.code, 1);
    EXPECT_EQ(run.err, "upkit: " + (dir_ / "kit.toml").string() + ":9: [kit] bitmap: " + (dir_ / "gone.bmp").string() +
                           ": cannot open the file: No such file or directory\n");

    // Archive ids twice: the second row's id line.
    run = build(manifest(kRows + std::string("\n[[archives]]\nid = 2001\nprogress = \"Again\"\ncontent = "
                                             "[\"payload/GADGET.TXT\"]\n")));
    EXPECT_EQ(run.code, 1);
    EXPECT_NE(run.err.find("[[archives]] row 2, id: 2001 is also the id of row 1"), std::string::npos) << run.err;

    // A runtime of the other architecture.
    run = run_tool({"build", manifest(kRows).string(), "-o", kit().string(), "--arch", "win64", "--runtime",
                    test_data("kits/kit-runtime-win32.exe").string()});
    EXPECT_EQ(run.code, 1);
    EXPECT_NE(run.err.find("a runtime for win32, not for win64"), std::string::npos) << run.err;
    EXPECT_FALSE(fs::exists(kit()));
}

TEST_F(BuildCommand, WarnsAboutAPictureOfAnotherShapeAndATitleTheKitCuts)
{
    const std::string long_title(130, 'T');
    std::string face = kFace;
    face.replace(face.find("Gadget 3.0 Upgrade"), 18, long_title);
    const fs::path path = dir_ / "kit.toml";
    write_file(path, face + "bitmap = \"" + demo_file("payload/WIDGET.BMP") + "\"\nicon = \"" + demo_file("kit.ico") +
                         "\"\n" + kRows);
    const ToolRun run = build(path);
    ASSERT_EQ(run.code, 0) << run.err;
    EXPECT_NE(run.err.find("warning: "), std::string::npos) << run.err;
    EXPECT_NE(run.err.find("kit.toml:2: [kit] title: 130 characters"), std::string::npos) << run.err;
    EXPECT_NE(run.err.find("[kit] bitmap:"), std::string::npos) << run.err;
}

TEST_F(BuildCommand, WarnsAboutAWelcomeTheDialogCutsAndStillBuildsTheKit)
{
    std::string face = kFace;
    const std::string welcome =
        "Welcome to the Gadget 3.0 Upgrade kit from Northwind Tools. It brings your copy of Gadget 2.0 or 2.5a up to "
        "version 3.0 and keeps all your settings, templates and documents just as they were. This kit will:";
    face.replace(face.find("Welcome to the Gadget 3.0 Upgrade kit. This kit will:"), 53, welcome);
    const ToolRun run = build(manifest(kRows, face));
    ASSERT_EQ(run.code, 0) << run.err;
    EXPECT_NE(run.err.find("warning: "), std::string::npos) << run.err;
    EXPECT_NE(run.err.find("kit.toml:5: [kit] welcome: needs 5 lines in the dialog, which shows 3: the text is cut "
                           "after \"... and keeps all your\""),
              std::string::npos)
        << run.err;
    const upkit::kitread::KitContents contents = upkit::kitread::read_kit_file(kit());
    ASSERT_TRUE(contents.dialog);
    EXPECT_EQ(contents.dialog->controls.at(1).text.text, welcome);
}

TEST_F(BuildCommand, WarnsAboutAProgressTextTheDialogCuts)
{
    std::string rows = kRows;
    rows.replace(rows.find("Installing Gadget..."), 20,
                 "Installing the Gadget program, its help files and the sample documents...");
    const ToolRun run = build(manifest(rows));
    ASSERT_EQ(run.code, 0) << run.err;
    EXPECT_NE(run.err.find("[[archives]] row 1, progress: needs 2 lines in the dialog, which shows 1"),
              std::string::npos)
        << run.err;
}

TEST_F(BuildCommand, RunsTheSigningCommandOnTheFinishedKit)
{
    const fs::path path = manifest(kRows);
    // A stand-in signer: appends a mark to the file it is given.
    ToolRun run = build(path, "win32", {"--sign-command", "sh -c 'printf SIGNED >> \"$1\"' signer {}"});
    ASSERT_EQ(run.code, 0) << run.err;
    const std::vector<std::uint8_t> signed_kit = read_file(kit());
    ASSERT_GE(signed_kit.size(), 6u);
    EXPECT_EQ(std::string(signed_kit.end() - 6, signed_kit.end()), "SIGNED");

    // A signer that fails leaves no unsigned kit behind.
    run = build(path, "win32", {"--sign-command", "sh -c 'exit 3' signer {}"});
    EXPECT_EQ(run.code, 1);
    EXPECT_EQ(run.err, "upkit: the signing command ended with exit status 3; the unsigned kit was removed\n");
    EXPECT_FALSE(fs::exists(kit()));

    // One the shell cannot find, and one stopped by a signal.
    run = build(path, "win32", {"--sign-command", "no-such-signer-anywhere {}"});
    EXPECT_EQ(run.code, 1);
    EXPECT_NE(run.err.find("the signing command ended with exit status 127: the shell did not find the command"),
              std::string::npos)
        << run.err;
    run = build(path, "win32", {"--sign-command", "kill -9 $$ {}"});
    EXPECT_EQ(run.code, 1);
    EXPECT_NE(run.err.find("the signing command was stopped by signal 9 (Killed)"), std::string::npos) << run.err;
    EXPECT_FALSE(fs::exists(kit()));

    run = build(path, "win32", {"--sign-command", "true"});
    EXPECT_EQ(run.code, 1);
    EXPECT_NE(run.err.find("{}"), std::string::npos);
}

TEST_F(BuildCommand, WritesTheFilesItReadAsADependencyList)
{
    const fs::path depfile = dir_ / "kit.d";
    ASSERT_EQ(build(manifest(kRows), "win32", {"--depfile", depfile.string()}).code, 0);
    const std::vector<std::uint8_t> bytes = read_file(depfile);
    const std::string text(bytes.begin(), bytes.end());
    for (const std::string& input : {std::string("kit.toml"), std::string("GADGET.TXT"), std::string("kit.bmp"),
                                     std::string("kit.ico"), std::string("kit-runtime-win32.exe")})
        EXPECT_NE(text.find(input), std::string::npos) << input;

    // A manifest based on another, and a folder's files one by one: editing
    // any of them must make the kit again.
    write_file(dir_ / "base.toml", std::string(kFace));
    write_file(dir_ / "help/A.HLP", std::string("a"));
    write_file(dir_ / "help/sub/B.HLP", std::string("b"));
    write_file(dir_ / "own.toml", "[kit]\nbased_on = \"base.toml\"\n" + std::string(kRows) +
                                      "[[archives]]\nid = 2002\nprogress = \"Help\"\ncontent = [\"help\"]\n");
    const ToolRun run = build(dir_ / "own.toml", "win32", {"--depfile", depfile.string()});
    ASSERT_EQ(run.code, 0) << run.err;
    const std::vector<std::uint8_t> again = read_file(depfile);
    const std::string listed(again.begin(), again.end());
    for (const fs::path& input : {dir_ / "own.toml", dir_ / "base.toml", dir_ / "help", dir_ / "help/A.HLP",
                                  dir_ / "help/sub/B.HLP", dir_ / "payload/GADGET.TXT"}) {
        const std::string entry = "  " + fs::absolute(input).string();
        EXPECT_TRUE(listed.find(entry + " \\\n") != std::string::npos || listed.ends_with(entry + "\n"))
            << input << "\n"
            << listed;
    }
}

TEST_F(BuildCommand, StoresAContentFolderFilesBelowItWithoutItsName)
{
    write_file(dir_ / "help/A.HLP", std::string("a"));
    write_file(dir_ / "help/sub/B.HLP", std::string("b"));
    ASSERT_EQ(build(manifest("[[archives]]\nid = 1\nprogress = \"P\"\ncontent = [\"help\"]\n")).code, 0);
    const ToolRun listed = run_tool({"list", kit().string()});
    ASSERT_EQ(listed.code, 0) << listed.err;
    EXPECT_NE(listed.out.find(" A.HLP\n"), std::string::npos) << listed.out;
    EXPECT_NE(listed.out.find(" sub\\B.HLP\n"), std::string::npos) << listed.out;
    EXPECT_EQ(listed.out.find("help\\"), std::string::npos) << listed.out;
}
