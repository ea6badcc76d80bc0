// `upkit plan` on release trees made here: the manifest it writes builds a
// kit whose AppVersions rows carry the checksums `upkit checksum` gives and
// whose archives carry exactly the changed and added files, names compared as
// Windows compares them; what it cannot plan is one line, status 2, and no
// manifest.

#include <gtest/gtest.h>

#include <algorithm>
#include <nlohmann/json.hpp>
#include <regex>

#include "kit_contents.h"
#include "test_files.h"
#include "text_codec.h"
#include "tool_run.h"

using upkit::test::read_file;
using upkit::test::run_tool;
using upkit::test::TempDir;
using upkit::test::test_data;
using upkit::test::ToolRun;
using upkit::test::write_file;
namespace fs = std::filesystem;

namespace {

bool contains(const std::string& text, std::string_view part)
{
    return text.find(part) != std::string::npos;
}

std::string text_of(const fs::path& file)
{
    const std::vector<std::uint8_t> bytes = read_file(file);
    return std::string(bytes.begin(), bytes.end());
}

const char* const kKey = "Software\\Brightfield\\Widget";

class PlanCommand : public ::testing::Test {
protected:
    // Two old releases and the new one. Per file, its contents in 2.0, 2.0a
    // and 2.1 ("" where the release lacks it).
    void SetUp() override
    {
        const struct {
            const char* name;
            const char* in_20;
            const char* in_20a;
            const char* in_21;
        } files[] = {
            {"WIDGET.EXE", "widget 2.0", "", "widget 2.1"},           // changed
            {"widget.exe", "", "widget 2.0a build", ""},              // 2.0a's copy, named in lower case
            {"README.TXT", "readme", "readme", "readme"},             // left out
            {"notes.txt", "notes", "", ""},                           // left out: the same name to Windows
            {"NOTES.TXT", "", "notes", ""},                           //
            {"Notes.Txt", "", "", "notes"},                           //
            {"\xc3\x89T\xc3\x89.TXT", "summer", "summer", ""},        // left out: ÉTÉ.TXT is été.txt
            {"\xc3\xa9t\xc3\xa9.txt", "", "", "summer"},              //
            {"CONFIG.INI", "config", "", "config"},                   // changed: missing from 2.0a
            {"Help/WIDGET.HLP", "help 2.0", "help 2.1", "help 2.1"},  // changed from 2.0 only
            {"Help/Th\xc3\xa8me.ini", "", "", "[Theme]"},             // added, outside ASCII
            {"NEW.DLL", "", "", "new"},                               // added
            {"system/WIDGETRT.DLL", "rt 2.0", "rt 2.0", "rt 2.1"},    // changed, for the system folder
            {"system/COMMON.DLL", "common", "common", "common"},      // left out
            {"win/WIDGET.INI", "", "", "[Widget]"},                   // added, for the Windows folder
            {"OLD.DLL", "old", "", ""},                               // removed
            {"Help/OLD.HLP", "old help", "old help", ""},             // removed
        };
        for (const auto& file : files)
            for (const auto& [release, text] :
                 {std::pair{"2.0", file.in_20}, std::pair{"2.0a", file.in_20a}, std::pair{"2.1", file.in_21}})
                if (*text)
                    write_file(dir_.path() / upkit::path_from_utf8(std::string("rel/") + release + "/" + file.name),
                               std::string(text));
    }

    std::string path(const std::string& relative) const { return (dir_ / relative).string(); }

    // A plan of 2.1 from 2.0 and 2.0a with `extra`, and --file and -o unless
    // `extra` gives them.
    std::vector<std::string> plan_args(const std::vector<std::string>& extra = {}) const
    {
        std::vector<std::string> args = {"plan",    path("rel/2.1"),
                                         "--from",  "2.0=" + path("rel/2.0"),
                                         "--from",  "2.0a=" + path("rel/2.0a"),
                                         "--key",   kKey,
                                         "--value", "InstallDir"};
        args.insert(args.end(), extra.begin(), extra.end());
        const auto given = [&](const char* option) { return std::count(extra.begin(), extra.end(), option) > 0; };
        if (!given("--file"))
            args.insert(args.end(), {"--file", "WIDGET.EXE"});
        if (!given("-o"))
            args.insert(args.end(), {"-o", manifest().string()});
        return args;
    }

