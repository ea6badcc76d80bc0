#include "kit_dump.h"

#include <algorithm>
#include <charconv>
#include <fmt/format.h>

#include "decode_error.h"
#include "dialog_resource.h"
#include "kit_image.h"
#include "kit_resource_ids.h"
#include "kit_texts.h"
#include "little_endian.h"
#include "string_resource.h"
#include "toml_text.h"
#include "version_resource.h"

namespace upkit::kitread {

namespace {

using kitbuild::toml_field;
using kitbuild::toml_string;
using pe::Resource;
using pe::ResourceKey;

const std::size_t kBitmapFileHeader = 14;
const std::size_t kGroupHeader = 6;
const std::size_t kGroupEntry = 14;

const Resource* find(const KitContents& kit, std::uint16_t type, std::uint16_t name)
{
    for (const Resource& r : kit.resources)
        if (r.type == ResourceKey::of(type) && r.name == ResourceKey::of(name))
            return &r;
    return nullptr;
}

std::string code_word(std::uint16_t code, std::initializer_list<std::pair<std::uint16_t, const char*>> words)
{
    for (const auto& [value, word] : words)
        if (value == code)
            return toml_string(word);
    return std::to_string(code);
}

// A row's data; a REG_DWORD number written in plain decimal becomes a TOML
// integer, which the manifest turns into the same text again.
std::string registry_data(const RegistryRow& row)
{
    if (row.type == KIT_TYPE_DWORD && !row.data.empty() && row.data.size() <= 11) {
        long long value = 0;
        const auto [end, ec] = std::from_chars(row.data.data(), row.data.data() + row.data.size(), value);
        if (ec == std::errc() && end == row.data.data() + row.data.size() && value >= -2147483648LL &&
            value <= 2147483647LL && std::to_string(value) == row.data)
            return fmt::format("data = {}\n", value);
    }
    return toml_field("data", row.data);
}

class ManifestWriter {
public:
    ManifestWriter(const KitContents& kit, const std::string& source) : kit_(kit), source_(source) { }

    DumpedKit write()
    {
        out_.manifest = fmt::format("# Written by upkit dump from {}.\n# upkit build makes a kit with the same "
                                    "resources from this file and the files beside it.\n\n",
                                    kitbuild::toml_comment_text(source_));
        write_face();
        write_tables();
        return std::move(out_);
    }

private:
    void note(std::string text) { out_.notes.push_back(std::move(text)); }

    std::string version_value(const char* key)
    {
        if (!kit_.version || kit_.version->string_tables.empty())
            return {};
        return kit_.version->string_tables.front().value(key).value_or(std::string());
    }

    void write_face()
    {
        std::string& m = out_.manifest;
        m += "[kit]\n";
        const auto title = kit_.strings.find(IDS_TITLE);
        const std::string title_text = title != kit_.strings.end() ? title->second : std::string();
        if (title_text.empty())
            note("the kit has no title (string 1000)");
        m += toml_field("title", title_text);
        m += toml_field("maker", version_value("CompanyName"));
        m += toml_field("product", version_value("ProductName"));
        std::string caption, welcome;
        if (kit_.dialog) {
            caption = kit_.dialog->caption;
            if (kit_.dialog->controls.size() > 1)
                welcome = kit_.dialog->controls[1].text.text;
        } else {
            note("the kit has no install dialog (dialog 100)");
        }
        m += toml_field("caption", caption);
        m += toml_field("welcome", welcome);
        m += toml_field("internal_name", version_value("InternalName"));
        m += toml_field("legal", version_value("LegalCopyright"));
        m += toml_field("file_version", version_value("FileVersion"));
        m += toml_field("product_version", version_value("ProductVersion"));
        write_arch();
        write_picture();
        write_icon();
        write_table_list();
        const kitbuild::KitTexts texts = own_texts();
        compare_face(title_text, caption, welcome, texts);
        m += "\n";
        write_messages(texts);
    }

