// Building a kit's resources from files: checksums, archive members and
// their names, the written outputs, and the demo kit's manifest.

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <ctime>
#include <functional>
#include <map>
#include <nlohmann/json.hpp>
#include <sstream>
#include <string>
#include <vector>

#include "kit_build.h"
#include "kit_resource_ids.h"
#include "table_encoding.h"
#include "test_files.h"
#include "upkit_cli.h"

using namespace upkit;
using namespace upkit::kitbuild;
using upkit::MemberInput;
using upkit::test::read_file;
using upkit::test::TempDir;
using upkit::test::write_file;
namespace fs = std::filesystem;

namespace {

using Bytes = std::vector<std::uint8_t>;

// The kit's own way through a table: a 16-bit zero where a row would begin
// ends it.
class TableCursor {
public:
    explicit TableCursor(const Bytes& table) : table_(table) { }

    bool row_follows() const { return at_ + 1 < table_.size() && (table_[at_] != 0 || table_[at_ + 1] != 0); }
    bool ended_exactly() const { return at_ + 2 == table_.size() && !row_follows(); }

    std::uint16_t word()
    {
        const std::uint16_t value = static_cast<std::uint16_t>(table_.at(at_) | (table_.at(at_ + 1) << 8));
        at_ += 2;
        return value;
    }

    std::string text()
    {
        std::string out;
        while (table_.at(at_) != 0)
            out += static_cast<char>(table_[at_++]);
        ++at_;
        return out;
    }

private:
    const Bytes& table_;
    std::size_t at_ = 0;
};

Bytes filled(std::size_t count, std::uint8_t value)
{
    return Bytes(count, value);
}

int run_tool(std::vector<std::string> args, std::string* out = nullptr)
{
    args.insert(args.begin(), "upkit");
    std::vector<char*> argv;
    for (std::string& arg : args)
        argv.push_back(arg.data());
    std::ostringstream out_stream;
    std::ostringstream err_stream;
    const int code = run_upkit(static_cast<int>(argv.size()), argv.data(), out_stream, err_stream);
    if (out)
        *out = out_stream.str();
    if (code != 0)
        ADD_FAILURE() << "upkit " << args[1] << ": " << err_stream.str();
    return code;
}

const OutputFile& output(const KitResources& resources, const std::string& name)
{
    for (const OutputFile& file : resources.files)
        if (file.name == name)
            return file;
    throw std::runtime_error("no output " + name);
}

std::string refusal_of(const std::function<void()>& action)
{
    try {
        action();
    } catch (const KitError& e) {
        return e.what();
    }
    ADD_FAILURE() << "accepted";
    return {};
}

class KitBuildTest : public ::testing::Test {
protected:
    fs::path put(const std::string& relative, const Bytes& data)
    {
        write_file(dir_ / relative, data);
        return dir_ / relative;
    }
    fs::path put(const std::string& relative, const std::string& text)
    {
        return put(relative, Bytes(text.begin(), text.end()));
    }

    // A manifest in the temporary folder, with the folder of built inputs
    // `built` below it.
    Manifest manifest(const std::string& text) { return parse_manifest(text, "kit.toml", dir_.path()); }
    InputFolders folders() const { return InputFolders{dir_.path(), dir_ / "built"}; }

    std::vector<MemberInput> members(const std::string& text)
    {
        const Manifest parsed = manifest(text);
        std::vector<fs::path> read;
        return archive_members(parsed.archives.at(0), parsed.kit, folders(), read);
    }

    TempDir dir_;
};

}  // namespace

TEST_F(KitBuildTest, ChecksumsOfTheWorkedExamples)
{
    EXPECT_EQ(file_checksum(put("empty", Bytes{})), 0xFFFF);
    EXPECT_EQ(file_checksum(put("abc", "abc")), 0x9D3B);
    // 512 words of 0x0101 sum to 0x20200; the low 16 bits 0x0200 complement
    // to 0xFDFF. The 1024-byte file is read as a full block, then nothing.
    EXPECT_EQ(file_checksum(put("k1024", filled(1024, 0x01))), 0xFDFF);
    // One more byte adds the word 0x0001: a cleared buffer, not the 0x01 left
    // behind by the first block, gives the high byte.
    EXPECT_EQ(file_checksum(put("k1025", filled(1025, 0x01))), 0xFDFE);
    // 511 words of 0x0101 and 0x0001: 0x20100, complemented 0xFEFF.
    EXPECT_EQ(file_checksum(put("k1023", filled(1023, 0x01))), 0xFEFF);
    // 512 words of 0xFFFF wrap to 0xFE00, complemented 0x01FF.
    EXPECT_EQ(file_checksum(put("kff", filled(1024, 0xFF))), 0x01FF);
    EXPECT_THROW(file_checksum(dir_ / "missing"), KitError);
}

