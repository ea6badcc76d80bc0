// Kits read back: `upkit dump` and `upkit build` in a round trip, and
// `upkit list`, `test` and `extract` on a kit's archives.

#include <gtest/gtest.h>

#include <algorithm>

#include "kit_contents.h"
#include "pe_image.h"
#include "resource_reader.h"
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

// Every resource of a file as "type/name/language" and its bytes, sorted.
std::vector<std::pair<std::string, std::vector<std::uint8_t>>> resources_of(const fs::path& file)
{
    const std::vector<std::uint8_t> bytes = read_file(file);
    const upkit::pe::PeImage image(bytes);
    std::vector<std::pair<std::string, std::vector<std::uint8_t>>> out;
    for (const upkit::pe::Resource& r : upkit::pe::read_resources(image))
        out.emplace_back(r.type.describe() + "/" + r.name.describe() + "/" + std::to_string(r.language), r.data);
    std::sort(out.begin(), out.end());
    return out;
}

std::string runtime(const char* arch)
{
    return test_data(std::string("kits/kit-runtime-") + arch + ".exe").string();
}

std::string demo_kit()
{
    return test_data("kits/demo-kit-win32.exe").string();
}

}  // namespace

TEST(DumpCommand, GivesAManifestThatBuildsTheSameResources)
{
    TempDir dir;
    const ToolRun dump = run_tool({"dump", demo_kit(), "-o", (dir / "dumped").string()});
    ASSERT_EQ(dump.code, 0) << dump.err;
    EXPECT_EQ(dump.err, "");  // the demo kit is all a manifest can say
    for (const char* name : {"kit.toml", "kit.bmp", "kit.ico", "archive-2001.kw", "archive-2004.kw"})
        EXPECT_TRUE(fs::exists(dir / "dumped" / name)) << name;
    EXPECT_EQ(read_file(dir / "dumped/kit.bmp"), read_file(fs::path(DEMO_KIT_FOLDER) / "kit.bmp"));
    EXPECT_EQ(read_file(dir / "dumped/kit.ico"), read_file(fs::path(DEMO_KIT_FOLDER) / "kit.ico"));
    // REG_DWORD numbers in plain decimal become TOML integers; other forms
    // stay the kit's text.
    const std::vector<std::uint8_t> manifest = read_file(dir / "dumped/kit.toml");
    const std::string text(manifest.begin(), manifest.end());
    for (const char* data : {"data = -1\n", "data = 0\n", "data = '010'\n", "data = '0x1F'\n"})
        EXPECT_NE(text.find(data), std::string::npos) << data;

    const ToolRun build = run_tool({"build", (dir / "dumped/kit.toml").string(), "-o", (dir / "rebuilt.exe").string(),
                                    "--runtime", runtime("win32")});
    ASSERT_EQ(build.code, 0) << build.err;
    EXPECT_EQ(resources_of(dir / "rebuilt.exe"), resources_of(demo_kit()));
}

