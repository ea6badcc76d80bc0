// Reading kit manifests: names for codes, defaults, and the refusals that
// point at the line and field to fix.

#include <gtest/gtest.h>

#include <string>

#include "kit_resource_ids.h"
#include "manifest.h"
#include "manifest_parsing.h"
#include "table_encoding.h"
#include "test_files.h"

using namespace upkit;
using namespace upkit::kitbuild;

namespace {

using Bytes = std::vector<std::uint8_t>;

using upkit::kitbuild::test::parse;
using upkit::kitbuild::test::refusal;

const char* const kArchive = R"(
[[archives]]
id = 2001
progress = "P"
content = ["a.txt"]
)";

}  // namespace

TEST(ManifestCodes, BasesByNameAndNumber)
{
    const Manifest manifest = parse(R"(
[[archives]]
id = 1
progress = "a"
base = "install"
content = ["x"]
[[archives]]
id = 2
progress = "b"
base = "windows"
content = ["x"]
[[archives]]
id = 3
progress = "c"
base = "system"
content = ["x"]
[[archives]]
id = 4
progress = "d"
base = 0x0203
content = ["x"]
[[archives]]
id = 5
progress = "e"
content = ["x"]
)");
    Diagnostics diagnostics;
    const Bytes table = encode_archive_list(manifest.archives, diagnostics);
    EXPECT_EQ(table, (Bytes{'a', 0, 0, 0, 0, 1, 0,  //
                            'b', 0, 1, 0, 0, 2, 0,  //
                            'c', 0, 2, 0, 0, 3, 0,  //
                            'd', 0, 3, 2, 0, 4, 0,  //
                            'e', 0, 0, 0, 0, 5, 0,  //
                            0,   0}));
}

TEST(ManifestCodes, RootsAndTypesByNameAndNumber)
{
    const char* const rows[][3] = {
        {"\"HKCR\"", "\"REG_SZ\"", "\x01\x01"},
        {"\"HKLM\"", "\"REG_EXPAND_SZ\"", "\x02\x02"},
        {"\"HKCU\"", "\"REG_DWORD\"", "\x03\x04"},
        {"\"HKU\"", "0", "\x04\x00"},
        {"\"HKEY_CLASSES_ROOT\"", "3", "\x01\x03"},
        {"\"HKEY_LOCAL_MACHINE\"", "5", "\x02\x05"},
        {"\"HKEY_CURRENT_USER\"", "0x101", "\x03\x01"},
        {"\"HKEY_USERS\"", "4", "\x04\x04"},
        {"9", "2", "\x09\x02"},
    };
    for (const auto& row : rows) {
        const Manifest manifest =
            parse(std::string("[[registry]]\nroot = ") + row[0] + "\nkey = 'K'\ntype = " + row[1] + "\ndata = '0'\n");
        Diagnostics diagnostics;
        const Bytes table = encode_registry_list(manifest.registry, diagnostics);
        // root, "K\0", "\0", type, "0\0", end
        ASSERT_EQ(table.size(), 11u);
        const auto root = static_cast<std::uint8_t>(row[2][0]);
        const auto type = static_cast<std::uint8_t>(row[2][1]);
        EXPECT_EQ(table[0], root) << row[0];
        EXPECT_EQ(table[5], type) << row[1];
        // The one type given above 255.
        EXPECT_EQ(table[6], std::string(row[1]) == "0x101" ? 1 : 0) << row[1];
    }
}