    // The kit's messages (strings 1001 to 1006) and the dialog's fixed texts
    // as the kit carries them; a text that is missing, or that a manifest
    // could not give, stays the standard one.
    kitbuild::KitTexts own_texts()
    {
        kitbuild::KitTexts texts;
        const auto take = [&](std::size_t index, const std::string& text) {
            if (const std::optional<std::string> problem = kitbuild::kit_text_problem(index, text))
                note(fmt::format("the kit's text {} cannot be carried over ({}); a rebuilt kit has the standard one",
                                 kitbuild::kKitTexts[index].key, *problem));
            else
                texts.values[index] = text;
        };
        for (std::size_t i = 0; i < kitbuild::kKitTextCount; ++i) {
            const auto text = kit_.strings.find(kitbuild::kKitTexts[i].id);
            if (kitbuild::kKitTexts[i].id != 0 && text != kit_.strings.end())
                take(i, text->second);
        }
        // Only the standard dialog's controls say which text is which.
        if (kit_.dialog && kit_.dialog->controls.size() == kitbuild::install_dialog_control_count())
            for (std::size_t position = 0; position < kit_.dialog->controls.size(); ++position) {
                const std::size_t index = kitbuild::install_dialog_text_at(position);
                if (index < kitbuild::kKitTextCount)
                    take(index, kit_.dialog->controls[position].text.text);
            }
        return texts;
    }

    // [messages] with the texts that differ from the standard ones: none for
    // a kit in English.
    void write_messages(const kitbuild::KitTexts& texts)
    {
        const kitbuild::KitTexts standard;
        std::string table;
        for (std::size_t i = 0; i < kitbuild::kKitTextCount; ++i)
            if (texts.values[i] != standard.values[i])
                table += toml_field(kitbuild::kKitTexts[i].key, texts.values[i]);
        if (!table.empty())
            out_.manifest += "[messages]\n" + table + "\n";
    }

    // The runtime the kit was built on, so that a rebuild uses the same.
    void write_arch()
    {
        if (kit_.coff.machine == pe::kMachineI386)
            out_.manifest += toml_field("arch", "win32");
        else if (kit_.coff.machine == pe::kMachineAmd64)
            out_.manifest += toml_field("arch", "win64");
        else
            note(fmt::format("the kit is built for {}, for which upkit has no runtime: a rebuilt kit is win32",
                             pe::machine_name(kit_.coff.machine)));
    }

    void write_picture()
    {
        const Resource* bitmap = find(kit_, pe::kTypeBitmap, IDB_KIT_PICTURE);
        if (!bitmap) {
            note("the kit has no picture (bitmap 1000): a rebuilt kit has the built-in one, or give one in [kit] "
                 "bitmap");
            return;
        }
        try {
            out_.files.push_back({"kit.bmp", bitmap_file(bitmap->data)});
            out_.manifest += toml_field("bitmap", "kit.bmp");
        } catch (const DecodeError& e) {
            note(fmt::format("the picture (bitmap 1000) cannot be written as a file: {}", e.what()));
        }
    }

    void write_icon()
    {
        const Resource* group = find(kit_, pe::kTypeGroupIcon, IDI_KIT);
        if (!group) {
            note(
                "the kit has no icon (icon group 1000): a rebuilt kit has the built-in one, or give one in [kit] icon");
            return;
        }
        try {
            std::vector<std::vector<std::uint8_t>> images;
            if (group->data.size() < kGroupHeader)
                throw DecodeError("the icon group is cut short");
            const std::size_t count = group->data[4] | group->data[5] << 8;
            for (std::size_t i = 0; i < count; ++i) {
                const std::size_t entry = kGroupHeader + i * kGroupEntry;
                if (entry + kGroupEntry > group->data.size())
                    throw DecodeError("the icon group is cut short");
                const std::uint16_t id =
                    static_cast<std::uint16_t>(group->data[entry + 12] | group->data[entry + 13] << 8);
                const Resource* image = find(kit_, pe::kTypeIcon, id);
                if (!image)
                    throw DecodeError(fmt::format("icon image {} is missing", id));
                if (id != i + 1)
                    note(fmt::format("icon image {} becomes image {} in a rebuilt kit", id, i + 1));
                images.push_back(image->data);
            }
            out_.files.push_back({"kit.ico", icon_file(group->data, images)});
            out_.manifest += toml_field("icon", "kit.ico");
        } catch (const DecodeError& e) {
            note(fmt::format("the icon (icon group 1000) cannot be written as a file: {}", e.what()));
        }
    }

