#include "manifest.h"

#include <algorithm>
#include <fmt/format.h>
#include <fstream>
#include <limits>
#include <span>
#include <sstream>
#include <toml++/toml.h>

#include "open_failure.h"

namespace upkit::kitbuild {

namespace {

// The names each table of a manifest may hold.
constexpr std::string_view kTopLevelNames[] = {"kit", "messages", "app_versions", "windows", "archives", "registry"};
constexpr std::string_view kKitFields[] = {"based_on", "title",         "maker",     "product",      "caption",
                                           "welcome",  "internal_name", "legal",     "file_version", "product_version",
                                           "bitmap",   "icon",          "file_time", "tables",       "arch"};
constexpr std::string_view kAppVersionFields[] = {"display", "key", "value", "file", "checksum", "checksum_of"};
constexpr std::string_view kWindowFields[] = {"display", "class", "title"};
constexpr std::string_view kArchiveFields[] = {"id",    "progress",  "base",    "subdirectory", "window_bits",
                                               "level", "file_time", "content", "archive",      "carried"};
constexpr std::string_view kContentItemFields[] = {"file", "folder", "from", "name"};
constexpr std::string_view kRegistryFields[] = {"root", "key", "value", "type", "data"};
constexpr std::string_view kInputPathFields[] = {"file", "from"};

struct CodeWord {
    std::string_view word;
    std::uint16_t code;
};

const CodeWord kBaseWords[] = {
    {"install", KIT_BASE_INSTALL},
    {"windows", KIT_BASE_WINDOWS},
    {"system", KIT_BASE_SYSTEM},
};

const CodeWord kRootWords[] = {
    {"HKCR", KIT_ROOT_CLASSES_ROOT},  {"HKEY_CLASSES_ROOT", KIT_ROOT_CLASSES_ROOT},
    {"HKLM", KIT_ROOT_LOCAL_MACHINE}, {"HKEY_LOCAL_MACHINE", KIT_ROOT_LOCAL_MACHINE},
    {"HKCU", KIT_ROOT_CURRENT_USER},  {"HKEY_CURRENT_USER", KIT_ROOT_CURRENT_USER},
    {"HKU", KIT_ROOT_USERS},          {"HKEY_USERS", KIT_ROOT_USERS},
};

const CodeWord kTypeWords[] = {
    {"REG_SZ", KIT_TYPE_STRING},
    {"REG_EXPAND_SZ", KIT_TYPE_EXPAND_STRING},
    {"REG_DWORD", KIT_TYPE_DWORD},
};

template <std::size_t N> std::string word_list(const CodeWord (&words)[N])
{
    std::string list;
    for (const CodeWord& entry : words) {
        if (!list.empty())
            list += ", ";
        list += entry.word;
    }
    return list;
}

const char* type_name(const toml::node& node)
{
    switch (node.type()) {
    case toml::node_type::table:
        return "a table";
    case toml::node_type::array:
        return "an array";
    case toml::node_type::string:
        return "a string";
    case toml::node_type::integer:
        return "an integer";
    case toml::node_type::floating_point:
        return "a floating-point number";
    case toml::node_type::boolean:
        return "a boolean";
    case toml::node_type::date:
        return "a date";
    case toml::node_type::time:
        return "a time";
    case toml::node_type::date_time:
        return "a date-time";
    default:
        return "nothing";
    }
}

std::string quoted(const std::string& text)
{
    return "\"" + text + "\"";
}

int line_of(const toml::node& node)
{
    return static_cast<int>(node.source().begin.line);
}

// One table of the manifest ([kit], a row, a content entry): its fields,
// with their lines recorded in the origin and unknown names refused.
class Fields {
public:
    Fields(const toml::table& table, Origin& origin, std::span<const std::string_view> known,
           std::string_view label = {})
        : table_(table)
        , origin_(origin)
        , label_(label)
    {
        for (auto&& [key, node] : table) {
            const std::string name(key.str());
            origin_.field_lines[field(name)] = static_cast<int>(key.source().begin.line);
            bool is_known = false;
            for (std::string_view k : known)
                is_known = is_known || k == name;
            if (!is_known) {
                std::string list;
                for (std::string_view k : known)
                    list += list.empty() ? std::string(k) : ", " + std::string(k);
                refuse(origin_, field(name), fmt::format("unknown field (expected {})", list));
            }
        }
    }