TEST(ManifestFields, DefaultsForWhatMayBeLeftOut)
{
    const Manifest manifest = parse(R"(
[[app_versions]]
display = "D"
key = 'S\K'
file = "W.EXE"
checksum = 0xBEEF
[[windows]]
display = "W"
[[archives]]
id = 7
progress = "P"
content = ["a.txt", { file = "b.exe", from = "files", name = "B.EXE" }, { folder = "help" }]
[[registry]]
root = "HKLM"
key = "K"
type = "REG_SZ"
data = ""
)");
    EXPECT_EQ(manifest.folder, "/kits/demo");
    ASSERT_EQ(manifest.app_versions.size(), 1u);
    EXPECT_EQ(manifest.app_versions[0].value, "");
    EXPECT_EQ(manifest.app_versions[0].checksum, 0xBEEF);
    EXPECT_FALSE(manifest.app_versions[0].checksum_of.has_value());
    EXPECT_EQ(manifest.windows[0].window_class, "");
    EXPECT_EQ(manifest.windows[0].title, "");
    const ArchiveRow& archive = manifest.archives[0];
    EXPECT_EQ(archive.base, KIT_BASE_INSTALL);
    EXPECT_EQ(archive.subdirectory, "");
    EXPECT_FALSE(archive.window_bits.has_value());  // fitted to the data when the archive is built
    EXPECT_EQ(archive.level, 9);
    EXPECT_EQ(manifest.kit.arch, "win32");
    EXPECT_FALSE(archive.file_time.has_value());
    ASSERT_EQ(archive.content.size(), 3u);
    EXPECT_EQ(archive.content[0].kind, ContentKind::file_or_folder);
    EXPECT_EQ(archive.content[0].source.root, InputRoot::manifest);
    EXPECT_EQ(archive.content[1].kind, ContentKind::file);
    EXPECT_EQ(archive.content[1].source.root, InputRoot::files);
    EXPECT_EQ(archive.content[1].name, "B.EXE");
    EXPECT_EQ(archive.content[2].kind, ContentKind::folder);
    EXPECT_EQ(archive.content[2].source.path, "help");
    EXPECT_EQ(manifest.registry[0].value, "");
}

TEST(ManifestFields, FileTimesAreLocalDosStamps)
{
    const Manifest manifest = parse(R"(
[kit]
title = "Widget 2.1 Upgrade"
file_time = 1997-09-15T02:10:01
[[archives]]
id = 1
progress = "P"
file_time = 2001-12-31 23:59:58
content = ["a"]
)");
    EXPECT_EQ(manifest.kit.title, "Widget 2.1 Upgrade");
    ASSERT_TRUE(manifest.kit.file_time.has_value());
    // 1997 is year 17 of the format; odd seconds round down to the two
    // seconds it counts.
    EXPECT_EQ(manifest.kit.file_time->date, (17 << 9) | (9 << 5) | 15);
    EXPECT_EQ(manifest.kit.file_time->time, (2 << 11) | (10 << 5) | 0);
    ASSERT_TRUE(manifest.archives[0].file_time.has_value());
    EXPECT_EQ(manifest.archives[0].file_time->date, (21 << 9) | (12 << 5) | 31);
    EXPECT_EQ(manifest.archives[0].file_time->time, (23 << 11) | (59 << 5) | 29);

    EXPECT_NE(refusal("[kit]\nfile_time = 1997-09-15T02:10:00+02:00\n").find("time zone"), std::string::npos);
    EXPECT_NE(refusal("[kit]\nfile_time = 1979-12-31T23:00:00\n").find("1980"), std::string::npos);
    EXPECT_NE(refusal("[kit]\nfile_time = \"1997-09-15 02:10\"\n").find("local date-time"), std::string::npos);
}