TEST(DumpCommand, GivesATranslatedKitsTextsBackAndTheyBuildTheSameKit)
{
    TempDir dir;
    ASSERT_EQ(run_tool({"dump", demo_kit(), "-o", (dir / "a").string(), "-q"}).code, 0);
    std::vector<std::uint8_t> bytes = read_file(dir / "a/kit.toml");
    std::string text(bytes.begin(), bytes.end());
    const std::string messages = "[messages]\n"
                                 "no_qualifying_version = 'Keine passende Version gefunden: Größe prüfen.'\n"
                                 "transfer_error = 'Fehler %d bei \"%s\".'\n"
                                 "progress_group = 'Fortschritt'\n"
                                 "install_button = '&Installieren'\n";
    text.replace(text.find("[[app_versions]]"), 0, messages + "\n");
    write_file(dir / "a/kit.toml", text);
    const ToolRun first = run_tool({"build", (dir / "a/kit.toml").string(), "-o", (dir / "translated.exe").string(),
                                    "--runtime", runtime("win32")});
    ASSERT_EQ(first.code, 0) << first.err;

    const ToolRun dump = run_tool({"dump", (dir / "translated.exe").string(), "-o", (dir / "b").string()});
    ASSERT_EQ(dump.code, 0) << dump.err;
    EXPECT_EQ(dump.err, "");
    bytes = read_file(dir / "b/kit.toml");
    const std::string again(bytes.begin(), bytes.end());
    // Only the texts given, in the order of the keys; the rest stay standard.
    EXPECT_NE(again.find("\n[messages]\n"
                         "no_qualifying_version = 'Keine passende Version gefunden: Größe prüfen.'\n"
                         "transfer_error = 'Fehler %d bei \"%s\".'\n"
                         "progress_group = 'Fortschritt'\n"
                         "install_button = '&Installieren'\n\n"),
              std::string::npos)
        << again;
    const ToolRun second = run_tool(
        {"build", (dir / "b/kit.toml").string(), "-o", (dir / "rebuilt.exe").string(), "--runtime", runtime("win32")});
    ASSERT_EQ(second.code, 0) << second.err;
    EXPECT_EQ(resources_of(dir / "rebuilt.exe"), resources_of(dir / "translated.exe"));
    EXPECT_NE(resources_of(dir / "rebuilt.exe"), resources_of(demo_kit()));
}

TEST(DumpCommand, CarriesMissingTablesAndArchivesOverAndSaysWhatItCannot)
{
    TempDir dir;
    // The demo kit without its window list and its last archive, and with a
    // resource no kit uses.
    const ToolRun first = run_tool({"dump", demo_kit(), "-o", (dir / "a").string()});
    ASSERT_EQ(first.code, 0) << first.err;
    std::vector<std::uint8_t> bytes = read_file(dir / "a/kit.toml");
    std::string text(bytes.begin(), bytes.end());
    text.replace(text.find("bitmap = "), 0, "tables = ['AppVersions', 'ArchiveList', 'RegistryList']\n");
    const std::size_t last = text.find("archive = 'archive-2004.kw'");
    ASSERT_NE(last, std::string::npos) << text;
    text.replace(last, std::string("archive = 'archive-2004.kw'").size(), "carried = false");
    write_file(dir / "a/kit.toml", text);
    ASSERT_EQ(run_tool({"build", (dir / "a/kit.toml").string(), "-o", (dir / "partial.exe").string(), "--runtime",
                        runtime("win64"), "--arch", "win64"})
                  .code,
              0);

    const ToolRun second = run_tool({"dump", (dir / "partial.exe").string(), "-o", (dir / "b").string()});
    ASSERT_EQ(second.code, 0) << second.err;
    bytes = read_file(dir / "b/kit.toml");
    const std::string again(bytes.begin(), bytes.end());
    EXPECT_NE(again.find("tables = ['AppVersions', 'ArchiveList', 'RegistryList']"), std::string::npos) << again;
    EXPECT_NE(again.find("carried = false"), std::string::npos);
    EXPECT_EQ(again.find("[[windows]]"), std::string::npos);
    ASSERT_EQ(run_tool({"build", (dir / "b/kit.toml").string(), "-o", (dir / "again.exe").string(), "--runtime",
                        runtime("win64"), "--arch", "win64"})
                  .code,
              0);
    EXPECT_EQ(resources_of(dir / "again.exe"), resources_of(dir / "partial.exe"));

    // A kit with no archive at all: said so, and nothing to test.
    write_file(dir / "bare.toml", std::string("[kit]\nbased_on = 'a/kit.toml'\ntables = []\n"));
    ASSERT_EQ(run_tool({"build", (dir / "bare.toml").string(), "-o", (dir / "bare.exe").string(), "--runtime",
                        runtime("win32")})
                  .code,
              0);
    const ToolRun bare = run_tool({"list", (dir / "bare.exe").string()});
    EXPECT_EQ(bare.code, 0);
    EXPECT_NE(bare.out.find("the kit carries no archive"), std::string::npos) << bare.out;
    EXPECT_EQ(run_tool({"test", (dir / "bare.exe").string()}).code, 1);

    // Not a PE file: a clear refusal.
    write_file(dir / "not-a-kit.exe", std::string("MZ but nothing else"));
    const ToolRun refused = run_tool({"dump", (dir / "not-a-kit.exe").string(), "-o", (dir / "c").string()});
    EXPECT_EQ(refused.code, 1);
    EXPECT_NE(refused.err.find("not-a-kit.exe"), std::string::npos);
}