    const toml::node* get(std::string_view name) const { return table_.get(name); }

    // Refuses the table, once, naming every one of `names` it lacks: an
    // author fixes them all in one go instead of meeting them one by one.
    void require(std::initializer_list<std::string_view> names) const
    {
        std::string missing;
        int count = 0;
        for (std::string_view name : names) {
            if (!has(name)) {
                missing += missing.empty() ? std::string(name) : ", " + std::string(name);
                ++count;
            }
        }
        if (count == 1)
            refuse(origin_, field(missing), "missing");
        if (count > 1)
            refuse(origin_, label_, fmt::format("missing fields {}", missing));
    }

    bool has(std::string_view name) const { return get(name) != nullptr; }

    // The name a field has in messages: "content item 2, file" inside an entry.
    std::string field(std::string_view name) const
    {
        return label_.empty() ? std::string(name) : fmt::format("{}, {}", label_, name);
    }

    [[noreturn]] void wrong(std::string_view name, const toml::node& node, std::string_view expected) const
    {
        refuse(origin_, field(name), fmt::format("must be {}, not {}", expected, type_name(node)));
    }

    std::optional<std::string> text(std::string_view name, bool required) const
    {
        const toml::node* node = get(name);
        if (!node) {
            if (required)
                refuse(origin_, field(name), "missing");
            return std::nullopt;
        }
        if (const auto* value = node->as_string())
            return unless_placeholder(name, value->get());
        wrong(name, *node, "a string");
    }

    // A text that is still a placeholder is refused: the author has to give
    // the value first.
    const std::string& unless_placeholder(std::string_view name, const std::string& value) const
    {
        if (is_placeholder(value))
            refuse(origin_, field(name),
                   fmt::format("still the placeholder {}: replace it with the value", quoted(value)));
        return value;
    }

    std::string text_or_empty(std::string_view name) const { return text(name, false).value_or(std::string()); }

    std::optional<std::int64_t> integer(std::string_view name, std::int64_t low, std::int64_t high, bool required) const
    {
        const toml::node* node = get(name);
        if (!node) {
            if (required)
                refuse(origin_, field(name), "missing");
            return std::nullopt;
        }
        const auto* value = node->as_integer();
        if (!value)
            wrong(name, *node, "an integer");
        if (value->get() < low || value->get() > high)
            refuse(origin_, field(name), fmt::format("{} is out of range ({} to {})", value->get(), low, high));
        return value->get();
    }

    // A 16-bit code given as one of `words` or as a number.
    template <std::size_t N>
    std::optional<std::uint16_t> code(std::string_view name, const CodeWord (&words)[N], bool required) const
    {
        const toml::node* node = get(name);
        if (!node) {
            if (required)
                refuse(origin_, field(name), "missing");
            return std::nullopt;
        }
        if (const auto* value = node->as_string()) {
            unless_placeholder(name, value->get());
            for (const CodeWord& entry : words)
                if (entry.word == value->get())
                    return entry.code;
            refuse(origin_, field(name),
                   fmt::format("unknown name \"{}\" (expected {}, or a number)", value->get(), word_list(words)));
        }
        if (node->is_integer())
            return static_cast<std::uint16_t>(*integer(name, 0, 0xFFFF, true));
        wrong(name, *node, fmt::format("one of {} or a number", word_list(words)));
    }

    // A local date and time for the files' MS-DOS stamps.
    std::optional<DosStamp> stamp(std::string_view name) const
    {
        const toml::node* node = get(name);
        if (!node)
            return std::nullopt;
        const auto* value = node->as_date_time();
        if (!value)
            wrong(name, *node, "a local date-time such as 1997-09-15T02:10:00");
        const toml::date_time& when = value->get();
        if (when.offset)
            refuse(origin_, field(name), "must be a local time, without a time zone offset");
        if (when.date.year < 1980 || when.date.year > 2107)
            refuse(origin_, field(name), "the year must lie between 1980 and 2107");
        return dos_stamp_from_fields(when.date.year, when.date.month, when.date.day, when.time.hour, when.time.minute,
                                     when.time.second);
    }