TEST(ManifestRefusals, NameTheLineTheRowAndTheField)
{
    std::string message = refusal(std::string(kArchive) + "[[archives]]\nid = 2002\nprogress = 5\ncontent = []\n");
    EXPECT_EQ(message, "kit.toml:8: [[archives]] row 2, progress: must be a string, not an integer");

    message = refusal(std::string(kArchive) + "[[archives]]\nid = 2002\nprogres = 'x'\n");
    EXPECT_EQ(message.rfind("kit.toml:8: [[archives]] row 2, progres: unknown field (expected id, progress,", 0), 0u)
        << message;

    // A missing field has no line of its own: the row's header gives it.
    message = refusal("\n[[windows]]\nclass = 'C'\n");
    EXPECT_EQ(message, "kit.toml:2: [[windows]] row 1, display: missing");

    message = refusal("[[registry]]\nroot = 'HKEY_LOCAL'\nkey = 'K'\ntype = 'REG_SZ'\ndata = ''\n");
    EXPECT_EQ(message, "kit.toml:2: [[registry]] row 1, root: unknown name \"HKEY_LOCAL\" (expected HKCR, "
                       "HKEY_CLASSES_ROOT, HKLM, HKEY_LOCAL_MACHINE, HKCU, HKEY_CURRENT_USER, HKU, HKEY_USERS, "
                       "or a number)");

    message = refusal("[[registry]]\nroot = 2\nkey = 'K'\ntype = 'REG_BINARY'\ndata = ''\n");
    EXPECT_NE(message.find("row 1, type: unknown name \"REG_BINARY\" (expected REG_SZ, REG_EXPAND_SZ, REG_DWORD"),
              std::string::npos)
        << message;

    message = refusal("[[archives]]\nid = 65536\nprogress = 'P'\ncontent = ['a']\n");
    EXPECT_EQ(message, "kit.toml:2: [[archives]] row 1, id: 65536 is out of range (0 to 65535)");

    message = refusal("[[archives]]\nid = 1\nprogress = 'P'\nbase = -1\ncontent = ['a']\n");
    EXPECT_NE(message.find("row 1, base: -1 is out of range"), std::string::npos) << message;
}

TEST(ManifestRefusals, NameEveryMissingFieldOfARowAtOnce)
{
    EXPECT_EQ(refusal("\n[[app_versions]]\nvalue = 'V'\nchecksum = 1\n"),
              "kit.toml:2: [[app_versions]] row 1: missing fields display, key, file");
    EXPECT_EQ(refusal("[[registry]]\nkey = 'K'\n"), "kit.toml:1: [[registry]] row 1: missing fields root, type, data");
    EXPECT_EQ(refusal("[[archives]]\ncontent = ['a']\n"),
              "kit.toml:1: [[archives]] row 1: missing fields id, progress");
}

TEST(ManifestFields, RegistryNumbersMayBeIntegers)
{
    std::string rows;
    for (const char* data : {"4294967295", "2147483647", "-2147483648", "31", "'0x1F'"})
        rows += std::string("[[registry]]\nroot = 'HKLM'\nkey = 'K'\ntype = 'REG_DWORD'\ndata = ") + data + "\n";
    const Manifest manifest = parse(rows);
    // Decimal as far as the kit's signed reading goes, hexadecimal above.
    EXPECT_EQ(manifest.registry[0].data, "0xFFFFFFFF");
    EXPECT_EQ(manifest.registry[1].data, "2147483647");
    EXPECT_EQ(manifest.registry[2].data, "-2147483648");
    EXPECT_EQ(manifest.registry[3].data, "31");
    EXPECT_EQ(manifest.registry[4].data, "0x1F");
    Diagnostics diagnostics;
    EXPECT_NO_THROW(encode_registry_list(manifest.registry, diagnostics));

    EXPECT_EQ(refusal("[[registry]]\nroot = 'HKLM'\nkey = 'K'\ntype = 'REG_DWORD'\ndata = 4294967296\n"),
              "kit.toml:5: [[registry]] row 1, data: 4294967296 is out of range (-2147483648 to 4294967295)");
    EXPECT_EQ(refusal("[[registry]]\nroot = 'HKLM'\nkey = 'K'\ntype = 'REG_SZ'\ndata = 7\n"),
              "kit.toml:5: [[registry]] row 1, data: must be a string, not an integer");
    EXPECT_EQ(refusal("[[registry]]\nroot = 'HKLM'\nkey = 'K'\ntype = 'REG_DWORD'\ndata = 1.5\n"),
              "kit.toml:5: [[registry]] row 1, data: must be a number or its text, not a floating-point number");
}

TEST(ManifestFields, TheKitsArchitecture)
{
    EXPECT_EQ(parse("[kit]\narch = 'win64'\n").kit.arch, "win64");
    EXPECT_EQ(parse("[kit]\narch = 'win32'\n").kit.arch, "win32");
    EXPECT_EQ(refusal("[kit]\ntitle = 'T'\narch = 'x86'\n"),
              "kit.toml:3: [kit] arch: unknown architecture \"x86\" (expected win32 or win64)");
}

