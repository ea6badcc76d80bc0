// upkit inspect on the demo kit, on kits with parts missing or damaged, and
// on files that are not kits at all.

#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "demo_kit.h"
#include "test_files.h"
#include "tool_run.h"

namespace upkit::test {
namespace {

ToolRun run_inspect(std::vector<std::string> args)
{
    args.insert(args.begin(), "inspect");
    return run_tool(std::move(args));
}

std::string demo_kit_path(const std::string& arch)
{
    return test_data("kits/demo-kit-" + arch + ".exe").string();
}

void expect_lines(const std::string& text, const std::vector<std::string>& lines)
{
    for (const std::string& line : lines)
        EXPECT_NE(text.find(line + "\n"), std::string::npos) << "no line: " << line << "\n" << text;
}

TEST(InspectCommand, ShowsTheDemoKitAsText)
{
    const ToolRun run = run_inspect({demo_kit_path("win32")});
    ASSERT_EQ(run.code, 0) << run.err;
    EXPECT_EQ(run.err, "");
    expect_lines(run.out,
                 {
                     demo_kit_path("win32") +
                         ": PE32 image for i386, Windows GUI subsystem 4.0, 7 sections, 15 resources",
                     "  file version     1.10.0.0",
                     "    CompanyName      \"Brightfield Software\"",
                     "  translation      0x0409 0x04E4",
                     "   1003  \"Initializing...\"",
                     "  caption    \"Brightfield Widget 2.1 Upgrade\"",
                     "  font       8 pt \"Helv\"",
                     "      213  \"MSCTLS_PROGRESS32\"   136,  152,  152 x 12    style 0x50000000  \"\"",
                     "        1  Button                224,  182,   60 x 14    style 0x50010001  \"&Install\"",
                     "  16 x 16, 16 colours, 4 bits per pixel, 296 bytes: icon 2",
                     "WindowList: 2 rows",
                     "    2  \"Widget Monitor\"  class \"BrightfieldWidgetMonitor\"  title \"\"",
                     "    3  \"Installing Widget help...\"  install directory (0)  subdirectory \"Help\"  archive 2003",
                     "    8  HKEY_LOCAL_MACHINE (2)  \"Software\\Brightfield\\Widget\\2.1\\Settings\"  value "
                     "\"MonitorInterval\"  "
                     "REG_DWORD (4)  \"-1\"",
                     "Archive 2001 (ArchiveList row 1): 7318 bytes, 2 members, window 15 bits, version bytes 0 97",
                     "         848  1997-09-15 02:10:00  README.TXT",
                     "Archive 2004 (ArchiveList row 4): 1012 bytes, 1 members, window 15 bits, version bytes 0 97",
                     "Nothing missing: the file has every resource a kit needs, and no others.",
                 });
}

TEST(InspectCommand, GivesTheSameAsOneJsonObject)
{
    const ToolRun run = run_inspect({"--json", demo_kit_path("win64")});
    ASSERT_EQ(run.code, 0) << run.err;
    const nlohmann::json report = nlohmann::json::parse(run.out);
    EXPECT_EQ(report["file"], demo_kit_path("win64"));
    EXPECT_EQ(report["image"]["format"], "PE32+");
    EXPECT_EQ(report["image"]["machine"], "x86-64");
    EXPECT_EQ(report["resources"].size(), 15u);
    EXPECT_EQ(report["resources"][0]["type"], "ARCHIVE");
    EXPECT_EQ(report["resources"][0]["name"], 2001);
    EXPECT_EQ(report["resources"][9]["name"], "APPVERSIONS");
    EXPECT_EQ(report["version"]["file_version"], "1.10.0.0");
    EXPECT_EQ(report["version"]["string_tables"][0]["values"]["InternalName"], "WIDUPG21");
    EXPECT_EQ(report["version"]["translations"][0]["code_page"], 1252);
    EXPECT_EQ(report["strings"]["1004"], "Error %d transferring file %s.");
    EXPECT_EQ(report["dialog"]["caption"], "Brightfield Widget 2.1 Upgrade");
    EXPECT_EQ(report["dialog"]["controls"][0]["class"], "STATIC");
    EXPECT_EQ(report["dialog"]["controls"][1]["class"], 0x82);
    EXPECT_EQ(report["dialog"]["controls"][1]["class_name"], "Static");
    EXPECT_EQ(report["dialog"]["controls"][11]["text"], "&Install");
    EXPECT_EQ(report["icon"]["images"][1]["icon_id"], 2);
    EXPECT_EQ(report["tables"]["AppVersions"][1]["display"], "Detected Widget 2.0a");
    EXPECT_EQ(report["tables"]["ArchiveList"][1]["base_name"], "system directory");
    EXPECT_EQ(report["tables"]["RegistryList"][11]["root_name"], "HKEY_CLASSES_ROOT");
    ASSERT_EQ(report["archives"].size(), 4u);
    EXPECT_EQ(report["archives"][2]["members"][0]["name"], "WIDGET.HLP");
    EXPECT_EQ(report["archives"][2]["members"][0]["modified"], "1997-09-15 02:10:00");
    EXPECT_EQ(report["archives"][2]["row"], 3);
    EXPECT_TRUE(report["missing"].empty());
    EXPECT_TRUE(report["damaged"].empty());
    EXPECT_TRUE(report["unexpected"].empty());
}

// Missing parts are findings, not failures: the file was read.
TEST(InspectCommand, ReportsMissingAndDamagedPartsOfAReadableKit)
{
    std::vector<pe::Resource> resources = demo_kit_resources("win32");
    std::erase_if(resources, [](const pe::Resource& r) { return r.type == pe::ResourceKey::of(pe::kTypeVersion); });
    for (pe::Resource& r : resources) {
        if (r.type == pe::ResourceKey::named("ARCHIVE") && r.name == pe::ResourceKey::of(2002))
            r.data.resize(12);  // the header and the start of the directory
    }
    TempDir dir;
    write_file(dir / "kit.exe", image_with_resources(resources));

    const ToolRun run = run_inspect({(dir / "kit.exe").string()});
    ASSERT_EQ(run.code, 0) << run.err;
    expect_lines(run.out, {
                              "Archive 2002 (ArchiveList row 2): 12 bytes, cannot be listed: its directory runs past "
                              "the end of the resource",
                              "missing: version block 1 (RT_VERSION)",
                          });
    EXPECT_EQ(run.out.find("Version block"), std::string::npos);

    const ToolRun json = run_inspect({"--json", (dir / "kit.exe").string()});
    ASSERT_EQ(json.code, 0) << json.err;
    const nlohmann::json report = nlohmann::json::parse(json.out);
    EXPECT_TRUE(report["version"].is_null());
    EXPECT_EQ(report["missing"], nlohmann::json::array({"version block 1 (RT_VERSION)"}));
    EXPECT_FALSE(report["archives"][1]["readable"]);
    EXPECT_TRUE(report["archives"][2]["readable"]);  // the next archive is read as before
}

TEST(InspectCommand, FailsWithOneLineForWhatIsNotAReadablePeFile)
{
    TempDir dir;
    const std::vector<std::pair<std::string, std::string>> cases = {
        {(dir / "missing.exe").string(), "cannot be read"},
        {test_data("conformance/v01_text/archive.kw").string(), "not an executable"},
    };
    Bytes damaged = demo_kit_bytes("win32");
    damaged.resize(0x300);
    write_file(dir / "cut.exe", damaged);
    for (const auto& [path, words] : cases) {
        const ToolRun run = run_inspect({path});
        EXPECT_EQ(run.code, 1) << path;
        EXPECT_EQ(run.out, "");
        EXPECT_EQ(run.err.rfind("upkit: " + path + ": ", 0), 0u) << run.err;
        EXPECT_NE(run.err.find(words), std::string::npos) << run.err;
        EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), 1) << run.err;
    }
    const ToolRun cut = run_inspect({"--json", (dir / "cut.exe").string()});
    EXPECT_EQ(cut.code, 1);
    EXPECT_NE(cut.err.find("section 1 (.text): its data at 0x400"), std::string::npos) << cut.err;
}

}  // namespace
}  // namespace upkit::test