    // A file given as its path (next to the manifest) or as { file = ..., from = ... }.
    std::optional<InputPath> input_path(std::string_view name) const
    {
        const toml::node* node = get(name);
        if (!node)
            return std::nullopt;
        if (const auto* value = node->as_string())
            return InputPath{unless_placeholder(name, value->get()), InputRoot::manifest};
        const toml::table* table = node->as_table();
        if (!table)
            wrong(name, *node, "a path or a table { file = ..., from = ... }");
        const Fields inner(*table, origin_, kInputPathFields, field(name));
        return InputPath{*inner.text("file", true), inner.root()};
    }

    InputRoot root() const
    {
        const std::optional<std::string> from = text("from", false);
        if (!from || *from == "manifest")
            return InputRoot::manifest;
        if (*from == "files")
            return InputRoot::files;
        refuse(origin_, field("from"), fmt::format("unknown folder \"{}\" (expected manifest or files)", *from));
    }

private:
    const toml::table& table_;
    Origin& origin_;
    std::string label_;
};

Origin row_origin(const std::string& file, std::string_view table, int row, const toml::node& node)
{
    Origin origin;
    origin.file = file;
    origin.table = std::string(table);
    origin.row = row;
    origin.line = line_of(node);
    return origin;
}

// The rows of one [[table]]; each must be a table.
template <typename Row, typename ReadRow>
std::vector<Row> read_rows(const toml::table& document, const std::string& file, std::string_view name,
                           ReadRow read_row)
{
    std::vector<Row> rows;
    const toml::node* node = document.get(name);
    if (!node)
        return rows;
    Origin where;
    where.file = file;
    where.line = line_of(*node);
    const toml::array* array = node->as_array();
    if (!array)
        refuse(where, name, fmt::format("must be an array of tables, written as [[{}]]", name));
    int number = 0;
    for (const toml::node& element : *array) {
        ++number;
        Origin origin = row_origin(file, name, number, element);
        const toml::table* table = element.as_table();
        if (!table)
            refuse(origin, "", fmt::format("must be a table, not {}", type_name(element)));
        Row row;
        read_row(*table, origin, row);
        row.origin = std::move(origin);
        rows.push_back(std::move(row));
    }
    return rows;
}

void read_app_version(const toml::table& table, Origin& origin, AppVersionRow& row)
{
    const Fields fields(table, origin, kAppVersionFields);
    fields.require({"display", "key", "file"});
    row.display = *fields.text("display", true);
    row.key = *fields.text("key", true);
    row.value = fields.text_or_empty("value");
    row.file = *fields.text("file", true);
    if (fields.has("checksum") == fields.has("checksum_of"))
        refuse(origin, "checksum", "give either checksum or checksum_of");
    if (const std::optional<std::int64_t> checksum = fields.integer("checksum", 0, 0xFFFF, false))
        row.checksum = static_cast<std::uint16_t>(*checksum);
    row.checksum_of = fields.input_path("checksum_of");
}

void read_window(const toml::table& table, Origin& origin, WindowRow& row)
{
    const Fields fields(table, origin, kWindowFields);
    fields.require({"display"});
    row.display = *fields.text("display", true);
    row.window_class = fields.text_or_empty("class");
    row.title = fields.text_or_empty("title");
}

std::vector<ContentEntry> read_content(const Fields& fields, Origin& origin)
{
    std::vector<ContentEntry> entries;
    const toml::node* node = fields.get("content");
    if (!node)
        refuse(origin, "content", "missing: list the files and folders the archive holds");
    const toml::array* array = node->as_array();
    if (!array)
        fields.wrong("content", *node, "an array of paths and tables");
    int number = 0;
    for (const toml::node& element : *array) {
        ContentEntry entry;
        entry.label = fmt::format("content item {}", ++number);
        origin.field_lines[entry.label] = line_of(element);
        if (const auto* path = element.as_string()) {
            if (is_placeholder(path->get()))
                refuse(origin, entry.label,
                       fmt::format("still the placeholder {}: replace it with the value", quoted(path->get())));
            entry.source = InputPath{path->get(), InputRoot::manifest};
        } else if (const toml::table* table = element.as_table()) {
            const Fields inner(*table, origin, kContentItemFields, entry.label);
            if (inner.has("file") == inner.has("folder"))
                refuse(origin, entry.label, "give either file or folder");
            entry.kind = inner.has("file") ? ContentKind::file : ContentKind::folder;
            entry.source = InputPath{*inner.text(inner.has("file") ? "file" : "folder", true), inner.root()};
            entry.name = inner.text("name", false);
            if (entry.name && entry.kind == ContentKind::folder)
                refuse(origin, inner.field("name"), "only a file can be given a stored name");
        } else {
            refuse(origin, entry.label, fmt::format("must be a path or a table, not {}", type_name(element)));
        }
        entries.push_back(std::move(entry));
    }
    if (entries.empty())
        refuse(origin, "content", "empty: an archive needs at least one file");
    return entries;
}

void read_archive(const toml::table& table, Origin& origin, ArchiveRow& row)
{
    const Fields fields(table, origin, kArchiveFields);
    fields.require({"id", "progress"});
    row.id = static_cast<std::uint16_t>(*fields.integer("id", 0, 0xFFFF, true));
    row.progress = *fields.text("progress", true);
    row.base = fields.code("base", kBaseWords, false).value_or(KIT_BASE_INSTALL);
    row.subdirectory = fields.text_or_empty("subdirectory");
    if (const toml::node* carried = fields.get("carried")) {
        if (!carried->is_boolean())
            fields.wrong("carried", *carried, "true or false");
        row.carried = carried->as_boolean()->get();
    }
    if (!row.carried) {
        for (std::string_view field : {"content", "archive", "window_bits", "level", "file_time"})
            if (fields.has(field))
                refuse(origin, field, "a row without its archive (carried = false) takes no " + std::string(field));
        return;
    }
    if (fields.has("archive")) {
        for (std::string_view field : {"content", "window_bits", "level", "file_time"})
            if (fields.has(field))
                refuse(origin, field, "an archive stored as it is (archive = ...) takes no " + std::string(field));
        row.prebuilt = fields.input_path("archive");
        return;
    }
    if (const std::optional<std::int64_t> bits =
            fields.integer("window_bits", std::numeric_limits<int>::min(), std::numeric_limits<int>::max(), false))
        row.window_bits = static_cast<int>(*bits);
    row.level = static_cast<int>(
        fields.integer("level", kMinArchiveLevel, kMaxArchiveLevel, false).value_or(kDefaultArchiveLevel));
    row.file_time = fields.stamp("file_time");
    row.content = read_content(fields, origin);
}

void read_registry(const toml::table& table, Origin& origin, RegistryRow& row)
{
    const Fields fields(table, origin, kRegistryFields);
    fields.require({"root", "key", "type", "data"});
    row.root = *fields.code("root", kRootWords, true);
    row.key = *fields.text("key", true);
    row.value = fields.text_or_empty("value");
    row.type = *fields.code("type", kTypeWords, true);
    // A number may be written as a TOML integer; the kit's table holds it as
    // text the kit reads: decimal up to 2^31 - 1 (and down to -2^31), as
    // 0x and hexadecimal digits above.
    const toml::node* data = fields.get("data");
    if (row.type == KIT_TYPE_DWORD && data->is_integer()) {
        const std::int64_t value = *fields.integer("data", -2147483648LL, 0xFFFFFFFFLL, true);
        row.data = value > 2147483647LL ? fmt::format("0x{:X}", value) : std::to_string(value);
    } else if (data->is_string())
        row.data = *fields.text("data", true);
    else
        fields.wrong("data", *data, row.type == KIT_TYPE_DWORD ? "a number or its text" : "a string");
}

// How many manifests a chain of based_on may pass through.
const int kMaxBaseDepth = 8;

toml::table parse_document(std::string_view text, const std::string& file)
{
    try {
        return toml::parse(text, file);
    } catch (const toml::parse_error& e) {
        throw KitError(
            fmt::format("{}:{}:{}: {}", file, e.source().begin.line, e.source().begin.column, e.description()));
    }
}

std::string read_text_file(const std::filesystem::path& path)
{
    std::error_code ec;
    if (std::filesystem::is_directory(path, ec))
        throw KitError(fmt::format("{}: a folder, not a manifest", path.string()));
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    if (in)
        text << in.rdbuf();
    if (!in.is_open())
        throw KitError(fmt::format("{}: {}", path.string(), cannot_open_file(path)));
    if (!in || in.bad())
        throw KitError(fmt::format("{}: cannot read the file", path.string()));
    return text.str();
}

// A path of another manifest, relative to its folder, as a path that means
// the same from anywhere.
void rebase(std::optional<InputPath>& input, const std::filesystem::path& folder)
{
    if (input && input->root == InputRoot::manifest && !std::filesystem::path(input->path).is_absolute())
        input->path = std::filesystem::absolute(folder / input->path).lexically_normal().string();
}

// The texts [messages] gives in place of the standard ones, each refused
// where the kit could not show it whole.
// The top-level table `name` ([kit], [messages]), with its place in `origin`;
// null when the manifest has none.
const toml::table* named_table(const toml::table& document, const std::string& file, std::string_view name,
                               Origin& origin)
{
    const toml::node* node = document.get(name);
    if (!node)
        return nullptr;
    origin.file = file;
    origin.table = std::string(name);
    origin.line = line_of(*node);
    const toml::table* table = node->as_table();
    if (!table)
        refuse(origin, "", fmt::format("must be a table, written as [{}]", name));
    return table;
}

void read_messages(const toml::table& document, const std::string& file, KitTexts& texts)
{
    Origin origin;
    const toml::table* table = named_table(document, file, "messages", origin);
    if (!table)
        return;
    std::vector<std::string_view> keys;
    for (const KitText& text : kKitTexts)
        keys.push_back(text.key);
    const Fields fields(*table, origin, keys);
    for (std::size_t i = 0; i < kKitTextCount; ++i) {
        const std::optional<std::string> value = fields.text(kKitTexts[i].key, false);
        if (!value)
            continue;
        if (const std::optional<std::string> problem = kit_text_problem(i, *value))
            refuse(origin, kKitTexts[i].key, *problem);
        texts.values[i] = *value;
    }
}

KitInfo read_kit(const toml::table& document, const std::string& file, const std::filesystem::path& folder, int depth,
                 std::vector<std::filesystem::path>& bases)
{
    KitInfo kit;
    Origin origin;
    const toml::table* table = named_table(document, file, "kit", origin);
    if (!table) {
        read_messages(document, file, kit.texts);
        return kit;
    }
    const Fields fields(*table, origin, kKitFields);

    // Every field not given here comes from the manifest this one is based on.
    if (const std::optional<std::string> base = fields.text("based_on", false)) {
        if (depth >= kMaxBaseDepth)
            refuse(origin, "based_on", "the manifests are based on each other in a loop, or too deeply");
        const std::filesystem::path base_path = folder / std::filesystem::path(*base);
        std::string text;
        try {
            text = read_text_file(base_path);
        } catch (const KitError& e) {
            refuse(origin, "based_on", e.what());
        }
        bases.push_back(base_path);
        const std::filesystem::path base_folder = base_path.parent_path();
        kit = read_kit(parse_document(text, base_path.string()), base_path.string(), base_folder, depth + 1, bases);
        rebase(kit.bitmap, base_folder);
        rebase(kit.icon, base_folder);
    }

    const auto text_field = [&](std::string_view name, std::string& target) {
        if (const std::optional<std::string> value = fields.text(name, false))
            target = *value;
    };
    text_field("title", kit.title);
    text_field("maker", kit.maker);
    text_field("product", kit.product);
    text_field("caption", kit.caption);
    text_field("welcome", kit.welcome);
    text_field("internal_name", kit.internal_name);
    text_field("legal", kit.legal);
    text_field("file_version", kit.file_version);
    text_field("product_version", kit.product_version);
    if (const std::optional<std::string> arch = fields.text("arch", false)) {
        if (*arch != "win32" && *arch != "win64")
            refuse(origin, "arch", fmt::format("unknown architecture \"{}\" (expected win32 or win64)", *arch));
        kit.arch = *arch;
    }
    if (fields.has("bitmap"))
        kit.bitmap = fields.input_path("bitmap");
    if (fields.has("icon"))
        kit.icon = fields.input_path("icon");
    if (fields.has("file_time"))
        kit.file_time = fields.stamp("file_time");
    if (const toml::node* tables = fields.get("tables")) {
        const toml::array* list = tables->as_array();
        if (!list)
            fields.wrong("tables", *tables, "an array of table names");
        kit.tables.clear();
        for (const toml::node& element : *list) {
            const auto* name = element.as_string();
            const char* const known[] = {KIT_TABLE_APP_VERSIONS, KIT_TABLE_WINDOW_LIST, KIT_TABLE_ARCHIVE_LIST,
                                         KIT_TABLE_REGISTRY_LIST};
            if (!name || std::find(std::begin(known), std::end(known), name->get()) == std::end(known))
                refuse(origin, "tables", "the names are AppVersions, WindowList, ArchiveList and RegistryList");
            if (std::find(kit.tables.begin(), kit.tables.end(), name->get()) != kit.tables.end())
                refuse(origin, "tables", fmt::format("{} is named twice", name->get()));
            kit.tables.push_back(name->get());
        }
    }
    // A kit based on a translated one speaks its language too; texts given
    // here replace the base's one by one.
    read_messages(document, file, kit.texts);
    kit.origin = origin;
    return kit;
}

}  // namespace

std::vector<ManifestTable> manifest_tables()
{
    const auto list = [](std::span<const std::string_view> names) {
        return std::vector<std::string>(names.begin(), names.end());
    };
    return {
        {"kit", list(kKitFields)},
        {"app_versions", list(kAppVersionFields)},
        {"windows", list(kWindowFields)},
        {"archives", list(kArchiveFields)},
        {"archives content item", list(kContentItemFields)},
        {"registry", list(kRegistryFields)},
    };
}

std::string placeholder(std::string_view what)
{
    return fmt::format("{} {}>", kPlaceholderMarker, what);
}

bool is_placeholder(std::string_view text)
{
    return text.starts_with(kPlaceholderMarker);
}

std::string KitInfo::dialog_caption() const
{
    if (!caption.empty() || maker.empty())
        return caption.empty() ? title : caption;
    return maker + " " + title;
}

Manifest parse_manifest(std::string_view text, const std::string& file, const std::filesystem::path& folder)
{
    const toml::table document = parse_document(text, file);

    Origin top;
    top.file = file;
    const Fields fields(document, top, kTopLevelNames);

    Manifest manifest;
    manifest.file = file;
    manifest.folder = folder.empty() ? std::filesystem::path(".") : folder;
    manifest.kit = read_kit(document, file, manifest.folder, 0, manifest.bases);
    manifest.app_versions = read_rows<AppVersionRow>(document, file, "app_versions", read_app_version);
    manifest.windows = read_rows<WindowRow>(document, file, "windows", read_window);
    manifest.archives = read_rows<ArchiveRow>(document, file, "archives", read_archive);
    manifest.registry = read_rows<RegistryRow>(document, file, "registry", read_registry);
    return manifest;
}

Manifest read_manifest(const std::filesystem::path& path)
{
    return parse_manifest(read_text_file(path), path.string(), path.parent_path());
}

}  // namespace upkit::kitbuild
