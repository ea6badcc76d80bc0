#include <fmt/format.h>

#include "dos_time.h"
#include "engine_paths.h"
#include "inspect_report.h"
#include "kit_code_names.h"
#include "kit_resource_ids.h"
#include "resource_names.h"
#include "text_codec.h"

namespace upkit {

namespace {

using json = nlohmann::ordered_json;
using kitread::KitContents;

// Ids as numbers, names as strings.
json key_json(const pe::ResourceKey& key)
{
    return key.is_id() ? json(*key.id) : json(key.name);
}

// A template field: null when empty, a number for an ordinal, else the text.
json name_or_ordinal_json(const kitread::NameOrOrdinal& field)
{
    if (field.ordinal)
        return *field.ordinal;
    return field.text.empty() ? json() : json(field.text);
}

json image_json(const KitContents& kit)
{
    json sections = json::array();
    for (const pe::Section& section : kit.sections)
        sections.push_back({{"name", section.name},
                            {"rva", section.virtual_address},
                            {"virtual_size", section.virtual_size},
                            {"file_offset", section.raw_offset},
                            {"file_size", section.raw_size}});
    return {
        {"format", kit.optional.is_pe32_plus() ? "PE32+" : "PE32"},
        {"machine", pe::machine_name(kit.coff.machine)},
        {"time_stamp", kit.coff.time_stamp},
        {"image_base", kit.optional.image_base},
        {"subsystem", kit.optional.subsystem},
        {"subsystem_version",
         fmt::format("{}.{}", kit.optional.subsystem_version_major, kit.optional.subsystem_version_minor)},
        {"checksum", kit.optional.checksum},
        {"sections", sections},
    };
}

json resources_json(const KitContents& kit)
{
    json resources = json::array();
    for (const pe::Resource& resource : kit.resources)
        resources.push_back({{"type", key_json(resource.type)},
                             {"type_name", kitread::describe_type(resource.type)},
                             {"name", key_json(resource.name)},
                             {"language", resource.language},
                             {"code_page", resource.code_page},
                             {"size", resource.data.size()}});
    return resources;
}

json version_json(const std::optional<kitread::VersionInfo>& version)
{
    if (!version)
        return nullptr;
    json out = json::object();
    if (const auto& fixed = version->fixed) {
        out["file_version"] = kitread::version_text(fixed->file_version_ms, fixed->file_version_ls);
        out["product_version"] = kitread::version_text(fixed->product_version_ms, fixed->product_version_ls);
        out["file_flags_mask"] = fixed->flags_mask;
        out["file_flags"] = fixed->flags;
        out["file_os"] = fixed->os;
        out["file_type"] = fixed->type;
        out["file_subtype"] = fixed->subtype;
    }
    json tables = json::array();
    for (const kitread::VersionStringTable& table : version->string_tables) {
        json values = json::object();
        for (const auto& [key, value] : table.values)
            values[key] = value;
        tables.push_back({{"key", table.key}, {"values", values}});
    }
    out["string_tables"] = tables;
    json translations = json::array();
    for (const kitread::Translation& translation : version->translations)
        translations.push_back({{"language", translation.language}, {"code_page", translation.code_page}});
    out["translations"] = translations;
    return out;
}

json strings_json(const KitContents& kit)
{
    json strings = json::object();
    for (const auto& [id, text] : kit.strings)
        strings[std::to_string(id)] = text;
    return strings;
}

json dialog_json(const std::optional<kitread::DialogTemplate>& dialog)
{
    if (!dialog)
        return nullptr;
    json controls = json::array();
    for (const kitread::DialogControl& control : dialog->controls)
        controls.push_back({{"id", control.id},
                            {"class", name_or_ordinal_json(control.window_class)},
                            {"class_name", kitread::describe_class(control.window_class)},
                            {"text", name_or_ordinal_json(control.text)},
                            {"style", control.style},
                            {"ex_style", control.ex_style},
                            {"x", control.x},
                            {"y", control.y},
                            {"width", control.width},
                            {"height", control.height}});
    json font = nullptr;
    if (dialog->font)
        font = {{"size", dialog->font->point_size}, {"name", dialog->font->name}};
    return {
        {"extended", dialog->extended},
        {"style", dialog->style},
        {"ex_style", dialog->ex_style},
        {"x", dialog->x},
        {"y", dialog->y},
        {"width", dialog->width},
        {"height", dialog->height},
        {"menu", name_or_ordinal_json(dialog->menu)},
        {"class", name_or_ordinal_json(dialog->window_class)},
        {"caption", dialog->caption},
        {"font", font},
        {"controls", controls},
    };
}

json icon_json(const std::optional<kitread::KitIcon>& icon)
{
    if (!icon)
        return nullptr;
    json images = json::array();
    for (const kitread::GroupIconEntry& image : icon->images)
        images.push_back({{"width", image.width},
                          {"height", image.height},
                          {"colors", image.color_count},
                          {"planes", image.planes},
                          {"bit_count", image.bit_count},
                          {"size", image.size},
                          {"icon_id", image.icon_id}});
    return {{"name", key_json(icon->name)}, {"images", images}};
}

template <typename Row, typename RowJson> json table_json(const std::optional<std::vector<Row>>& rows, RowJson row_json)
{
    if (!rows)
        return nullptr;
    json out = json::array();
    for (const Row& row : *rows)
        out.push_back(row_json(row));
    return out;
}

json tables_json(const kitread::KitTables& tables)
{
    return {
        {KIT_TABLE_APP_VERSIONS, table_json(tables.app_versions,
                                            [](const AppVersionRow& row) -> json {
                                                return {{"display", row.display},
                                                        {"key", row.key},
                                                        {"value", row.value},
                                                        {"file", row.file},
                                                        {"checksum", row.checksum.value_or(0)}};
                                            })},
        {KIT_TABLE_WINDOW_LIST,
         table_json(tables.windows,
                    [](const WindowRow& row) -> json {
                        return {{"display", row.display}, {"class", row.window_class}, {"title", row.title}};
                    })},
        {KIT_TABLE_ARCHIVE_LIST, table_json(tables.archives,
                                            [](const ArchiveRow& row) -> json {
                                                return {{"progress", row.progress},
                                                        {"base", row.base},
                                                        {"base_name", destination_base_name(row.base)},
                                                        {"subdirectory", row.subdirectory},
                                                        {"id", row.id}};
                                            })},
        {KIT_TABLE_REGISTRY_LIST,
         table_json(tables.registry,
                    [](const RegistryRow& row) -> json {
                        return {{"root", row.root}, {"root_name", registry_root_name(row.root)},
                                {"key", row.key},   {"value", row.value},
                                {"type", row.type}, {"type_name", registry_type_name(row.type)},
                                {"data", row.data}};
                    })},
    };
}

json archive_json(const kitread::KitArchive& archive, const ScannedArchive& listing)
{
    json out = {{"id", archive.id},
                {"row", archive.row ? json(archive.row) : json()},
                {"size", archive.bytes.size()},
                {"readable", listing.readable}};
    if (!listing.readable) {
        out["failure"] = listing.failure;
        return out;
    }
    json members = json::array();
    for (const MemberEntry& member : listing.entries)
        members.push_back({{"name", utf8_from_windows1252(member.name)},
                           {"size", member.size},
                           {"modified", format_dos_stamp(DosStamp{member.time, member.date})},
                           {"note", utf8_from_windows1252(member.note)}});
    out["window_bits"] = listing.window_bits;
    out["version_bytes"] = {listing.version_a, listing.version_b};
    out["members"] = members;
    return out;
}

}  // namespace

nlohmann::ordered_json inspect_json(const std::string& file, const KitContents& kit,
                                    const std::vector<ScannedArchive>& listings)
{
    json archives = json::array();
    for (std::size_t i = 0; i < kit.archives.size() && i < listings.size(); ++i)
        archives.push_back(archive_json(kit.archives[i], listings[i]));
    return {
        {"file", file},
        {"image", image_json(kit)},
        {"resources", resources_json(kit)},
        {"version", version_json(kit.version)},
        {"strings", strings_json(kit)},
        {"dialog", dialog_json(kit.dialog)},
        {"icon", icon_json(kit.icon)},
        {"tables", tables_json(kit.tables)},
        {"archives", archives},
        {"missing", kit.missing},
        {"damaged", kit.damaged},
        {"unexpected", kit.unexpected},
    };
}

}  // namespace upkit