TEST(DumpCommand, RecordsTheArchitectureSoThatARebuildIsTheSameKit)
{
    TempDir dir;
    const fs::path demo64 = test_data("kits/demo-kit-win64.exe");
    ASSERT_EQ(run_tool({"dump", demo64.string(), "-o", (dir / "d").string(), "-q"}).code, 0);
    const std::vector<std::uint8_t> bytes = read_file(dir / "d/kit.toml");
    EXPECT_NE(std::string(bytes.begin(), bytes.end()).find("\narch = 'win64'\n"), std::string::npos);

    // No --arch: the manifest's, and a note on what a win64 kit is for.
    const ToolRun rebuilt = run_tool(
        {"build", (dir / "d/kit.toml").string(), "-o", (dir / "again.exe").string(), "--runtime", runtime("win64")});
    ASSERT_EQ(rebuilt.code, 0) << rebuilt.err;
    EXPECT_EQ(rebuilt.err, "upkit: note: a win64 kit is for a 64-bit product: it reads the 64-bit registry view and "
                           "installs system files to the 64-bit system folder\n");
    EXPECT_EQ(upkit::kitread::read_kit_file(dir / "again.exe").coff.machine, upkit::pe::kMachineAmd64);
    EXPECT_EQ(resources_of(dir / "again.exe"), resources_of(demo64));

    // --arch overrides it.
    const ToolRun win32 = run_tool({"build", (dir / "d/kit.toml").string(), "-o", (dir / "w32.exe").string(), "--arch",
                                    "win32", "--runtime", runtime("win32")});
    ASSERT_EQ(win32.code, 0) << win32.err;
    EXPECT_EQ(win32.err, "");
    EXPECT_EQ(upkit::kitread::read_kit_file(dir / "w32.exe").coff.machine, upkit::pe::kMachineI386);
}

TEST(DumpCommand, WritesIntoAFolderThatHoldsFilesOnlyWhenForced)
{
    TempDir dir;
    write_file(dir / "work/kit.toml", std::string("# the author's own manifest\n"));
    const ToolRun refused = run_tool({"dump", demo_kit(), "-o", (dir / "work").string()});
    EXPECT_EQ(refused.code, 1);
    EXPECT_EQ(refused.err,
              "upkit: " + (dir / "work").string() + ": the folder is not empty (give --force to write into it)\n");
    EXPECT_EQ(read_file(dir / "work/kit.toml").size(), std::string("# the author's own manifest\n").size());
    EXPECT_FALSE(fs::exists(dir / "work/kit.bmp"));

    // An empty folder is no one's work.
    fs::create_directory(dir / "empty");
    EXPECT_EQ(run_tool({"dump", demo_kit(), "-o", (dir / "empty").string(), "-q"}).code, 0);

    const ToolRun forced = run_tool({"dump", demo_kit(), "-o", (dir / "work").string(), "--force", "-q"});
    ASSERT_EQ(forced.code, 0) << forced.err;
    EXPECT_EQ(read_file(dir / "work/kit.toml"), read_file(dir / "empty/kit.toml"));

    // A file where the folder should be is never replaced.
    write_file(dir / "notes.txt", std::string("notes\n"));
    const ToolRun file = run_tool({"dump", demo_kit(), "-o", (dir / "notes.txt").string(), "--force"});
    EXPECT_EQ(file.code, 1);
    EXPECT_EQ(file.err, "upkit: " + (dir / "notes.txt").string() + ": not a folder\n");
    EXPECT_EQ(read_file(dir / "notes.txt").size(), 6u);
}

