// The four tables read back as the kit walks them: the demo kit's tables are
// the rows of resources/demo/kit.toml, byte for byte as kitbuild encodes
// them; the end marker, odd offsets and Windows-1252 text; tables that run
// off their data.

#include <gtest/gtest.h>

#include <cctype>
#include <functional>
#include <map>

#include "decode_error.h"
#include "demo_kit.h"
#include "kit_resource_ids.h"
#include "kit_tables.h"
#include "manifest.h"
#include "table_encoding.h"

namespace upkit::test {
namespace {

using kitread::DecodeError;

const Bytes& demo_table(const std::string& arch, const char* name)
{
    static std::map<std::string, std::vector<pe::Resource>> kits;
    if (!kits.count(arch))
        kits[arch] = demo_kit_resources(arch);
    std::string stored = name;
    for (char& c : stored)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return resource_of(kits[arch], pe::ResourceKey::of(pe::kTypeRcData), pe::ResourceKey::named(stored)).data;
}

Bytes bytes(std::string_view text)
{
    return Bytes(text.begin(), text.end());
}

std::string decode_error(const std::function<void()>& decode)
{
    try {
        decode();
    } catch (const DecodeError& e) {
        return e.what();
    }
    ADD_FAILURE() << "no DecodeError";
    return {};
}

class DemoKitTables : public ::testing::TestWithParam<std::string> { };

// Each table decodes to rows that encode back to the same bytes, and those
// are the bytes of the manifest's rows. The checksums come from the built
// programs, which differ between the targets: they are taken from the kit.
TEST_P(DemoKitTables, AreTheManifestsRowsByteForByte)
{
    kitbuild::Manifest manifest = kitbuild::read_manifest(DEMO_KIT_MANIFEST);
    kitbuild::Diagnostics diagnostics;

    const Bytes& versions = demo_table(GetParam(), KIT_TABLE_APP_VERSIONS);
    const std::vector<AppVersionRow> version_rows = kitread::decode_app_versions(versions);
    ASSERT_EQ(version_rows.size(), manifest.app_versions.size());
    for (std::size_t i = 0; i < version_rows.size(); ++i)
        manifest.app_versions[i].checksum = version_rows[i].checksum;
    EXPECT_EQ(kitbuild::encode_app_versions(version_rows, diagnostics), versions);
    EXPECT_EQ(kitbuild::encode_app_versions(manifest.app_versions, diagnostics), versions);

    const Bytes& windows = demo_table(GetParam(), KIT_TABLE_WINDOW_LIST);
    EXPECT_EQ(kitbuild::encode_window_list(kitread::decode_window_list(windows), diagnostics), windows);
    EXPECT_EQ(kitbuild::encode_window_list(manifest.windows, diagnostics), windows);

    // Progress texts of even length put the base at an odd offset.
    const Bytes& archives = demo_table(GetParam(), KIT_TABLE_ARCHIVE_LIST);
    const std::vector<ArchiveRow> archive_rows = kitread::decode_archive_list(archives);
    EXPECT_EQ(kitbuild::encode_archive_list(archive_rows, diagnostics), archives);
    EXPECT_EQ(kitbuild::encode_archive_list(manifest.archives, diagnostics), archives);
    ASSERT_EQ(archive_rows.size(), 4u);
    EXPECT_EQ(archive_rows[3].origin.row, 4);

    const Bytes& registry = demo_table(GetParam(), KIT_TABLE_REGISTRY_LIST);
    EXPECT_EQ(kitbuild::encode_registry_list(kitread::decode_registry_list(registry), diagnostics), registry);
    EXPECT_EQ(kitbuild::encode_registry_list(manifest.registry, diagnostics), registry);
}

INSTANTIATE_TEST_SUITE_P(BothTargets, DemoKitTables, ::testing::Values("win32", "win64"));

// The kit reads a 16-bit word where each row would begin and stops at 0: an
// empty first string followed by an empty second one ends a table, and so
// does a root code of 0; nothing after the marker is read.
TEST(KitTables, EndWhereARowWouldBeginWithAZeroWord)
{
    EXPECT_TRUE(kitread::decode_window_list(bytes(std::string("\0\0Widget\0Class\0\0", 16))).empty());
    const std::vector<WindowRow> windows =
        kitread::decode_window_list(bytes(std::string("\0Class\0\0\0\0garbage", 17)));
    ASSERT_EQ(windows.size(), 1u);  // an empty display name alone does not end the table
    EXPECT_EQ(windows[0].display, "");
    EXPECT_EQ(windows[0].window_class, "Class");

    const Bytes registry = {2, 0, 'K', 0, 0, 4, 0, '0', 0, 0, 0, 0xFF, 0xFF};
    const std::vector<RegistryRow> rows = kitread::decode_registry_list(registry);
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0].root, 2);
    EXPECT_EQ(rows[0].key, "K");
    EXPECT_EQ(rows[0].value, "");
    EXPECT_EQ(rows[0].type, 4);
    EXPECT_EQ(rows[0].data, "0");
}

TEST(KitTables, GiveWindows1252TextAsUtf8AndKeepLongTextWhole)
{
    const std::string long_text(300, 'x');
    const std::string nul(1, '\0');
    const Bytes table = bytes("Caf\xE9 \x80" + nul + nul + long_text + nul + nul + nul);
    const std::vector<WindowRow> rows = kitread::decode_window_list(table);
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0].display, "Caf\xC3\xA9 \xE2\x82\xAC");
    EXPECT_EQ(rows[0].title, long_text);
}

TEST(KitTables, RefuseTablesThatRunOffTheirData)
{
    EXPECT_NE(decode_error([] {
                  kitread::decode_window_list({});
              }).find("WindowList: the data ends before the first row"),
              std::string::npos);
    EXPECT_NE(decode_error([] { kitread::decode_window_list(Bytes{'W'}); }).find("before the first row"),
              std::string::npos);
    EXPECT_NE(decode_error([] {
                  kitread::decode_window_list(bytes(std::string("A\0B\0C\0", 6)));
              }).find("WindowList: the data ends after row 1 without the table's end marker"),
              std::string::npos);
    EXPECT_NE(decode_error([] {
                  kitread::decode_window_list(bytes(std::string("A\0B\0C\0D", 7)));
              }).find("after row 1"),
              std::string::npos);
    EXPECT_NE(decode_error([] {
                  kitread::decode_app_versions(bytes(std::string("Display\0Key", 11)));
              }).find("AppVersions row 1, key at offset 0x8: has no terminating NUL"),
              std::string::npos);
    EXPECT_NE(decode_error([] {
                  kitread::decode_archive_list(bytes(std::string("Text\0\x01", 6)));
              }).find("ArchiveList row 1, base at offset 0x5: runs past the end"),
              std::string::npos);
    EXPECT_NE(decode_error([] {
                  kitread::decode_registry_list(Bytes{2, 0, 'K', 0, 'V', 0, 1});
              }).find("RegistryList row 1, type"),
              std::string::npos);
}

}  // namespace
}  // namespace upkit::test