    ToolRun build(const fs::path& manifest_path) const
    {
        return run_tool({"build", manifest_path.string(), "-o", kit().string(), "--runtime",
                         test_data("kits/kit-runtime-win32.exe").string()});
    }

    fs::path manifest() const { return dir_ / "kits/widget.toml"; }
    fs::path kit() const { return dir_ / "kits/widget.exe"; }

    TempDir dir_;
};

TEST_F(PlanCommand, ThePlannedKitQualifiesEachReleaseAndCarriesWhatChanged)
{
    fs::create_directories(dir_ / "kits");
    const ToolRun planned = run_tool(
        plan_args({"--product", "Widget", "--system", "system", "--windows", "win", "--title", "Widget 2.1 Upgrade",
                   "--maker", "Brightfield Software", "--welcome", "Welcome to the Widget 2.1 Upgrade kit."}));
    ASSERT_EQ(planned.code, 0) << planned.err;
    EXPECT_EQ(planned.out, manifest().string() + ": 4 changed, 3 added, 4 left out of 11 files; 3 archives\n");
    EXPECT_EQ(planned.err,
              "upkit: warning: Help\\OLD.HLP is in release 2.0 and 2.0a but not in the new one: the kit cannot delete "
              "it\nupkit: warning: OLD.DLL is in release 2.0 but not in the new one: the kit cannot delete it\n");

    const std::string text = text_of(manifest());
    EXPECT_TRUE(contains(text, "# 11 files in ../rel/2.1: 4 changed, 3 added, 4 left out")) << text;
    EXPECT_TRUE(contains(text, "#   Help\\OLD.HLP (2.0 and 2.0a)\n#   OLD.DLL (2.0)\n")) << text;
    EXPECT_TRUE(contains(text, "{ file = '../rel/2.1/CONFIG.INI', name = 'CONFIG.INI' },  # missing from 2.0a\n"))
        << text;
    EXPECT_TRUE(contains(text, "name = 'Help\\WIDGET.HLP' },  # changed from 2.0\n")) << text;
    EXPECT_TRUE(contains(text, "checksum = 0x")) << text;
    EXPECT_FALSE(contains(text, "<fill in:")) << text;

    const ToolRun built = build(manifest());
    ASSERT_EQ(built.code, 0) << built.err;

    // One AppVersions row per release, in order, with the checksum of its
    // copy of the file as `upkit checksum` gives it.
    const ToolRun summed = run_tool({"checksum", "--json", path("rel/2.0/WIDGET.EXE"), path("rel/2.0a/widget.exe")});
    ASSERT_EQ(summed.code, 0) << summed.err;
    const nlohmann::json sums = nlohmann::json::parse(summed.out)["files"];
    EXPECT_NE(sums[0]["checksum"], sums[1]["checksum"]);
    const ToolRun inspected = run_tool({"inspect", kit().string(), "--json"});
    ASSERT_EQ(inspected.code, 0) << inspected.err;
    const nlohmann::json rows = nlohmann::json::parse(inspected.out)["tables"]["AppVersions"];
    ASSERT_EQ(rows.size(), 2u) << inspected.out;
    const char* const displays[] = {"Detected Widget 2.0", "Detected Widget 2.0a"};
    for (std::size_t r = 0; r < 2; ++r) {
        EXPECT_EQ(rows[r]["display"], displays[r]);
        EXPECT_EQ(rows[r]["key"], kKey);
        EXPECT_EQ(rows[r]["value"], "InstallDir");
        EXPECT_EQ(rows[r]["file"], "WIDGET.EXE");
        EXPECT_EQ(rows[r]["checksum"], sums[r]["checksum"]);
    }

    // The archives hold the changed and added files, with their subfolders,
    // and nothing else.
    const ToolRun listed = run_tool({"list", kit().string(), "--json"});
    ASSERT_EQ(listed.code, 0) << listed.err;
    const nlohmann::json archives = nlohmann::json::parse(listed.out)["archives"];
    ASSERT_EQ(archives.size(), 3u) << listed.out;
    const struct {
        int id;
        int base;
        std::vector<std::string> members;
    } expected[] = {
        {2001, 0, {"CONFIG.INI", "Help\\Th\xc3\xa8me.ini", "Help\\WIDGET.HLP", "NEW.DLL", "WIDGET.EXE"}},
        {2002, 2, {"WIDGETRT.DLL"}},
        {2003, 1, {"WIDGET.INI"}},
    };
    for (std::size_t a = 0; a < 3; ++a) {
        EXPECT_EQ(archives[a]["id"], expected[a].id);
        EXPECT_EQ(archives[a]["base"], expected[a].base);
        std::vector<std::string> names;
        for (const nlohmann::json& member : archives[a]["members"])
            names.push_back(member["name"]);
        EXPECT_EQ(names, expected[a].members) << a;
    }

    // Each member is the new release's file.
    const ToolRun extracted = run_tool({"extract", kit().string(), "-d", path("out"), "-q"});
    ASSERT_EQ(extracted.code, 0) << extracted.err;
    EXPECT_EQ(text_of(dir_ / "out/archive-2001/WIDGET.EXE"), "widget 2.1");
    EXPECT_EQ(text_of(dir_ / "out/archive-2002/WIDGETRT.DLL"), "rt 2.1");
}

TEST_F(PlanCommand, PlaceholdersKeepTheKitFromBuildingUntilFilled)
{
    fs::create_directories(dir_ / "kits");
    const ToolRun planned = run_tool(plan_args());
    ASSERT_EQ(planned.code, 0) << planned.err;
    std::string text = text_of(manifest());

    const ToolRun refused = build(manifest());
    EXPECT_EQ(refused.code, 1);
    EXPECT_TRUE(std::regex_search(refused.err, std::regex("widget\\.toml:[0-9]+: \\[kit\\] title: still the "
                                                          "placeholder \"<fill in: [^\"]+>\": replace it")))
        << refused.err;
    EXPECT_FALSE(fs::exists(kit()));

    // Every placeholder replaced, and nothing else changed: the kit builds,
    // with the built-in picture and icon.
    const std::regex placeholder("\"<fill in: [^\"]*>\"|'<fill in: [^']*>'");
    const std::ptrdiff_t count =
        std::distance(std::sregex_iterator(text.begin(), text.end(), placeholder), std::sregex_iterator());
    EXPECT_EQ(count, 6) << text;  // title, maker, product, welcome and two displays
    text = std::regex_replace(text, placeholder, "\"Widget\"");
    write_file(manifest(), text);
    const ToolRun built = build(manifest());
    ASSERT_EQ(built.code, 0) << built.err;
    const upkit::kitread::KitContents contents = upkit::kitread::read_kit_file(kit());
    EXPECT_TRUE(contents.missing.empty()) << contents.missing.front();
    ASSERT_TRUE(contents.icon);
    EXPECT_EQ(contents.icon->images.size(), 2u);
    ASSERT_TRUE(contents.tables.archives);
    EXPECT_EQ(contents.tables.archives->size(), 1u);  // no --system or --windows: one archive
}

TEST_F(PlanCommand, WhatCannotBePlannedIsOneLineStatusTwoAndNoManifest)
{
    fs::create_directories(dir_ / "kits");
    write_file(dir_ / "kits/file", std::string("a file"));
    const std::string out = manifest().string();
    const struct {
        std::vector<std::string> args;
        std::string says;
    } cases[] = {
        {{"plan", path("rel/2.2"), "--from", "2.0=" + path("rel/2.0"), "--key", kKey, "--file", "WIDGET.EXE", "-o",
          out},
         path("rel/2.2") + ": no such folder (the new release)"},
        {plan_args({"--from", "1.0=" + path("rel/1.0")}), path("rel/1.0") + ": no such folder (release 1.0)"},
        {plan_args({"--from", path("rel/2.0")}), "--from " + path("rel/2.0") + ": give LABEL=OLD_DIR"},
        {plan_args({"--from", "2.0A=" + path("rel/2.0")}), "--from 2.0A: the label is given twice (case ignored)"},
        {plan_args({"--file", "NEW.DLL"}),
         "release 2.0 (" + path("rel/2.0") + ") has no NEW.DLL, the file the kit checks"},
        {plan_args({"-o", path("nowhere/kit.toml")}), "cannot write the manifest: no such folder"},
        {plan_args({"-o", path("kits/file/kit.toml")}), "cannot write the manifest: no such folder"},
        {plan_args({"-o", path("kits")}), "a folder; give the manifest's file name"},
        // A folder that takes no new file, whoever runs the test.
        {plan_args({"-o", "/proc/kit.toml"}), "/proc/kit.toml: cannot write the file"},
        {plan_args({"-o", path("rel/2.1/kit.toml")}), "lies in the new release"},
        {plan_args({"-o", path("rel/2.0a/Help/kit.toml")}), "lies in release 2.0a"},
        {plan_args({"--system", "sys32"}), "--system sys32: " + path("rel/2.1/sys32") + " is no folder"},
        {plan_args({"--system", "system", "--windows", "SYSTEM/"}),
         "--windows SYSTEM/: the system and the Windows files need folders of their own"},
        {plan_args({"--system", "../2.0"}), "without . or .."},
        {plan_args({"--system", "system", "--file", "system/WIDGETRT.DLL"}),
         "lies in the system or Windows subfolder, but the kit looks for it below the install directory"},
        {plan_args({"--from", "2.1=" + path("rel/2.1/Help")}), "lie inside each other"},
        {plan_args({"--title", "\xe2\x98\x83 Upgrade"}), "--title \"\xe2\x98\x83 Upgrade\": holds a character"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.says);
        // An earlier manifest stays as it was.
        write_file(manifest(), std::string("# earlier\n"));
        const ToolRun run = run_tool(c.args);
        EXPECT_EQ(run.code, 2);
        EXPECT_EQ(run.out, "");
        EXPECT_TRUE(contains(run.err, c.says)) << run.err;
        EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), 1) << run.err;
        EXPECT_EQ(text_of(manifest()), "# earlier\n");
        EXPECT_FALSE(fs::exists(fs::path(manifest()).concat(".part")));
        for (const char* folder : {"nowhere", "rel/2.1/kit.toml", "rel/2.0a/Help/kit.toml"})
            EXPECT_FALSE(fs::exists(dir_ / folder)) << folder;
    }
}

