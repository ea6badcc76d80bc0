#include "kit_contents.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fmt/format.h>
#include <fstream>
#include <iterator>
#include <set>

#include "decode_error.h"
#include "kit_resource_ids.h"
#include "kit_tables.h"
#include "resource_names.h"
#include "resource_reader.h"
#include "string_table.h"

namespace upkit::kitread {

namespace {

using pe::Resource;
using pe::ResourceKey;

const std::uint16_t kFirstKitString = IDS_TITLE;
const std::uint16_t kLastKitString = IDS_COMPLETED;

// Finds the resources a kit uses, the way the kit's loader does (names
// without regard to case, its own language first), and remembers which ones
// were taken.
class ResourceIndex {
public:
    explicit ResourceIndex(const std::vector<Resource>& resources)
        : resources_(resources)
        , used_(resources.size(), false)
    {
    }

    const Resource* take(const ResourceKey& type, const ResourceKey& name)
    {
        std::optional<std::size_t> found;
        for (std::size_t i = 0; i < resources_.size(); ++i) {
            const Resource& r = resources_[i];
            if (!same_key(r.type, type) || !same_key(r.name, name))
                continue;
            if (!found || (r.language == pe::kLanguageEnglishUs && resources_[*found].language != r.language))
                found = i;
        }
        if (!found)
            return nullptr;
        used_[*found] = true;
        return &resources_[*found];
    }

    // The distinct names of a type, in directory order.
    std::vector<ResourceKey> names_of(const ResourceKey& type) const
    {
        std::vector<ResourceKey> names;
        for (const Resource& r : resources_)
            if (same_key(r.type, type) && std::find(names.begin(), names.end(), r.name) == names.end())
                names.push_back(r.name);
        return names;
    }

    void release(const Resource* resource) { used_[static_cast<std::size_t>(resource - resources_.data())] = false; }

