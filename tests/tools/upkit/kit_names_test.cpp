// Member names outside ASCII on their way through a kit: `build` stores them
// in Windows-1252 exactly as `create` does, and every command that reads
// them back gives UTF-8. What `create` refuses, `build` refuses; and `build`
// refuses a subdirectory that leaves its destination and an output that
// would replace one of its inputs, writing nothing.

#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "kit_contents.h"
#include "reporting_reader.h"
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

// The stored names of an archive file, as bytes.
std::vector<std::string> stored_names(const fs::path& archive)
{
    upkit::ReportingReader reader;
    EXPECT_TRUE(reader.OpenArchive(archive.string())) << reader.FailureText();
    std::vector<std::string> names;
    for (const upkit::MemberEntry& entry : reader.Entries())
        names.push_back(entry.name);
    return names;
}

const char* const kThemeUtf8 = "Th\xc3\xa8me.ini";
const char* const kCafeUtf8 = "\xc3\x91"
                              "and\xc3\xba/caf\xc3\xa9.txt";
const std::vector<std::string> kStored = {"Th\xe8me.ini", "\xd1"
                                                          "and\xfa\\caf\xe9.txt"};

class KitNames : public ::testing::Test {
protected:
    void SetUp() override
    {
        write_file(dir_.path() / upkit::path_from_utf8(std::string("payload/") + kThemeUtf8),
                   std::string("[Theme]\r\n"));
        write_file(dir_.path() / upkit::path_from_utf8(std::string("payload/") + kCafeUtf8),
                   std::string("caf\xc3\xa9\r\n"));
    }

    fs::path manifest(const std::string& archive_fields = "content = ['payload']\n")
    {
        const fs::path path = dir_ / "kit.toml";
        const fs::path demo = DEMO_KIT_FOLDER;
        write_file(path, "[kit]\ntitle = \"Quill 2.0 Upgrade\"\nmaker = \"Inkwell\"\nproduct = \"Quill\"\n"
                         "welcome = \"Welcome.\"\nfile_time = 1998-04-01T12:00:00\n"
                         "bitmap = '" +
                             (demo / "kit.bmp").string() + "'\nicon = '" + (demo / "kit.ico").string() +
                             "'\n\n[[archives]]\nid = 2001\nprogress = \"Installing Quill...\"\n" + archive_fields);
        return path;
    }

    ToolRun build(const fs::path& manifest_path, const fs::path& output)
    {
        return run_tool({"build", manifest_path.string(), "-o", output.string(), "--runtime",
                         test_data("kits/kit-runtime-win32.exe").string()});
    }

    fs::path kit() const { return dir_ / "kit.exe"; }

    TempDir dir_;
};

TEST_F(KitNames, BuildStoresWindows1252AsCreateDoesAndEveryReaderGivesUtf8)
{
    const ToolRun built = build(manifest(), kit());
    ASSERT_EQ(built.code, 0) << built.err;

    // The kit's archive holds the names in Windows-1252.
    const upkit::kitread::KitContents contents = upkit::kitread::read_kit_file(kit());
    ASSERT_EQ(contents.archives.size(), 1u);
    write_file(dir_ / "from-kit.kw", contents.archives[0].bytes);
    EXPECT_EQ(stored_names(dir_ / "from-kit.kw"), kStored);

    // create stores the same folder under the same names.
    const ToolRun created = run_tool({"create", (dir_ / "created.kw").string(), (dir_ / "payload").string()});
    ASSERT_EQ(created.code, 0) << created.err;
    EXPECT_EQ(stored_names(dir_ / "created.kw"), kStored);

    const std::vector<std::string> utf8 = {kThemeUtf8, "\xc3\x91"
                                                       "and\xc3\xba\\caf\xc3\xa9.txt"};
    const ToolRun listed = run_tool({"list", kit().string(), "--json"});
    ASSERT_EQ(listed.code, 0) << listed.err;
    const nlohmann::json listing = nlohmann::json::parse(listed.out);
    const nlohmann::json& members = listing["archives"][0]["members"];
    ASSERT_EQ(members.size(), 2u) << listed.out;
    EXPECT_EQ(members[0]["name"], utf8[0]);
    EXPECT_EQ(members[1]["name"], utf8[1]);

    const ToolRun inspected = run_tool({"inspect", kit().string()});
    ASSERT_EQ(inspected.code, 0) << inspected.err;
    EXPECT_TRUE(contains(inspected.out, utf8[0])) << inspected.out;
    EXPECT_TRUE(contains(inspected.out, utf8[1])) << inspected.out;
    const ToolRun inspected_json = run_tool({"inspect", kit().string(), "--json"});
    ASSERT_EQ(inspected_json.code, 0) << inspected_json.err;
    EXPECT_TRUE(contains(inspected_json.out, "\"" + utf8[0] + "\"")) << inspected_json.out;

    const ToolRun extracted = run_tool({"extract", kit().string(), "-d", (dir_ / "out").string(), "-q"});
    ASSERT_EQ(extracted.code, 0) << extracted.err;
    EXPECT_TRUE(
        fs::is_regular_file(dir_.path() / upkit::path_from_utf8(std::string("out/archive-2001/") + kThemeUtf8)));
    EXPECT_EQ(read_file(dir_.path() / upkit::path_from_utf8(std::string("out/archive-2001/") + kCafeUtf8)),
              upkit::test::bytes_of("caf\xc3\xa9\r\n"));

    // A dumped kit keeps the archive as it is, and builds the same kit again.
    const ToolRun dumped = run_tool({"dump", kit().string(), "-o", (dir_ / "dumped").string(), "-q"});
    ASSERT_EQ(dumped.code, 0) << dumped.err;
    EXPECT_EQ(stored_names(dir_ / "dumped/archive-2001.kw"), kStored);
    const ToolRun rebuilt = build(dir_ / "dumped/kit.toml", dir_ / "rebuilt.exe");
    ASSERT_EQ(rebuilt.code, 0) << rebuilt.err;
    EXPECT_EQ(read_file(dir_ / "rebuilt.exe"), read_file(kit()));
}

