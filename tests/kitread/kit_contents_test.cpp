// Whole kits: the demo kit as built has everything a kit needs and nothing
// else; kits made from its resources with parts taken away, renamed, added
// or damaged say exactly what is missing, unexpected or undecodable.

#include <gtest/gtest.h>

#include <algorithm>

#include "demo_kit.h"
#include "kit_contents.h"
#include "kit_resource_ids.h"

namespace upkit::test {
namespace {

using pe::Resource;
using pe::ResourceKey;

ResourceKey rcdata()
{
    return ResourceKey::of(pe::kTypeRcData);
}
ResourceKey archive_type()
{
    return ResourceKey::named("ARCHIVE");
}

void remove_resource(std::vector<Resource>& resources, const ResourceKey& type, const ResourceKey& name)
{
    const auto it = std::find_if(resources.begin(), resources.end(),
                                 [&](const Resource& r) { return r.type == type && r.name == name; });
    ASSERT_NE(it, resources.end()) << type.describe() << "/" << name.describe();
    resources.erase(it);
}

Resource& find(std::vector<Resource>& resources, const ResourceKey& type, const ResourceKey& name)
{
    return const_cast<Resource&>(resource_of(resources, type, name));
}

kitread::KitContents read_resources_as_kit(const std::vector<Resource>& resources)
{
    return kitread::read_kit_contents(image_with_resources(resources));
}

class DemoKit : public ::testing::TestWithParam<std::string> { };

TEST_P(DemoKit, HasEverythingAKitNeedsAndNothingElse)
{
    const kitread::KitContents kit = kitread::read_kit_contents(demo_kit_bytes(GetParam()));
    EXPECT_TRUE(kit.missing.empty()) << kit.missing.front();
    EXPECT_TRUE(kit.unexpected.empty()) << kit.unexpected.front();
    EXPECT_TRUE(kit.damaged.empty()) << kit.damaged.front();
    EXPECT_EQ(kit.resources.size(), 15u);
    EXPECT_EQ(kit.coff.machine, GetParam() == "win32" ? pe::kMachineI386 : pe::kMachineAmd64);

    ASSERT_TRUE(kit.version && kit.dialog && kit.icon);
    EXPECT_EQ(kit.dialog->controls.size(), 12u);
    EXPECT_EQ(kit.strings.size(), 7u);
    EXPECT_EQ(kit.icon->name, ResourceKey::of(IDI_KIT));
    ASSERT_TRUE(kit.tables.app_versions && kit.tables.windows && kit.tables.archives && kit.tables.registry);
    EXPECT_EQ(kit.tables.registry->size(), 12u);

    ASSERT_EQ(kit.archives.size(), 4u);
    for (std::size_t i = 0; i < kit.archives.size(); ++i) {
        EXPECT_EQ(kit.archives[i].id, 2001 + i);
        EXPECT_EQ(kit.archives[i].row, static_cast<int>(i + 1));
        EXPECT_EQ(std::string(kit.archives[i].bytes.begin(), kit.archives[i].bytes.begin() + 2), "KW");
        EXPECT_EQ(kit.archives[i].bytes,
                  resource_of(kit.resources, archive_type(), ResourceKey::of(kit.archives[i].id)).data);
    }
}

INSTANTIATE_TEST_SUITE_P(BothTargets, DemoKit, ::testing::Values("win32", "win64"));

TEST(KitContents, SaysWhatIsMissingAndWhatIsNotUsed)
{
    std::vector<Resource> resources = demo_kit_resources("win32");
    remove_resource(resources, rcdata(), ResourceKey::named("WINDOWLIST"));
    remove_resource(resources, ResourceKey::of(pe::kTypeDialog), ResourceKey::of(IDD_INSTALL));
    remove_resource(resources, ResourceKey::of(pe::kTypeBitmap), ResourceKey::of(IDB_KIT_PICTURE));
    remove_resource(resources, ResourceKey::of(pe::kTypeVersion), ResourceKey::of(IDV_VERSION));
    remove_resource(resources, ResourceKey::of(pe::kTypeIcon), ResourceKey::of(2));
    remove_resource(resources, archive_type(), ResourceKey::of(2003));
    // String 1004 emptied: its count word is 0 and its text gone.
    Resource& strings = find(resources, ResourceKey::of(pe::kTypeString), ResourceKey::of(63));
    std::size_t at = 0;
    for (int i = 0; i < 12; ++i)
        at += 2 + 2 * get16(strings.data, at);
    const std::size_t length = get16(strings.data, at);
    strings.data.erase(strings.data.begin() + static_cast<std::ptrdiff_t>(at + 2),
                       strings.data.begin() + static_cast<std::ptrdiff_t>(at + 2 + 2 * length));
    put16(strings.data, at, 0);
    // Things no kit uses.
    resources.push_back({ResourceKey::of(24), ResourceKey::of(1), 1033, 0, Bytes(20, '<')});
    resources.push_back({archive_type(), ResourceKey::of(2009), 1033, 0, Bytes{'K', 'W'}});
    resources.push_back({archive_type(), ResourceKey::named("EXTRA"), 1033, 0, Bytes{'K', 'W'}});

    const kitread::KitContents kit = read_resources_as_kit(resources);
    EXPECT_EQ(kit.missing, (std::vector<std::string>{
                               "table WindowList (RT_RCDATA)",
                               "dialog 100 (RT_DIALOG)",
                               "bitmap 1000 (RT_BITMAP)",
                               "string 1004",
                               "icon image 2 (RT_ICON, named by icon group 1000)",
                               "version block 1 (RT_VERSION)",
                               "archive 2003 (named by ArchiveList row 3)",
                           }));
    EXPECT_EQ(kit.unexpected, (std::vector<std::string>{
                                  "archive 2009: no ArchiveList row names it, so the kit never installs it",
                                  "ARCHIVE/EXTRA (language 1033), 2 bytes: not used by the kit",
                                  "RT_MANIFEST/1 (language 1033), 20 bytes: not used by the kit",
                              }));
    EXPECT_TRUE(kit.damaged.empty());
    EXPECT_FALSE(kit.tables.windows);
    EXPECT_EQ(kit.strings.count(1004), 0u);
    EXPECT_EQ(kit.strings.count(1005), 1u);
    ASSERT_EQ(kit.archives.size(), 4u);  // 2001, 2002, 2004, 2009
    EXPECT_EQ(kit.archives[3].id, 2009);
    EXPECT_EQ(kit.archives[3].row, 0);
}

TEST(KitContents, MissesTheWholeStringBlockInOneLine)
{
    std::vector<Resource> resources = demo_kit_resources("win32");
    find(resources, ResourceKey::of(pe::kTypeString), ResourceKey::of(63)).name = ResourceKey::of(64);
    const kitread::KitContents kit = read_resources_as_kit(resources);
    EXPECT_EQ(kit.missing, (std::vector<std::string>{"strings 1000 to 1006 (RT_STRING/63)"}));
    EXPECT_EQ(kit.unexpected,
              (std::vector<std::string>{"RT_STRING/64 (language 1033), 914 bytes: not used by the kit"}));
    EXPECT_EQ(kit.strings.count(1016), 1u);  // what block 64 would hold
}

// The kit finds names without regard to case and prefers its own language;
// resources in other languages are left over.
TEST(KitContents, FindsNamesInAnyCaseAndPrefersEnglish)
{
    std::vector<Resource> resources = demo_kit_resources("win32");
    find(resources, rcdata(), ResourceKey::named("APPVERSIONS")).name = ResourceKey::named("AppVersions");
    for (Resource& r : resources) {
        if (r.type == archive_type())
            r.type = ResourceKey::named("Archive");
    }
    Resource german = resource_of(resources, ResourceKey::of(pe::kTypeDialog), ResourceKey::of(IDD_INSTALL));
    german.language = 1031;
    german.data.resize(10);  // would not decode
    resources.insert(resources.begin(), german);

    const kitread::KitContents kit = read_resources_as_kit(resources);
    EXPECT_TRUE(kit.missing.empty()) << kit.missing.front();
    EXPECT_TRUE(kit.damaged.empty()) << kit.damaged.front();
    EXPECT_TRUE(kit.tables.app_versions);
    EXPECT_EQ(kit.archives.size(), 4u);
    ASSERT_TRUE(kit.dialog);
    EXPECT_EQ(kit.dialog->controls.size(), 12u);
    EXPECT_EQ(kit.unexpected,
              (std::vector<std::string>{"RT_DIALOG/100 (language 1031), 10 bytes: not used by the kit"}));
}

// A damaged resource is reported; the rest of the kit is still read.
TEST(KitContents, ReportsResourcesItCannotDecode)
{
    std::vector<Resource> resources = demo_kit_resources("win32");
    find(resources, ResourceKey::of(pe::kTypeDialog), ResourceKey::of(IDD_INSTALL)).data.resize(100);
    Bytes& archive_list = find(resources, rcdata(), ResourceKey::named("ARCHIVELIST")).data;
    archive_list.resize(archive_list.size() - 2);  // no end marker
    find(resources, ResourceKey::of(pe::kTypeGroupIcon), ResourceKey::of(IDI_KIT)).data[2] = 2;

    const kitread::KitContents kit = read_resources_as_kit(resources);
    ASSERT_EQ(kit.damaged.size(), 3u);
    EXPECT_EQ(kit.damaged[0].rfind("RT_RCDATA/ARCHIVELIST (language 1033): ArchiveList: the data ends after row 4", 0),
              0u)
        << kit.damaged[0];
    EXPECT_EQ(kit.damaged[1].rfind("RT_DIALOG/100 (language 1033): dialog template: control", 0), 0u) << kit.damaged[1];
    EXPECT_EQ(kit.damaged[2].rfind("RT_GROUP_ICON/1000 (language 1033): icon group:", 0), 0u) << kit.damaged[2];
    EXPECT_FALSE(kit.dialog);
    EXPECT_FALSE(kit.tables.archives);
    EXPECT_TRUE(kit.version);
    EXPECT_TRUE(kit.tables.registry);
    // Without a readable ArchiveList nothing is said about the archives.
    EXPECT_EQ(kit.archives.size(), 4u);
    EXPECT_TRUE(kit.missing.empty()) << kit.missing.front();
    // The icon images are not claimed by an icon group that cannot be read.
    EXPECT_EQ(kit.unexpected.size(), 2u);
}

}  // namespace
}  // namespace upkit::test