TEST(KitArchives, AWindowsProgramThatIsNotAKitIsSaidToBeNone)
{
    for (const char* command : {"list", "test", "extract"}) {
        TempDir dir;
        std::vector<std::string> args = {command, runtime("win32")};
        if (std::string(command) == "extract")
            args.insert(args.end(), {"-d", (dir / "out").string()});
        const ToolRun run = run_tool(args);
        EXPECT_EQ(run.code, 1) << command;
        EXPECT_EQ(run.out, "") << command;
        EXPECT_EQ(run.err, "upkit: " + runtime("win32") +
                               ": not a kit: a Windows program without a kit's tables, archives or install dialog\n")
            << command;
        EXPECT_FALSE(fs::exists(dir / "out")) << command;
    }
}

TEST(KitArchives, ListTestAndExtractEveryArchiveOfAKit)
{
    TempDir dir;
    const ToolRun list = run_tool({"list", demo_kit()});
    ASSERT_EQ(list.code, 0) << list.err;
    EXPECT_NE(list.out.find("archive 2003: to install/Help"), std::string::npos) << list.out;
    EXPECT_NE(list.out.find("WIDGETRT.DLL"), std::string::npos);

    const ToolRun json = run_tool({"list", "--json", demo_kit()});
    ASSERT_EQ(json.code, 0);
    EXPECT_NE(json.out.find("\"kit\""), std::string::npos);
    EXPECT_NE(json.out.find("\"subdirectory\": \"Help\""), std::string::npos) << json.out;

    const ToolRun test = run_tool({"test", demo_kit()});
    ASSERT_EQ(test.code, 0) << test.err;
    EXPECT_EQ(std::count(test.out.begin(), test.out.end(), '\n'), 4);

    ASSERT_EQ(run_tool({"extract", demo_kit(), "-d", (dir / "by-archive").string(), "-q"}).code, 0);
    EXPECT_TRUE(fs::is_regular_file(dir / "by-archive/archive-2003/WIDGET.HLP"));
    ASSERT_EQ(run_tool({"extract", demo_kit(), "-d", (dir / "placed").string(), "-q", "--layout", "destinations"}).code,
              0);
    for (const char* file : {"install/WIDGET.EXE", "install/README.TXT", "install/Help/WIDGET.HLP",
                             "system/WIDGETRT.DLL", "windows/WIDGET.BMP"})
        EXPECT_TRUE(fs::is_regular_file(dir / "placed" / file)) << file;
    EXPECT_EQ(read_file(dir / "placed/install/README.TXT"),
              read_file(fs::path(DEMO_KIT_FOLDER) / "payload/README.TXT"));
}

TEST(KitArchives, ReportEachDamagedArchiveAndGoOnWithTheOthers)
{
    TempDir dir;
    // The demo kit with the first archive's last byte changed: its check
    // value no longer matches.
    ASSERT_EQ(run_tool({"dump", demo_kit(), "-o", (dir / "d").string(), "-q"}).code, 0);
    std::vector<std::uint8_t> archive = read_file(dir / "d/archive-2001.kw");
    archive[archive.size() / 2] ^= 0x55;
    write_file(dir / "d/archive-2001.kw", archive);
    ASSERT_EQ(run_tool({"build", (dir / "d/kit.toml").string(), "-o", (dir / "damaged.exe").string(), "--runtime",
                        runtime("win32"), "-q"})
                  .code,
              0);
    const ToolRun test = run_tool({"test", (dir / "damaged.exe").string()});
    EXPECT_EQ(test.code, 1);
    EXPECT_NE(test.err.find("archive 2001"), std::string::npos) << test.err;
    EXPECT_NE(test.out.find("archive 2004: OK"), std::string::npos) << test.out;

    const ToolRun plain = run_tool(
        {"extract", (dir / "d/archive-2002.kw").string(), "-d", (dir / "x").string(), "--layout", "destinations"});
    EXPECT_EQ(plain.code, 2);
    EXPECT_NE(plain.err.find("for kits"), std::string::npos);
}
