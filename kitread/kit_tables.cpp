#include "kit_tables.h"

#include <fmt/format.h>

#include "decode_error.h"
#include "kit_resource_ids.h"
#include "little_endian.h"
#include "text_codec.h"

namespace upkit::kitread {

namespace {

// A walk through one table. Rows are numbered from 1, as kitbuild numbers
// the manifest's rows.
class TableWalk {
public:
    TableWalk(std::span<const std::uint8_t> table, const char* table_name, const char* manifest_table)
        : table_(table)
        , table_name_(table_name)
        , manifest_table_(manifest_table)
    {
    }

    // Whether another row begins at the cursor; false at the end marker.
    bool next_row()
    {
        if (!fits(table_.size(), at_, 2))
            throw DecodeError(fmt::format("{}: the data ends {} without the table's end marker (two zero bytes)",
                                          table_name_,
                                          row_ == 0 ? "before the first row" : fmt::format("after row {}", row_)));
        if (load_u16(table_, at_) == 0) {
            at_ += 2;
            return false;
        }
        ++row_;
        return true;
    }

    Origin origin() const
    {
        Origin origin;
        origin.table = manifest_table_;
        origin.row = row_;
        return origin;
    }

    std::string text(const char* field)
    {
        std::size_t end = at_;
        while (end < table_.size() && table_[end] != 0)
            ++end;
        if (end == table_.size())
            fail(field, "has no terminating NUL before the end of the data");
        const std::string ansi(reinterpret_cast<const char*>(table_.data()) + at_, end - at_);
        at_ = end + 1;
        return utf8_from_windows1252(ansi);
    }

    std::uint16_t number(const char* field)
    {
        if (!fits(table_.size(), at_, 2))
            fail(field, "runs past the end of the data");
        const std::uint16_t value = load_u16(table_, at_);
        at_ += 2;
        return value;
    }

private:
    [[noreturn]] void fail(const char* field, const char* problem) const
    {
        throw DecodeError(fmt::format("{} row {}, {} at offset 0x{:X}: {} ({} bytes)", table_name_, row_, field, at_,
                                      problem, table_.size()));
    }

    std::span<const std::uint8_t> table_;
    const char* table_name_;
    const char* manifest_table_;
    std::size_t at_ = 0;
    int row_ = 0;
};

}  // namespace

std::vector<AppVersionRow> decode_app_versions(std::span<const std::uint8_t> table)
{
    TableWalk walk(table, KIT_TABLE_APP_VERSIONS, "app_versions");
    std::vector<AppVersionRow> rows;
    while (walk.next_row()) {
        AppVersionRow row;
        row.origin = walk.origin();
        row.display = walk.text("display");
        row.key = walk.text("key");
        row.value = walk.text("value");
        row.file = walk.text("file");
        row.checksum = walk.number("checksum");
        rows.push_back(std::move(row));
    }
    return rows;
}

std::vector<WindowRow> decode_window_list(std::span<const std::uint8_t> table)
{
    TableWalk walk(table, KIT_TABLE_WINDOW_LIST, "windows");
    std::vector<WindowRow> rows;
    while (walk.next_row()) {
        WindowRow row;
        row.origin = walk.origin();
        row.display = walk.text("display");
        row.window_class = walk.text("class");
        row.title = walk.text("title");
        rows.push_back(std::move(row));
    }
    return rows;
}

std::vector<ArchiveRow> decode_archive_list(std::span<const std::uint8_t> table)
{
    TableWalk walk(table, KIT_TABLE_ARCHIVE_LIST, "archives");
    std::vector<ArchiveRow> rows;
    while (walk.next_row()) {
        ArchiveRow row;
        row.origin = walk.origin();
        row.progress = walk.text("progress");
        row.base = walk.number("base");
        row.subdirectory = walk.text("subdirectory");
        row.id = walk.number("id");
        rows.push_back(std::move(row));
    }
    return rows;
}

std::vector<RegistryRow> decode_registry_list(std::span<const std::uint8_t> table)
{
    TableWalk walk(table, KIT_TABLE_REGISTRY_LIST, "registry");
    std::vector<RegistryRow> rows;
    while (walk.next_row()) {
        RegistryRow row;
        row.origin = walk.origin();
        row.root = walk.number("root");
        row.key = walk.text("key");
        row.value = walk.text("value");
        row.type = walk.number("type");
        row.data = walk.text("data");
        rows.push_back(std::move(row));
    }
    return rows;
}

}  // namespace upkit::kitread