TEST_F(KitBuildTest, ChecksumsComputedFromNamedFiles)
{
    put("old/W.EXE", "abc");
    put("built/w-2.0a.exe", Bytes{});
    const std::string rows = R"(
[[app_versions]]
display = "A"
key = "K"
file = "W.EXE"
checksum_of = "old/W.EXE"
[[app_versions]]
display = "B"
key = "K"
file = "W.EXE"
checksum_of = { file = "w-2.0a.exe", from = "files" }
[[app_versions]]
display = "C"
key = "K"
file = "W.EXE"
checksum = 0x1234
)";
    std::vector<AppVersionRow> versions = manifest(rows).app_versions;
    std::vector<fs::path> read;
    resolve_checksums(versions, folders(), read);
    EXPECT_EQ(versions[0].checksum, 0x9D3B);
    EXPECT_EQ(versions[1].checksum, 0xFFFF);
    EXPECT_EQ(versions[2].checksum, 0x1234);
    EXPECT_EQ(read, (std::vector<fs::path>{dir_ / "old/W.EXE", dir_ / "built" / "w-2.0a.exe"}));

    // Without a folder of built inputs, or without the file.
    std::vector<AppVersionRow> again = manifest(rows).app_versions;
    std::string message = refusal_of([&] { resolve_checksums(again, InputFolders{dir_.path(), std::nullopt}, read); });
    EXPECT_NE(message.find("kit.toml:11: [[app_versions]] row 2, checksum_of: \"w-2.0a.exe\" is in the folder of "
                           "built inputs, but no such folder was given"),
              std::string::npos)
        << message;
    std::vector<AppVersionRow> missing = manifest(R"(
[[app_versions]]
display = "A"
key = "K"
file = "W.EXE"
checksum_of = "old/W2.EXE"
)")
                                             .app_versions;
    message = refusal_of([&] { resolve_checksums(missing, folders(), read); });
    EXPECT_NE(message.find("row 1, checksum_of:"), std::string::npos) << message;
    EXPECT_NE(message.find("no such file"), std::string::npos) << message;
}

TEST_F(KitBuildTest, MembersKeepTheContentOrderAndFoldersAreSorted)
{
    put("src/b.txt", "bee");
    put("src/a.txt", "ay");
    put("src/sub/c.txt", "sea");
    put("other/readme.txt", "read me");
    put("built/prog-2.1.exe", "MZ");
    const std::vector<MemberInput> found = members(R"(
[kit]
file_time = 1997-09-15T02:10:00
[[archives]]
id = 1
progress = "P"
content = [
  "other/readme.txt",
  { folder = "src" },
  { file = "prog-2.1.exe", from = "files", name = "bin/PROG.EXE" },
]
)");
    std::vector<std::string> names;
    for (const MemberInput& member : found) {
        names.push_back(member.name);
        EXPECT_EQ(member.dos_date, (17 << 9) | (9 << 5) | 15) << member.name;
        EXPECT_EQ(member.dos_time, (2 << 11) | (10 << 5)) << member.name;
    }
    EXPECT_EQ(names, (std::vector<std::string>{"readme.txt", "a.txt", "b.txt", "sub\\c.txt", "bin\\PROG.EXE"}));
    EXPECT_EQ(found[0].data, Bytes({'r', 'e', 'a', 'd', ' ', 'm', 'e'}));
    EXPECT_EQ(found[4].data, Bytes({'M', 'Z'}));
}