    void write_table_list()
    {
        std::vector<std::string> present;
        if (kit_.tables.app_versions)
            present.push_back(KIT_TABLE_APP_VERSIONS);
        if (kit_.tables.windows)
            present.push_back(KIT_TABLE_WINDOW_LIST);
        if (kit_.tables.archives)
            present.push_back(KIT_TABLE_ARCHIVE_LIST);
        if (kit_.tables.registry)
            present.push_back(KIT_TABLE_REGISTRY_LIST);
        if (present.size() == 4)
            return;
        std::string list;
        for (const std::string& name : present)
            list += (list.empty() ? "" : ", ") + toml_string(name);
        out_.manifest += fmt::format("tables = [{}]\n", list);
    }

    // What a rebuilt kit's face would carry, against what this one carries.
    void compare_face(const std::string& title, const std::string& caption, const std::string& welcome,
                      const kitbuild::KitTexts& texts)
    {
        const auto differs = [&](std::uint16_t type, std::uint16_t name, const std::vector<std::uint8_t>& rebuilt) {
            const Resource* own = find(kit_, type, name);
            return own && own->data != rebuilt;
        };
        try {
            if (kit_.dialog &&
                differs(pe::kTypeDialog, IDD_INSTALL, kitbuild::encode_install_dialog(caption, welcome, texts)))
                note("the kit's dialog differs from the standard install dialog in more than its texts; a rebuilt "
                     "kit has the standard one");
            std::map<std::uint16_t, std::string> strings{{IDS_TITLE, title}};
            for (std::size_t i = 0; i < kitbuild::kKitTextCount; ++i)
                if (kitbuild::kKitTexts[i].id != 0)
                    strings[kitbuild::kKitTexts[i].id] = texts.values[i];
            for (const kitbuild::StringBlock& block : kitbuild::encode_string_table(strings))
                if (differs(pe::kTypeString, block.block_id, block.data))
                    note("the kit's string table differs from what its title and messages make; a rebuilt kit has "
                         "them alone");
        } catch (const kitbuild::KitError& e) {
            note(fmt::format("the kit's texts cannot be carried over: {}", e.what()));
        }
        for (const std::string& what : kit_.unexpected)
            note(fmt::format("{} is not carried over", what));
    }

    void write_tables()
    {
        std::string& m = out_.manifest;
        if (kit_.tables.app_versions)
            for (const AppVersionRow& row : *kit_.tables.app_versions) {
                m += "[[app_versions]]\n" + toml_field("display", row.display) + toml_field("key", row.key) +
                     toml_field("value", row.value) + toml_field("file", row.file) +
                     fmt::format("checksum = 0x{:04X}\n\n", row.checksum.value_or(0));
            }
        if (kit_.tables.windows)
            for (const WindowRow& row : *kit_.tables.windows)
                m += "[[windows]]\n" + toml_field("display", row.display) + toml_field("class", row.window_class) +
                     toml_field("title", row.title) + "\n";
        if (kit_.tables.archives)
            for (const ArchiveRow& row : *kit_.tables.archives)
                write_archive_row(row);
        if (kit_.tables.registry)
            for (const RegistryRow& row : *kit_.tables.registry) {
                m += "[[registry]]\nroot = " +
                     code_word(row.root, {{KIT_ROOT_CLASSES_ROOT, "HKCR"},
                                          {KIT_ROOT_LOCAL_MACHINE, "HKLM"},
                                          {KIT_ROOT_CURRENT_USER, "HKCU"},
                                          {KIT_ROOT_USERS, "HKU"}}) +
                     "\n" + toml_field("key", row.key) + toml_field("value", row.value) + "type = " +
                     code_word(row.type, {{KIT_TYPE_STRING, "REG_SZ"},
                                          {KIT_TYPE_EXPAND_STRING, "REG_EXPAND_SZ"},
                                          {KIT_TYPE_DWORD, "REG_DWORD"}}) +
                     "\n" + registry_data(row) + "\n";
            }
        for (const KitArchive& archive : kit_.archives)
            if (archive.row == 0)
                note(fmt::format("archive {} is named by no ArchiveList row and is not carried over", archive.id));
    }