TEST_F(PlanCommand, ReleasesTheKitCannotTellApartAreWarnedAbout)
{
    fs::create_directories(dir_ / "kits");
    // 0xFFFF summed: the checksum 0x0000, which a file the kit cannot open
    // has too. 2.0b is 2.0 again.
    write_file(dir_ / "rel/2.0/WIDGET.EXE", std::string("\xff\xff"));
    const ToolRun run = run_tool(plan_args({"--from", "2.0b=" + path("rel/2.0")}));
    ASSERT_EQ(run.code, 0) << run.err;
    for (const std::string& warning :
         {std::string("upkit: warning: release 2.0: WIDGET.EXE has the checksum 0x0000, which the kit also gives a "
                      "file it cannot open: it takes a machine without the file for release 2.0\n"),
          std::string("upkit: warning: releases 2.0 and 2.0b: WIDGET.EXE has the same checksum, 0x0000, in both: "
                      "the kit detects both as release 2.0, whose row comes first\n")})
        EXPECT_TRUE(contains(run.err, warning)) << run.err;
    EXPECT_FALSE(contains(run.err, "release 2.0a:")) << run.err;
    EXPECT_TRUE(contains(text_of(manifest()), "checksum = 0x0000  # of ../rel/2.0/WIDGET.EXE\n"));
}

TEST_F(PlanCommand, ANameTheKitCannotCarryIsRefusedByName)
{
    fs::create_directories(dir_ / "kits");
    write_file(dir_.path() / upkit::path_from_utf8("rel/2.1/Help/\xe2\x98\x83.txt"), std::string("snow"));
    const ToolRun run = run_tool(plan_args());
    EXPECT_EQ(run.code, 1);
    EXPECT_EQ(run.err, "upkit: " + (dir_.path() / upkit::path_from_utf8("rel/2.1/Help/\xe2\x98\x83.txt")).string() +
                           ": the name cannot be stored: it holds a character that Windows-1252, the archive's "
                           "character set, lacks\n");
    EXPECT_FALSE(fs::exists(manifest()));
}

}  // namespace