TEST(ManifestRefusals, ChecksumsAreGivenOneWay)
{
    const std::string row = "[[app_versions]]\ndisplay = 'D'\nkey = 'K'\nfile = 'F'\n";
    EXPECT_NE(refusal(row).find("row 1, checksum: give either checksum or checksum_of"), std::string::npos);
    EXPECT_NE(refusal(row + "checksum = 1\nchecksum_of = 'f'\n").find("give either"), std::string::npos);
    EXPECT_NE(refusal(row + "checksum = 65536\n").find("out of range"), std::string::npos);
    EXPECT_NE(refusal(row + "checksum_of = { file = 'f', from = 'build' }\n").find("checksum_of, from: unknown folder"),
              std::string::npos);
    const Manifest manifest = parse(row + "checksum_of = { file = 'w.exe', from = 'files' }\n");
    ASSERT_TRUE(manifest.app_versions[0].checksum_of.has_value());
    EXPECT_EQ(manifest.app_versions[0].checksum_of->path, "w.exe");
    EXPECT_EQ(manifest.app_versions[0].checksum_of->root, InputRoot::files);
}

TEST(ManifestRefusals, ArchiveContent)
{
    const std::string row = "[[archives]]\nid = 1\nprogress = 'P'\n";
    EXPECT_NE(refusal(row).find("row 1, content: missing"), std::string::npos);
    EXPECT_NE(refusal(row + "content = []\n").find("content: empty"), std::string::npos);
    EXPECT_NE(refusal(row + "content = 'a'\n").find("content: must be an array"), std::string::npos);
    const std::string message = refusal(row + "content = [\n  'a',\n  { file = 'b', folder = 'c' },\n]\n");
    EXPECT_EQ(message, "kit.toml:6: [[archives]] row 1, content item 2: give either file or folder");
    EXPECT_NE(refusal(row + "content = [{ folder = 'c', name = 'C' }]\n").find("content item 1, name"),
              std::string::npos);
    EXPECT_NE(refusal(row + "content = [{ file = 'c', as = 'C' }]\n").find("content item 1, as: unknown field"),
              std::string::npos);
    EXPECT_NE(refusal(row + "content = [3]\n").find("content item 1: must be a path or a table"), std::string::npos);
}

TEST(ManifestRefusals, DocumentShape)
{
    EXPECT_EQ(refusal("[archives]\nid = 1\n"),
              "kit.toml:1: archives: must be an array of tables, written as [[archives]]");
    EXPECT_NE(refusal("[[widgets]]\nid = 1\n").find("widgets: unknown field"), std::string::npos);
    EXPECT_NE(refusal("kit = 3\n").find("[kit]: must be a table"), std::string::npos);
    // TOML syntax errors keep the parser's line and column.
    const std::string message = refusal("[kit]\ntitle = \"open\n");
    EXPECT_EQ(message.rfind("kit.toml:2:", 0), 0u) << message;
}

TEST(ManifestFiles, ReadsFromDiskAndStartsPathsInTheManifestsFolder)
{
    EXPECT_THROW(read_manifest("/nonexistent/kit.toml"), KitError);
    EXPECT_THROW(read_manifest(std::filesystem::temp_directory_path()), KitError);
    const Manifest manifest = read_manifest(DEMO_KIT_MANIFEST);
    EXPECT_EQ(manifest.folder, std::filesystem::path(DEMO_KIT_MANIFEST).parent_path());
    EXPECT_EQ(manifest.file, DEMO_KIT_MANIFEST);
}