TEST_F(KitBuildTest, MemberTimesComeFromTheRowTheKitOrTheFile)
{
    put("a.txt", "a");
    std::vector<MemberInput> found = members(R"(
[kit]
file_time = 1997-09-15T02:10:00
[[archives]]
id = 1
progress = "P"
file_time = 2001-02-03T04:05:06
content = ["a.txt"]
)");
    EXPECT_EQ(found[0].dos_date, (21 << 9) | (2 << 5) | 3);
    EXPECT_EQ(found[0].dos_time, (4 << 11) | (5 << 5) | 3);

    // The file's own time, as a local time.
    const char* old_tz = std::getenv("TZ");
    const std::string saved = old_tz ? old_tz : "";
    setenv("TZ", "UTC", 1);
    tzset();
    std::tm fields{};
    fields.tm_year = 2003 - 1900;
    fields.tm_mon = 4;
    fields.tm_mday = 6;
    fields.tm_hour = 7;
    fields.tm_min = 8;
    fields.tm_sec = 10;
    const std::time_t when = timegm(&fields);
    const auto stamp = std::chrono::file_clock::from_sys(std::chrono::system_clock::from_time_t(when));
    fs::last_write_time(dir_ / "a.txt", stamp);
    found = members("[[archives]]\nid = 1\nprogress = 'P'\ncontent = ['a.txt']\n");
    if (old_tz)
        setenv("TZ", saved.c_str(), 1);
    else
        unsetenv("TZ");
    tzset();
    EXPECT_EQ(found[0].dos_date, (23 << 9) | (5 << 5) | 6);
    EXPECT_EQ(found[0].dos_time, (7 << 11) | (8 << 5) | 5);
}

TEST_F(KitBuildTest, StoredNamesThatCannotBeInstalledSideBySide)
{
    put("src/A.TXT", "1");
    put("b/a.txt", "2");
    put("c/sub", "3");
    put("d/sub/x", "4");
    put("built/x.exe", "5");
    const std::string row = "[[archives]]\nid = 1\nprogress = 'P'\n";

    std::string message = refusal_of([&] { members(row + "content = [{ folder = 'src' }, 'b/a.txt']\n"); });
    EXPECT_NE(message.find("row 1, content item 2:"), std::string::npos) << message;
    EXPECT_NE(message.find("Windows does not tell case apart"), std::string::npos) << message;

    message = refusal_of([&] { members(row + "content = ['c/sub', 'd']\n"); });
    EXPECT_NE(message.find("also a folder"), std::string::npos) << message;

    for (const char* name : {"..\\x.exe", "C:x.exe", "CON", "a*b.exe", ""}) {
        message = refusal_of(
            [&] { members(row + "content = [{ file = 'x.exe', from = 'files', name = '" + name + "' }]\n"); });
        EXPECT_NE(message.find("content item 1:"), std::string::npos) << name << ": " << message;
    }
}

TEST_F(KitBuildTest, ContentThatIsNotWhatItSays)
{
    put("dir/f.txt", "f");
    put("file.txt", "x");
    const std::string row = "[[archives]]\nid = 1\nprogress = 'P'\n";
    EXPECT_NE(refusal_of([&] { members(row + "content = [{ file = 'dir' }]\n"); }).find("a folder, not a file"),
              std::string::npos);
    EXPECT_NE(refusal_of([&] { members(row + "content = [{ folder = 'file.txt' }]\n"); }).find("a file, not a folder"),
              std::string::npos);
    EXPECT_NE(refusal_of([&] { members(row + "content = ['nothing']\n"); }).find("no such file or folder"),
              std::string::npos);

    put("tree/real.txt", "r");
    fs::create_directory_symlink(dir_ / "dir", dir_ / "tree" / "link");
    EXPECT_NE(refusal_of([&] { members(row + "content = ['tree']\n"); }).find("link to a folder"), std::string::npos);
}

TEST_F(KitBuildTest, ArchivesUseTheRowsWindowOrTheSmallestThatHoldsTheirData)
{
    put("a.txt", "hello, hello, hello");
    put("b.bin", std::string(3000, 'b'));
    put("c.bin", std::string(3000, 'c'));
    const Manifest parsed = manifest("[[archives]]\nid = 1\nprogress = 'P'\ncontent = ['a.txt']\n"
                                     "[[archives]]\nid = 2\nprogress = 'P'\nwindow_bits = 18\ncontent = ['a.txt']\n"
                                     "[[archives]]\nid = 3\nprogress = 'P'\nwindow_bits = 22\ncontent = ['a.txt']\n"
                                     "[[archives]]\nid = 4\nprogress = 'P'\ncontent = ['b.bin', 'c.bin']\n");
    std::vector<fs::path> read;
    const auto first = archive_members(parsed.archives[0], parsed.kit, folders(), read);
    // Header byte 6 holds the window bits: the smallest window holds a few
    // bytes, 2^13 holds the 6000 of the last row's two files.
    EXPECT_EQ(build_archive(parsed.archives[0], first).at(6), 10);
    EXPECT_EQ(build_archive(parsed.archives[1], first).at(6), 18);
    const std::string message = refusal_of([&] { build_archive(parsed.archives[2], first); });
    EXPECT_NE(message.find("row 3, window_bits: 22 is out of range"), std::string::npos) << message;
    const auto both = archive_members(parsed.archives[3], parsed.kit, folders(), read);
    EXPECT_EQ(build_archive(parsed.archives[3], both).at(6), 13);

    // Data larger than the largest fitted window is packed in that window.
    put("big.bin", std::string((std::size_t{1} << 21) + 1, 'x'));
    const Manifest large = manifest("[[archives]]\nid = 5\nprogress = 'P'\ncontent = ['big.bin']\n");
    const auto big = archive_members(large.archives[0], large.kit, folders(), read);
    EXPECT_EQ(build_archive(large.archives[0], big).at(6), 21);
}