TEST_F(KitNames, AGivenNameIsStoredInWindows1252Too)
{
    const ToolRun built = build(manifest("content = [{ file = 'payload/" + std::string(kThemeUtf8) +
                                         "', name = 'Config/Th\xc3\xa9ma.ini' }]\n"),
                                kit());
    ASSERT_EQ(built.code, 0) << built.err;
    const upkit::kitread::KitContents contents = upkit::kitread::read_kit_file(kit());
    ASSERT_EQ(contents.archives.size(), 1u);
    write_file(dir_ / "from-kit.kw", contents.archives[0].bytes);
    EXPECT_EQ(stored_names(dir_ / "from-kit.kw"), std::vector<std::string>{"Config\\Th\xe9ma.ini"});
}

// Names Windows-1252 cannot hold, and names that are not UTF-8, are refused
// by both commands: the file, the reason, status 1, and no output.
TEST_F(KitNames, BuildRefusesTheNamesCreateRefuses)
{
    struct Case {
        const char* name;
        const char* reason;
    };
    for (const Case& c : {Case{"\xe6\x97\xa5\xe6\x9c\xac.txt", "Windows-1252"}, Case{"caf\xe9.txt", "not UTF-8"}}) {
        SCOPED_TRACE(c.reason);
        const fs::path odd = dir_.path() / "payload" / fs::path(std::string(c.name));
        write_file(odd, std::string("x"));

        const ToolRun created = run_tool({"create", (dir_ / "created.kw").string(), (dir_ / "payload").string()});
        EXPECT_EQ(created.code, 1);
        EXPECT_TRUE(contains(created.err, c.reason)) << created.err;
        EXPECT_TRUE(contains(created.err, odd.string())) << created.err;
        EXPECT_FALSE(fs::exists(dir_ / "created.kw"));

        const ToolRun built = build(manifest(), kit());
        EXPECT_EQ(built.code, 1);
        EXPECT_TRUE(contains(built.err, "kit.toml:13: [[archives]] row 1, content item 1: ")) << built.err;
        EXPECT_TRUE(contains(built.err, c.reason)) << built.err;
        EXPECT_TRUE(contains(built.err, odd.string())) << built.err;
        EXPECT_FALSE(fs::exists(kit()));
        fs::remove(odd);
    }
}

TEST_F(KitNames, BuildRefusesASubdirectoryThatLeavesItsDestination)
{
    for (const char* subdirectory :
         {"..\\\\..\\\\..\\\\Escaped", "\\\\\\\\server\\\\share", "C:\\\\Escaped", "Help\\\\..\\\\..\\\\System"}) {
        SCOPED_TRACE(subdirectory);
        const ToolRun built =
            build(manifest(std::string("subdirectory = \"") + subdirectory + "\"\ncontent = ['payload']\n"), kit());
        EXPECT_EQ(built.code, 1);
        EXPECT_TRUE(contains(built.err, "kit.toml:13: [[archives]] row 1, subdirectory: ")) << built.err;
        EXPECT_TRUE(contains(built.err, "outside")) << built.err;
        EXPECT_FALSE(fs::exists(kit()));
        EXPECT_FALSE(fs::exists(dir_ / "kit.exe.part"));
    }
    const ToolRun inside = build(manifest("subdirectory = 'Help\\Quill'\ncontent = ['payload']\n"), kit());
    EXPECT_EQ(inside.code, 0) << inside.err;
}

TEST_F(KitNames, BuildRefusesAnOutputThatWouldReplaceOneOfItsInputs)
{
    const fs::path path = manifest();
    const fs::path payload = dir_.path() / upkit::path_from_utf8(std::string("payload/") + kThemeUtf8);
    const fs::path runtime = dir_ / "runtime.exe";
    fs::copy_file(test_data("kits/kit-runtime-win32.exe"), runtime);
    for (const fs::path& input : {path, payload, runtime}) {
        SCOPED_TRACE(input.string());
        const std::vector<std::uint8_t> before = read_file(input);
        const ToolRun built = run_tool({"build", path.string(), "-o", input.string(), "--runtime", runtime.string()});
        EXPECT_EQ(built.code, 2);
        EXPECT_TRUE(contains(built.err, "one of the kit's inputs")) << built.err;
        EXPECT_EQ(read_file(input), before);
        EXPECT_FALSE(fs::exists(fs::path(input).concat(".part")));
    }
    // The dependency file is an output too.
    const ToolRun depfile = run_tool(
        {"build", path.string(), "-o", kit().string(), "--runtime", runtime.string(), "--depfile", payload.string()});
    EXPECT_EQ(depfile.code, 2);
    EXPECT_FALSE(fs::exists(kit()));
}

}  // namespace
