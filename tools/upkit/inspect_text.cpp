#include <fmt/format.h>

#include "cli_output.h"
#include "dos_time.h"
#include "inspect_report.h"
#include "kit_code_names.h"
#include "kit_resource_ids.h"
#include "resource_names.h"
#include "version_info.h"

namespace upkit {

namespace {

using kitread::KitContents;

// Text from the kit, quoted and safe for a terminal.
std::string in_quotes(std::string_view text)
{
    return fmt::format("\"{}\"", printable(text));
}

void print_image(std::ostream& out, const std::string& file, const KitContents& kit)
{
    out << fmt::format("{}: {} image for {}, {} subsystem {}.{}, {} sections, {} resources\n", printable(file),
                       kit.optional.is_pe32_plus() ? "PE32+" : "PE32", pe::machine_name(kit.coff.machine),
                       pe::subsystem_name(kit.optional.subsystem), kit.optional.subsystem_version_major,
                       kit.optional.subsystem_version_minor, kit.sections.size(), kit.resources.size());
    out << "\nResources\n";
    if (kit.resources.empty())
        out << "  none\n";
    for (const pe::Resource& resource : kit.resources)
        out << fmt::format("  {:<40} {:>8} bytes\n", printable(kitread::describe_resource(resource)),
                           resource.data.size());
}

void print_version(std::ostream& out, const kitread::VersionInfo& version)
{
    out << "\nVersion block\n";
    if (const auto& fixed = version.fixed) {
        out << fmt::format("  file version     {}\n",
                           kitread::version_text(fixed->file_version_ms, fixed->file_version_ls));
        out << fmt::format("  product version  {}\n",
                           kitread::version_text(fixed->product_version_ms, fixed->product_version_ls));
        out << fmt::format("  file flags       0x{:08X} (mask 0x{:08X})\n", fixed->flags, fixed->flags_mask);
        out << fmt::format("  file OS          0x{:08X}\n", fixed->os);
        out << fmt::format("  file type        {}, subtype {}\n", fixed->type, fixed->subtype);
    } else {
        out << "  no fixed part\n";
    }
    for (const kitread::VersionStringTable& table : version.string_tables) {
        out << fmt::format("  strings {}\n", in_quotes(table.key));
        for (const auto& [key, value] : table.values)
            out << fmt::format("    {:<16} {}\n", printable(key), in_quotes(value));
    }
    for (const kitread::Translation& translation : version.translations)
        out << fmt::format("  translation      0x{:04X} 0x{:04X}\n", translation.language, translation.code_page);
}

void print_strings(std::ostream& out, const KitContents& kit)
{
    if (kit.strings.empty())
        return;
    out << "\nStrings\n";
    for (const auto& [id, text] : kit.strings)
        out << fmt::format("  {:>5}  {}\n", id, in_quotes(text));
}

std::string name_or_ordinal(const kitread::NameOrOrdinal& field, const char* if_empty)
{
    if (field.ordinal)
        return fmt::format("#{}", *field.ordinal);
    return field.text.empty() ? if_empty : in_quotes(field.text);
}

// Predefined classes by their name, classes given as strings quoted.
std::string control_class(const kitread::NameOrOrdinal& window_class)
{
    if (window_class.ordinal) {
        const std::string name = kitread::predefined_class_name(*window_class.ordinal);
        if (!name.empty())
            return name;
    }
    return name_or_ordinal(window_class, "\"\"");
}

void print_dialog(std::ostream& out, const kitread::DialogTemplate& dialog)
{
    out << fmt::format("\nDialog {}{}\n", IDD_INSTALL, dialog.extended ? " (extended template)" : "");
    out << fmt::format("  caption    {}\n", in_quotes(dialog.caption));
    out << fmt::format("  style      0x{:08X}, extended style 0x{:08X}\n", dialog.style, dialog.ex_style);
    out << fmt::format("  rectangle  {}, {}, {} x {}\n", dialog.x, dialog.y, dialog.width, dialog.height);
    out << fmt::format("  menu       {}\n", name_or_ordinal(dialog.menu, "none"));
    out << fmt::format("  class      {}\n", name_or_ordinal(dialog.window_class, "the dialog class"));
    if (dialog.font)
        out << fmt::format("  font       {} pt {}\n", dialog.font->point_size, in_quotes(dialog.font->name));
    out << fmt::format("  controls   {}\n", dialog.controls.size());
    for (const kitread::DialogControl& control : dialog.controls)
        out << fmt::format("    {:>5}  {:<20} {:>4}, {:>4}, {:>4} x {:<4}  style 0x{:08X}  {}\n", control.id,
                           control_class(control.window_class), control.x, control.y, control.width, control.height,
                           control.style, name_or_ordinal(control.text, "\"\""));
}

void print_icon(std::ostream& out, const kitread::KitIcon& icon)
{
    out << fmt::format("\nIcon group {}\n", printable(icon.name.describe()));
    for (const kitread::GroupIconEntry& image : icon.images)
        out << fmt::format("  {} x {}, {} colours, {} bits per pixel, {} bytes: icon {}\n", image.width, image.height,
                           image.color_count, image.bit_count, image.size, image.icon_id);
}

template <typename Row, typename PrintRow>
void print_table(std::ostream& out, const char* name, const std::optional<std::vector<Row>>& rows, PrintRow print_row)
{
    if (!rows)
        return;
    out << fmt::format("\n{}: {} rows\n", name, rows->size());
    for (const Row& row : *rows)
        out << fmt::format("  {:>3}  {}\n", row.origin.row, print_row(row));
}

void print_tables(std::ostream& out, const kitread::KitTables& tables)
{
    print_table(out, KIT_TABLE_APP_VERSIONS, tables.app_versions, [](const AppVersionRow& row) {
        return fmt::format("{}  key {}  value {}  file {}  checksum 0x{:04X}", in_quotes(row.display),
                           in_quotes(row.key), in_quotes(row.value), in_quotes(row.file), row.checksum.value_or(0));
    });
    print_table(out, KIT_TABLE_WINDOW_LIST, tables.windows, [](const WindowRow& row) {
        return fmt::format("{}  class {}  title {}", in_quotes(row.display), in_quotes(row.window_class),
                           in_quotes(row.title));
    });
    print_table(out, KIT_TABLE_ARCHIVE_LIST, tables.archives, [](const ArchiveRow& row) {
        return fmt::format("{}  {} ({})  subdirectory {}  archive {}", in_quotes(row.progress),
                           destination_base_name(row.base), row.base, in_quotes(row.subdirectory), row.id);
    });
    print_table(out, KIT_TABLE_REGISTRY_LIST, tables.registry, [](const RegistryRow& row) {
        return fmt::format("{} ({})  {}  value {}  {} ({})  {}", registry_root_name(row.root), row.root,
                           in_quotes(row.key), in_quotes(row.value), registry_type_name(row.type), row.type,
                           in_quotes(row.data));
    });
}

// The lines of `upkit list` for one archive.
void print_archive(std::ostream& out, const kitread::KitArchive& archive, const ScannedArchive& listing)
{
    const std::string row = archive.row ? fmt::format(" ({} row {})", KIT_TABLE_ARCHIVE_LIST, archive.row) : "";
    if (!listing.readable) {
        out << fmt::format("\nArchive {}{}: {} bytes, cannot be listed: {}\n", archive.id, row, archive.bytes.size(),
                           listing.failure);
        return;
    }
    out << fmt::format("\nArchive {}{}: {} bytes, {} members, window {} bits, version bytes {} {}\n", archive.id, row,
                       archive.bytes.size(), listing.entries.size(), listing.window_bits, listing.version_a,
                       listing.version_b);
    out << fmt::format("  {:>10}  {:<19}  {}\n", "size", "modified", "name");
    std::uint64_t total = 0;
    for (const MemberEntry& member : listing.entries) {
        std::string line =
            fmt::format("  {:>10}  {}  {}", member.size, format_dos_stamp(DosStamp{member.time, member.date}),
                        printable(utf8_from_windows1252(member.name)));
        if (!member.note.empty())
            line += fmt::format("  [{}]", printable(utf8_from_windows1252(member.note)));
        out << line << '\n';
        total += member.size;
    }
    out << fmt::format("  {:>10}  {:<19}  {} members\n", total, "total", listing.entries.size());
}

void print_findings(std::ostream& out, const KitContents& kit)
{
    out << '\n';
    if (kit.missing.empty() && kit.unexpected.empty() && kit.damaged.empty()) {
        out << "Nothing missing: the file has every resource a kit needs, and no others.\n";
        return;
    }
    for (const std::string& line : kit.missing)
        out << "missing: " << printable(line) << '\n';
    for (const std::string& line : kit.damaged)
        out << "damaged: " << printable(line) << '\n';
    for (const std::string& line : kit.unexpected)
        out << "unexpected: " << printable(line) << '\n';
}

}  // namespace

void print_inspect_text(std::ostream& out, const std::string& file, const KitContents& kit,
                        const std::vector<ScannedArchive>& listings)
{
    print_image(out, file, kit);
    if (kit.version)
        print_version(out, *kit.version);
    print_strings(out, kit);
    if (kit.dialog)
        print_dialog(out, *kit.dialog);
    if (kit.icon)
        print_icon(out, *kit.icon);
    print_tables(out, kit.tables);
    for (std::size_t i = 0; i < kit.archives.size() && i < listings.size(); ++i)
        print_archive(out, kit.archives[i], listings[i]);
    print_findings(out, kit);
}

}  // namespace upkit