TEST_F(KitBuildTest, OutputsAreWrittenWholeWithADependencyList)
{
    KitResources resources;
    resources.files = {{"AppVersions.bin", {0, 0}}, {"archive-7.kw", {'K', 'W', 1}}};
    resources.inputs = {dir_ / "my kit.toml", dir_ / "a$b#c.txt"};
    write_kit_resources(resources, dir_ / "out" / "deep");
    EXPECT_EQ(read_file(dir_ / "out/deep/AppVersions.bin"), Bytes({0, 0}));
    EXPECT_EQ(read_file(dir_ / "out/deep/archive-7.kw"), Bytes({'K', 'W', 1}));
    EXPECT_EQ(std::distance(fs::directory_iterator(dir_ / "out/deep"), fs::directory_iterator()), 2);

    const std::string text = dependency_file_text({"/o/A.bin", "/o/b c.kw"}, resources.inputs);
    const std::string folder = dir_.path().string();
    EXPECT_EQ(text, "/o/A.bin /o/b\\ c.kw: \\\n  " + folder + "/my\\ kit.toml \\\n  " + folder + "/a$$b\\#c.txt\n");
}

// The demo kit's manifest, with stand-ins for the programs the build makes.
class DemoKitTest : public KitBuildTest {
protected:
    void SetUp() override
    {
        put("built/widget-2.0.exe", "abc");     // checksum 0x9D3B
        put("built/widget-2.0a.exe", Bytes{});  // checksum 0xFFFF
        put("built/widget-2.1.exe", "MZ widget 2.1");
        put("built/widgetrt.dll", "MZ runtime");
    }

    KitResources build(Diagnostics& diagnostics)
    {
        return build_kit_resources(read_manifest(DEMO_KIT_MANIFEST), dir_ / "built", diagnostics);
    }
};

TEST_F(DemoKitTest, TablesHoldTheDemoRows)
{
    Diagnostics diagnostics;
    const KitResources resources = build(diagnostics);
    EXPECT_TRUE(diagnostics.warnings.empty()) << diagnostics.warnings[0];

    TableCursor versions(output(resources, "AppVersions.bin").bytes);
    for (const auto& [display, checksum] :
         {std::pair{"Detected Widget 2.0", 0x9D3B}, {"Detected Widget 2.0a", 0xFFFF}}) {
        ASSERT_TRUE(versions.row_follows());
        EXPECT_EQ(versions.text(), display);
        EXPECT_EQ(versions.text(), "Software\\Brightfield\\Widget");
        EXPECT_EQ(versions.text(), "InstallDir");
        EXPECT_EQ(versions.text(), "WIDGET.EXE");
        EXPECT_EQ(versions.word(), checksum);
    }
    EXPECT_TRUE(versions.ended_exactly());

    TableCursor windows(output(resources, "WindowList.bin").bytes);
    for (const auto& [display, window_class] :
         {std::pair{"Widget", "BrightfieldWidget"}, {"Widget Monitor", "BrightfieldWidgetMonitor"}}) {
        ASSERT_TRUE(windows.row_follows());
        EXPECT_EQ(windows.text(), display);
        EXPECT_EQ(windows.text(), window_class);
        EXPECT_EQ(windows.text(), "");
    }
    EXPECT_TRUE(windows.ended_exactly());

    TableCursor archives(output(resources, "ArchiveList.bin").bytes);
    const std::uint16_t bases[] = {KIT_BASE_INSTALL, KIT_BASE_SYSTEM, KIT_BASE_INSTALL, KIT_BASE_WINDOWS};
    const char* const subdirectories[] = {"", "", "Help", ""};
    for (int i = 0; i < 4; ++i) {
        ASSERT_TRUE(archives.row_follows());
        EXPECT_FALSE(archives.text().empty());
        EXPECT_EQ(archives.word(), bases[i]);
        EXPECT_EQ(archives.text(), subdirectories[i]);
        EXPECT_EQ(archives.word(), 2001 + i);
    }
    EXPECT_TRUE(archives.ended_exactly());

    // The registry rows: every root, type and token the demo means to show.
    TableCursor registry(output(resources, "RegistryList.bin").bytes);
    int rows = 0;
    std::map<std::uint16_t, int> roots;
    std::string all_string_data;
    std::vector<std::string> dword_data;
    bool expand_mixes_token_and_variable = false;
    while (registry.row_follows()) {
        ++rows;
        ++roots[registry.word()];
        EXPECT_FALSE(registry.text().empty());
        registry.text();
        const std::uint16_t type = registry.word();
        const std::string data = registry.text();
        if (type == KIT_TYPE_DWORD) {
            EXPECT_TRUE(kit_number(data).has_value()) << data;
            dword_data.push_back(data);
        } else {
            EXPECT_TRUE(type == KIT_TYPE_STRING || type == KIT_TYPE_EXPAND_STRING) << type;
            all_string_data += data;
        }
        if (type == KIT_TYPE_EXPAND_STRING)
            expand_mixes_token_and_variable =
                data.find("%I%") != std::string::npos && data.find("%SystemRoot%") != std::string::npos;
    }
    EXPECT_TRUE(registry.ended_exactly());
    EXPECT_EQ(roots[KIT_ROOT_CURRENT_USER], 1);
    EXPECT_EQ(roots[KIT_ROOT_CLASSES_ROOT], 1);
    EXPECT_EQ(roots[KIT_ROOT_LOCAL_MACHINE], rows - 2);
    EXPECT_TRUE(expand_mixes_token_and_variable);
    for (const char* token : {"%I%", "%S%", "%W%"})
        EXPECT_NE(all_string_data.find(token), std::string::npos) << token;
    EXPECT_EQ(dword_data, (std::vector<std::string>{"0x1F", "-1", "010", "0"}));
}