    void write_archive_row(const ArchiveRow& row)
    {
        std::string& m = out_.manifest;
        m += fmt::format("[[archives]]\nid = {}\n", row.id) + toml_field("progress", row.progress) + "base = " +
             code_word(row.base,
                       {{KIT_BASE_INSTALL, "install"}, {KIT_BASE_WINDOWS, "windows"}, {KIT_BASE_SYSTEM, "system"}}) +
             "\n";
        if (!row.subdirectory.empty())
            m += toml_field("subdirectory", row.subdirectory);
        const auto archive = std::find_if(kit_.archives.begin(), kit_.archives.end(),
                                          [&](const KitArchive& a) { return a.id == row.id; });
        if (archive == kit_.archives.end()) {
            m += "carried = false  # the kit lacks this archive\n\n";
            return;
        }
        const std::string name = fmt::format("archive-{}.kw", row.id);
        if (std::none_of(out_.files.begin(), out_.files.end(), [&](const DumpedFile& f) { return f.name == name; }))
            out_.files.push_back({name, archive->bytes});
        m += toml_field("archive", name) + "\n";
    }

    const KitContents& kit_;
    std::string source_;
    DumpedKit out_;
};

}  // namespace

std::vector<std::uint8_t> bitmap_file(std::span<const std::uint8_t> resource)
{
    if (resource.size() < 16)
        throw DecodeError("the bitmap is cut short");
    const std::uint32_t header = load_u32(resource, 0);
    if (header < 12 || header > resource.size())
        throw DecodeError("the bitmap's header is damaged");
    std::uint32_t palette = 0;
    if (header >= 40) {
        const std::uint16_t bits = static_cast<std::uint16_t>(resource[14] | resource[15] << 8);
        const std::uint32_t compression = load_u32(resource, 16);
        const std::uint32_t used = load_u32(resource, 32);
        const std::uint32_t colours = used != 0 ? used : bits <= 8 ? 1u << bits : 0;
        if (colours > 256)
            throw DecodeError("the bitmap claims more than 256 palette entries");
        palette = colours * 4;
        if (header == 40 && compression == 3)  // colour masks follow the header
            palette += 12;
    } else {
        const std::uint16_t bits = static_cast<std::uint16_t>(resource[10] | resource[11] << 8);
        palette = bits <= 8 ? (1u << bits) * 3 : 0;
    }
    std::vector<std::uint8_t> out = {'B', 'M'};
    append_u32(out, static_cast<std::uint32_t>(kBitmapFileHeader + resource.size()));
    append_u32(out, 0);
    append_u32(out, static_cast<std::uint32_t>(kBitmapFileHeader + header + palette));
    out.insert(out.end(), resource.begin(), resource.end());
    return out;
}

std::vector<std::uint8_t> icon_file(std::span<const std::uint8_t> group,
                                    const std::vector<std::vector<std::uint8_t>>& images)
{
    if (group.size() < kGroupHeader + images.size() * kGroupEntry)
        throw DecodeError("the icon group is cut short");
    std::vector<std::uint8_t> out;
    append_u16(out, 0);
    append_u16(out, 1);
    append_u16(out, static_cast<std::uint32_t>(images.size()));
    std::size_t offset = kGroupHeader + images.size() * 16;
    for (std::size_t i = 0; i < images.size(); ++i) {
        const std::size_t entry = kGroupHeader + i * kGroupEntry;
        // Size, colours, planes and bits as the group gives them; the size
        // in bytes is the image's own.
        out.insert(out.end(), group.begin() + entry, group.begin() + entry + 8);
        append_u32(out, static_cast<std::uint32_t>(images[i].size()));
        append_u32(out, static_cast<std::uint32_t>(offset));
        offset += images[i].size();
    }
    for (const std::vector<std::uint8_t>& image : images)
        out.insert(out.end(), image.begin(), image.end());
    return out;
}

DumpedKit dump_kit(const KitContents& kit, const std::string& source)
{
    return ManifestWriter(kit, source).write();
}

}  // namespace upkit::kitread