    std::vector<const Resource*> unused() const
    {
        std::vector<const Resource*> out;
        for (std::size_t i = 0; i < resources_.size(); ++i)
            if (!used_[i])
                out.push_back(&resources_[i]);
        return out;
    }

private:
    const std::vector<Resource>& resources_;
    std::vector<bool> used_;
};

// A resource that cannot be decoded is reported, and the rest of the kit is
// still read.
template <typename Result, typename Decode>
std::optional<Result> decode_or_report(const Resource& resource, Decode decode, KitContents& contents)
{
    try {
        return decode(std::span<const std::uint8_t>(resource.data));
    } catch (const DecodeError& e) {
        contents.damaged.push_back(fmt::format("{}: {}", describe_resource(resource), e.what()));
        return std::nullopt;
    }
}

// Whether the table's resource is there, decoded or not.
template <typename Row, typename Decode>
bool read_table(ResourceIndex& index, const char* name, Decode decode, std::optional<std::vector<Row>>& out,
                KitContents& contents)
{
    const Resource* table = index.take(ResourceKey::of(pe::kTypeRcData), ResourceKey::named(name));
    if (!table) {
        contents.missing.push_back(fmt::format("table {} (RT_RCDATA)", name));
        return false;
    }
    out = decode_or_report<std::vector<Row>>(*table, decode, contents);
    return true;
}

void read_strings(ResourceIndex& index, KitContents& contents)
{
    const ResourceKey string_type = ResourceKey::of(pe::kTypeString);
    const std::uint16_t kit_block = string_block_of(kFirstKitString);
    bool kit_block_found = false;
    for (const ResourceKey& block : index.names_of(string_type)) {
        if (!block.is_id())
            continue;  // a named string block is never loaded: left unused
        const Resource* resource = index.take(string_type, block);
        const auto strings = decode_or_report<std::map<std::uint16_t, std::string>>(
            *resource, [&](std::span<const std::uint8_t> data) { return decode_string_block(*block.id, data); },
            contents);
        if (strings)
            contents.strings.insert(strings->begin(), strings->end());
        if (*block.id == kit_block)
            kit_block_found = true;
        else
            index.release(resource);  // holds none of the kit's strings
    }
    if (!kit_block_found) {
        contents.missing.push_back(
            fmt::format("strings {} to {} (RT_STRING/{})", kFirstKitString, kLastKitString, kit_block));
        return;
    }
    for (std::uint16_t id = kFirstKitString; id <= kLastKitString; ++id)
        if (!contents.strings.count(id))
            contents.missing.push_back(fmt::format("string {}", id));
}

void read_dialog(ResourceIndex& index, KitContents& contents)
{
    const Resource* dialog = index.take(ResourceKey::of(pe::kTypeDialog), ResourceKey::of(IDD_INSTALL));
    if (!dialog) {
        contents.missing.push_back(fmt::format("dialog {} (RT_DIALOG)", IDD_INSTALL));
        return;
    }
    contents.dialog = decode_or_report<DialogTemplate>(*dialog, decode_dialog, contents);
}

void read_bitmap(ResourceIndex& index, KitContents& contents)
{
    if (!index.take(ResourceKey::of(pe::kTypeBitmap), ResourceKey::of(IDB_KIT_PICTURE)))
        contents.missing.push_back(fmt::format("bitmap {} (RT_BITMAP)", IDB_KIT_PICTURE));
}

// The shell shows the first icon group, whatever its id; the kit's is
// IDI_KIT.
void read_icon(ResourceIndex& index, KitContents& contents)
{
    const ResourceKey group_type = ResourceKey::of(pe::kTypeGroupIcon);
    std::vector<ResourceKey> groups = index.names_of(group_type);
    if (groups.empty()) {
        contents.missing.push_back("icon group (RT_GROUP_ICON)");
        return;
    }
    const auto kit_group = std::find(groups.begin(), groups.end(), ResourceKey::of(IDI_KIT));
    const ResourceKey name = kit_group != groups.end() ? *kit_group : groups.front();
    const Resource* group = index.take(group_type, name);
    std::optional<std::vector<GroupIconEntry>> images =
        decode_or_report<std::vector<GroupIconEntry>>(*group, decode_group_icon, contents);
    if (!images)
        return;
    for (const GroupIconEntry& image : *images)
        if (!index.take(ResourceKey::of(pe::kTypeIcon), ResourceKey::of(image.icon_id)))
            contents.missing.push_back(
                fmt::format("icon image {} (RT_ICON, named by icon group {})", image.icon_id, name.describe()));
    contents.icon = KitIcon{name, std::move(*images)};
}

void read_version(ResourceIndex& index, KitContents& contents)
{
    const Resource* version = index.take(ResourceKey::of(pe::kTypeVersion), ResourceKey::of(IDV_VERSION));
    if (!version) {
        contents.missing.push_back(fmt::format("version block {} (RT_VERSION)", IDV_VERSION));
        return;
    }
    contents.version = decode_or_report<VersionInfo>(*version, decode_version_info, contents);
}

// Every ARCHIVE resource with an id, matched with the ArchiveList rows. The
// kit finds an archive by its id alone, so a named one is never installed.
// An ArchiveList that is there but cannot be decoded says nothing either way.
void read_archives(ResourceIndex& index, bool archive_list_found, KitContents& contents)
{
    const ResourceKey archive_type = ResourceKey::named(KIT_ARCHIVE_TYPE);
    std::set<std::uint16_t> unlisted;
    for (const ResourceKey& name : index.names_of(archive_type)) {
        if (!name.is_id())
            continue;
        const Resource* archive = index.take(archive_type, name);
        contents.archives.push_back(KitArchive{*name.id, 0, archive->data});
        unlisted.insert(*name.id);
    }
    if (archive_list_found && !contents.tables.archives)
        return;
    const std::vector<ArchiveRow> no_rows;
    for (const ArchiveRow& row : contents.tables.archives ? *contents.tables.archives : no_rows) {
        const auto archive = std::find_if(contents.archives.begin(), contents.archives.end(),
                                          [&](const KitArchive& a) { return a.id == row.id; });
        if (archive == contents.archives.end()) {
            contents.missing.push_back(
                fmt::format("archive {} (named by {} row {})", row.id, KIT_TABLE_ARCHIVE_LIST, row.origin.row));
            continue;
        }
        if (archive->row == 0)
            archive->row = row.origin.row;
        unlisted.erase(row.id);
    }
    for (const std::uint16_t id : unlisted)
        contents.unexpected.push_back(
            fmt::format("archive {}: no {} row names it, so the kit never installs it", id, KIT_TABLE_ARCHIVE_LIST));
}

void list_unused(const ResourceIndex& index, KitContents& contents)
{
    for (const Resource* resource : index.unused())
        contents.unexpected.push_back(
            fmt::format("{}, {} bytes: not used by the kit", describe_resource(*resource), resource->data.size()));
}

}  // namespace

KitContents read_kit_contents(std::span<const std::uint8_t> bytes)
{
    const pe::PeImage image(bytes);
    KitContents contents;
    contents.coff = image.coff();
    contents.optional = image.optional();
    contents.sections = image.sections();
    contents.resources = pe::read_resources(image);

    ResourceIndex index(contents.resources);
    read_table(index, KIT_TABLE_APP_VERSIONS, decode_app_versions, contents.tables.app_versions, contents);
    read_table(index, KIT_TABLE_WINDOW_LIST, decode_window_list, contents.tables.windows, contents);
    const bool archive_list_found =
        read_table(index, KIT_TABLE_ARCHIVE_LIST, decode_archive_list, contents.tables.archives, contents);
    read_table(index, KIT_TABLE_REGISTRY_LIST, decode_registry_list, contents.tables.registry, contents);
    read_dialog(index, contents);
    read_bitmap(index, contents);
    read_strings(index, contents);
    read_icon(index, contents);
    read_version(index, contents);
    read_archives(index, archive_list_found, contents);
    list_unused(index, contents);
    return contents;
}

KitContents read_kit_file(const std::filesystem::path& path)
{
    std::error_code error;
    if (!std::filesystem::is_regular_file(path, error))
        throw std::runtime_error(error ? fmt::format("cannot be read: {}", error.message())
                                       : std::string("is not a regular file"));
    std::ifstream in(path, std::ios::binary);
    if (!in)
        throw std::runtime_error(fmt::format("cannot be opened: {}", std::strerror(errno)));
    const std::vector<std::uint8_t> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (in.bad())
        throw std::runtime_error("cannot be read to its end");
    return read_kit_contents(bytes);
}

bool carries_kit_resources(const KitContents& kit)
{
    const KitTables& tables = kit.tables;
    if (tables.app_versions || tables.windows || tables.archives || tables.registry || !kit.archives.empty())
        return true;
    for (const Resource& resource : kit.resources)
        if (resource.type == ResourceKey::of(pe::kTypeDialog) && resource.name == ResourceKey::of(IDD_INSTALL))
            return true;
    return false;
}

}  // namespace upkit::kitread