TEST_F(DemoKitTest, ArchivesHoldTheProductFiles)
{
    Diagnostics diagnostics;
    const KitResources resources = build(diagnostics);
    const std::map<std::string, std::vector<std::string>> expected = {
        {"archive-2001.kw", {"WIDGET.EXE", "README.TXT"}},
        {"archive-2002.kw", {"WIDGETRT.DLL"}},
        {"archive-2003.kw", {"WIDGET.HLP"}},
        {"archive-2004.kw", {"WIDGET.BMP"}},
    };
    write_kit_resources(resources, dir_ / "out");
    for (const auto& [archive, names] : expected) {
        const std::string path = (dir_ / "out" / archive).string();
        std::string listing;
        ASSERT_EQ(run_tool({"list", "--json", path}, &listing), 0);
        const nlohmann::json members = nlohmann::json::parse(listing)["members"];
        ASSERT_EQ(members.size(), names.size()) << archive;
        for (std::size_t i = 0; i < names.size(); ++i)
            EXPECT_EQ(members[i]["name"], names[i]) << archive;
        EXPECT_EQ(run_tool({"test", path}), 0);
    }
    ASSERT_EQ(run_tool({"extract", "-q", (dir_ / "out/archive-2001.kw").string(), "-d", (dir_ / "x").string()}), 0);
    EXPECT_EQ(read_file(dir_ / "x/WIDGET.EXE"), read_file(dir_ / "built/widget-2.1.exe"));
    const fs::path payload = fs::path(DEMO_KIT_MANIFEST).parent_path() / "payload";
    EXPECT_EQ(read_file(dir_ / "x/README.TXT"), read_file(payload / "README.TXT"));
}

TEST_F(DemoKitTest, TheSameInputsGiveTheSameBytes)
{
    Diagnostics diagnostics;
    const KitResources first = build(diagnostics);
    // Newer file times change nothing: the kit gives every file its own.
    fs::last_write_time(dir_ / "built/widget-2.1.exe", fs::file_time_type::clock::now() + std::chrono::hours(30));
    const KitResources second = build(diagnostics);
    ASSERT_EQ(first.files.size(), 8u);
    ASSERT_EQ(second.files.size(), 8u);
    for (std::size_t i = 0; i < first.files.size(); ++i) {
        EXPECT_EQ(first.files[i].name, second.files[i].name);
        EXPECT_EQ(first.files[i].bytes, second.files[i].bytes) << first.files[i].name;
    }
    // What the build must watch: the manifest, the built programs and the
    // payload next to the manifest.
    EXPECT_EQ(first.inputs.size(), 8u);
    EXPECT_EQ(first.inputs.front(), fs::path(DEMO_KIT_MANIFEST));
}
