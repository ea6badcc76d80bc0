#include "kit_image.h"

#include <algorithm>
#include <charconv>
#include <cstdlib>
#include <fmt/format.h>
#include <fmt/ranges.h>
#include <fstream>
#include <string>

#include "dialog_resource.h"
#include "image_resources.h"
#include "kit_resource_ids.h"
#include "neutral_images.h"
#include "resource_section_writer.h"
#include "string_resource.h"
#include "table_encoding.h"
#include "text_codec.h"
#include "text_fit.h"
#include "version_resource.h"

namespace fs = std::filesystem;

namespace upkit::kitbuild {

namespace {

// The first icon image's id; the group names its images from here.
const std::uint16_t kFirstIconId = 1;

pe::Resource resource(pe::ResourceKey type, pe::ResourceKey name, std::vector<std::uint8_t> data)
{
    pe::Resource out;
    out.type = std::move(type);
    out.name = std::move(name);
    out.data = std::move(data);
    return out;
}

std::string upper(std::string text)
{
    for (char& c : text)
        if (c >= 'a' && c <= 'z')
            c = static_cast<char>(c - 'a' + 'A');
    return text;
}

// Refuses a kit that lacks what its program shows, naming every missing
// field at once.
void require_face(const KitInfo& kit)
{
    std::vector<std::string_view> missing;
    if (kit.title.empty())
        missing.push_back("title");
    if (kit.welcome.empty())
        missing.push_back("welcome");
    if (missing.size() == 1)
        refuse(kit.origin, missing[0], fmt::format("missing: a kit program needs it ([kit] {})", missing[0]));
    if (missing.size() > 1)
        refuse(kit.origin, "", fmt::format("missing fields {}: a kit program needs them", fmt::join(missing, ", ")));
}

// Runs an encoder whose refusals name only the problem, and refuses with
// the manifest field the value came from.
template <typename Encode> auto encoded(const KitInfo& kit, std::string_view field, Encode encode)
{
    try {
        return encode();
    } catch (const KitError& e) {
        refuse(kit.origin, field, e.what());
    }
}

std::vector<std::uint8_t> read_input(const InputPath& input, const InputFolders& folders, const Origin& origin,
                                     std::string_view field, std::vector<fs::path>& read)
{
    const fs::path path = resolve_input(input, folders, origin, field);
    std::vector<std::uint8_t> bytes = read_whole_file(path, origin, field);
    read.push_back(path);
    return bytes;
}

void check_text(const KitInfo& kit, const std::string& text, std::string_view field, std::size_t limit,
                Diagnostics& diagnostics)
{
    const std::optional<std::string> ansi = windows1252_from_utf8(text);
    if (!ansi)
        refuse(kit.origin, field, "holds a character the kit's code page (Windows-1252) lacks");
    if (ansi->size() > limit)
        diagnostics.warn(kit.origin, field,
                         fmt::format("{} characters; the kit shows only the first {}", ansi->size(), limit));
}

// Where a dialog text came from: the [kit] table for the caption and the
// welcome paragraph, the [messages] table for the others.
Origin dialog_text_origin(const KitInfo& kit, const DialogText& text)
{
    if (text.field == "caption" || text.field == "welcome")
        return kit.origin;
    Origin origin;
    origin.file = kit.origin.file;
    origin.table = "messages";
    return origin;
}

// Warns about every text that the dialog cuts; the kit still works, so the
// build goes on.
void check_dialog_fit(const KitInfo& kit, Diagnostics& diagnostics)
{
    for (const DialogText& text : install_dialog_texts(kit.dialog_caption(), kit.welcome, kit.texts))
        if (const std::optional<std::string> overflow = text_overflow(text))
            diagnostics.warn(dialog_text_origin(kit, text), text.field, *overflow);
}

// Warns about every progress text that the dialog cuts: the first line
// shows the detected version and each archive's text, the second line
// "Initializing..." during the first pause.
void check_progress_fit(const Manifest& manifest, Diagnostics& diagnostics)
{
    const auto check = [&](const Origin& origin, std::string_view field, const DialogText& text) {
        if (const std::optional<std::string> overflow = text_overflow(text))
            diagnostics.warn(origin, field, *overflow);
    };
    for (const AppVersionRow& row : manifest.app_versions)
        check(row.origin, "display", progress_line_text(1, "display", row.display));
    for (const ArchiveRow& row : manifest.archives)
        check(row.origin, "progress", progress_line_text(1, "progress", row.progress));
    const DialogText initializing =
        progress_line_text(2, kKitTexts[kTextInitializing].key, manifest.kit.texts[kTextInitializing]);
    check(dialog_text_origin(manifest.kit, initializing), initializing.field, initializing);
}

void add_face(const KitInfo& kit, const InputFolders& folders, Diagnostics& diagnostics, std::vector<fs::path>& read,
              std::vector<pe::Resource>& out)
{
    require_face(kit);
    const std::string& title = kit.title;
    check_text(kit, title, "title", kMaxTitleInMessage, diagnostics);

    out.push_back(
        resource(pe::ResourceKey::of(pe::kTypeDialog), pe::ResourceKey::of(IDD_INSTALL), encoded(kit, "", [&] {
                     return encode_install_dialog(kit.dialog_caption(), kit.welcome, kit.texts);
                 })));
    check_dialog_fit(kit, diagnostics);

    std::map<std::uint16_t, std::string> strings{{IDS_TITLE, title}};
    for (std::size_t i = 0; i < kKitTextCount; ++i)
        if (kKitTexts[i].id != 0)
            strings[kKitTexts[i].id] = kit.texts.values[i];
    for (StringBlock& block : encoded(kit, "", [&] { return encode_string_table(strings); }))
        out.push_back(
            resource(pe::ResourceKey::of(pe::kTypeString), pe::ResourceKey::of(block.block_id), std::move(block.data)));

    // Without a picture or icon of its own the kit has the plain built-in
    // ones.
    const std::vector<std::uint8_t> bitmap_file =
        kit.bitmap ? read_input(*kit.bitmap, folders, kit.origin, "bitmap", read) : neutral_picture_file();
    BitmapResource picture = encoded(kit, "bitmap", [&] {
        return bitmap_resource(bitmap_file, kit.bitmap ? kit.bitmap->path : "the built-in picture");
    });
    if (picture.info.width != kPictureWidth || std::abs(picture.info.height) != kPictureHeight ||
        picture.info.bits_per_pixel != kPictureBits || picture.info.compression != 0)
        diagnostics.warn(kit.origin, "bitmap",
                         fmt::format("{} x {} pixels, {} bits per pixel{}; the dialog is laid out for {} x {} "
                                     "in 16 colours, uncompressed",
                                     picture.info.width, std::abs(picture.info.height), picture.info.bits_per_pixel,
                                     picture.info.compression ? ", compressed" : "", kPictureWidth, kPictureHeight));
    out.push_back(
        resource(pe::ResourceKey::of(pe::kTypeBitmap), pe::ResourceKey::of(IDB_KIT_PICTURE), std::move(picture.data)));

    const std::vector<std::uint8_t> icon_file =
        kit.icon ? read_input(*kit.icon, folders, kit.origin, "icon", read) : neutral_icon_file();
    IconResources icon = encoded(kit, "icon", [&] {
        return icon_resources(icon_file, kFirstIconId, kit.icon ? kit.icon->path : "the built-in icon");
    });
    for (IconImage& image : icon.images)
        out.push_back(
            resource(pe::ResourceKey::of(pe::kTypeIcon), pe::ResourceKey::of(image.id), std::move(image.data)));
    out.push_back(
        resource(pe::ResourceKey::of(pe::kTypeGroupIcon), pe::ResourceKey::of(IDI_KIT), std::move(icon.group)));

    VersionBlock version;
    version.file_version = {1, 10, 0, 0};
    version.product_version = {1, 0, 0, 0};
    version.strings = {
        {"CompanyName", kit.maker},
        {"FileDescription", title},
        {"FileVersion", kit.file_version},
        {"InternalName", kit.internal_name},
        {"LegalCopyright", kit.legal},
        {"ProductName", kit.product},
        {"ProductVersion", kit.product_version},
    };
    out.push_back(resource(pe::ResourceKey::of(pe::kTypeVersion), pe::ResourceKey::of(IDV_VERSION),
                           encoded(kit, "", [&] { return encode_version_block(version); })));
}

}  // namespace

std::vector<pe::Resource> kit_resource_list(const Manifest& manifest, const KitResources& generated,
                                            const InputFolders& folders, Diagnostics& diagnostics,
                                            std::vector<fs::path>& read)
{
    std::vector<pe::Resource> out;
    add_face(manifest.kit, folders, diagnostics, read, out);
    // The kit cuts the running-program message to its buffer; which names
    // make it too long depends on the title and the message's own text.
    const std::vector<std::string>& tables = manifest.kit.tables;
    if (std::find(tables.begin(), tables.end(), KIT_TABLE_WINDOW_LIST) != tables.end())
        for (const WindowRow& row : manifest.windows)
            if (const std::optional<std::string> problem =
                    running_message_problem(manifest.kit.texts, row.display, manifest.kit.title))
                diagnostics.warn(row.origin, "display", *problem);
    check_progress_fit(manifest, diagnostics);

    for (const std::string& table : manifest.kit.tables) {
        const std::string file = table + ".bin";
        for (const OutputFile& generated_file : generated.files)
            if (generated_file.name == file)
                out.push_back(resource(pe::ResourceKey::of(pe::kTypeRcData), pe::ResourceKey::named(upper(table)),
                                       generated_file.bytes));
    }
    for (const ArchiveRow& row : manifest.archives) {
        const std::string file = fmt::format("archive-{}.kw", row.id);
        for (const OutputFile& generated_file : generated.files)
            if (generated_file.name == file)
                out.push_back(resource(pe::ResourceKey::named(upper(KIT_ARCHIVE_TYPE)), pe::ResourceKey::of(row.id),
                                       generated_file.bytes));
    }
    return out;
}

std::vector<std::uint8_t> build_kit_image(std::span<const std::uint8_t> runtime,
                                          const std::vector<pe::Resource>& resources, std::uint32_t time_stamp)
{
    try {
        pe::AttachOptions options;
        options.time_stamp = time_stamp;
        return pe::attach_resource_section(runtime, resources, options);
    } catch (const pe::ImageWriteError& e) {
        throw KitError(fmt::format("the kit runtime: {}", e.what()));
    }
}

std::optional<std::uint32_t> source_date_epoch()
{
    const char* text = std::getenv("SOURCE_DATE_EPOCH");
    if (!text || !*text)
        return std::nullopt;
    std::uint64_t value = 0;
    const char* end = text + std::char_traits<char>::length(text);
    const auto [stop, ec] = std::from_chars(text, end, value);
    if (ec != std::errc() || stop != end || value > 0xFFFFFFFFull)
        return std::nullopt;
    return static_cast<std::uint32_t>(value);
}

}  // namespace upkit::kitbuild