TEST(ManifestFiles, KitFieldsComeFromTheManifestTheyAreBasedOn)
{
    upkit::test::TempDir dir;
    upkit::test::write_file(dir / "base/kit.toml", std::string("[kit]\ntitle = \"Base\"\nmaker = \"M\"\n"
                                                               "bitmap = \"art/k.bmp\"\ntables = []\n"));
    upkit::test::write_file(dir / "kit.toml", std::string("[kit]\nbased_on = \"base/kit.toml\"\ntitle = \"Own\"\n"));
    const Manifest manifest = read_manifest(dir / "kit.toml");
    EXPECT_EQ(manifest.bases, std::vector<std::filesystem::path>{dir / "base/kit.toml"});
    EXPECT_EQ(manifest.kit.title, "Own");
    EXPECT_EQ(manifest.kit.maker, "M");
    EXPECT_TRUE(manifest.kit.tables.empty());
    // The base's paths still mean the base's files.
    ASSERT_TRUE(manifest.kit.bitmap);
    EXPECT_EQ(std::filesystem::path(manifest.kit.bitmap->path),
              std::filesystem::absolute(dir / "base/art/k.bmp").lexically_normal());

    // Manifests based on each other.
    upkit::test::write_file(dir / "loop.toml", std::string("[kit]\nbased_on = \"loop.toml\"\n"));
    try {
        read_manifest(dir / "loop.toml");
        ADD_FAILURE() << "a loop was accepted";
    } catch (const KitError& e) {
        EXPECT_NE(std::string(e.what()).find("in a loop"), std::string::npos) << e.what();
    }
    upkit::test::write_file(dir / "lost.toml", std::string("[kit]\nbased_on = \"missing.toml\"\n"));
    EXPECT_THROW(read_manifest(dir / "lost.toml"), KitError);
}

TEST(ManifestRefusals, TablesAndArchivesTheKitLeavesOut)
{
    EXPECT_NE(refusal("[kit]\ntables = [\"Windows\"]\n").find("[kit] tables: the names are"), std::string::npos);
    EXPECT_NE(refusal("[kit]\ntables = [\"WindowList\", \"WindowList\"]\n").find("named twice"), std::string::npos);
    EXPECT_NE(refusal("[[archives]]\nid = 1\nprogress = \"P\"\ncarried = false\ncontent = [\"a\"]\n")
                  .find("takes no content"),
              std::string::npos);
    EXPECT_NE(refusal("[[archives]]\nid = 1\nprogress = \"P\"\narchive = \"a.kw\"\nlevel = 3\n").find("takes no level"),
              std::string::npos);
    EXPECT_NE(refusal(std::string(kArchive) + "level = 10\n").find("out of range"), std::string::npos);
    const Manifest manifest = parse("[[archives]]\nid = 1\nprogress = \"P\"\ncarried = false\n");
    EXPECT_FALSE(manifest.archives.at(0).carried);
    EXPECT_TRUE(manifest.archives.at(0).content.empty());
}

// The manual describes every field the reader accepts, each in its table's
// section: a field added without its documentation fails here.
TEST(ManifestReference, DescribesEveryFieldTheReaderTakes)
{
    const std::vector<std::uint8_t> bytes = upkit::test::read_file(MANIFEST_REFERENCE);
    const std::string manual(bytes.begin(), bytes.end());
    const auto section = [&](const std::string& heading) {
        const std::size_t start = manual.find("\n## `" + heading + "`");
        EXPECT_NE(start, std::string::npos) << heading;
        if (start == std::string::npos)
            return std::string();
        return manual.substr(start, manual.find("\n## ", start + 1) - start);
    };
    for (const ManifestTable& table : manifest_tables()) {
        if (table.name == "archives content item") {
            const std::string archives = section("[[archives]]");
            for (const std::string& field : table.fields)
                EXPECT_NE(archives.find(field + " = "), std::string::npos) << "content item field " << field;
            continue;
        }
        const std::string text = section(table.name == "kit" ? "[kit]" : "[[" + table.name + "]]");
        for (const std::string& field : table.fields)
            EXPECT_NE(text.find("\n| `" + field + "` |"), std::string::npos) << table.name << " field " << field;
    }

    // [messages] has a page of its own, with every text's key.
    const std::vector<std::uint8_t> page = upkit::test::read_file(TRANSLATION_GUIDE);
    const std::string translations(page.begin(), page.end());
    for (const KitText& text : kKitTexts)
        EXPECT_NE(translations.find("`" + std::string(text.key) + "`"), std::string::npos) << text.key;
}
