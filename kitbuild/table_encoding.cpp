#include "table_encoding.h"

#include <charconv>
#include <fmt/format.h>
#include <map>

#include "little_endian.h"
#include "member_names.h"
#include "text_codec.h"

namespace upkit::kitbuild {

namespace {

// The table being written and what it says about the rows it is given.
class TableWriter {
public:
    TableWriter(Diagnostics& diagnostics, std::string_view end_reason)
        : diagnostics_(diagnostics)
        , end_reason_(end_reason)
    {
    }

    void begin_row(const Origin& origin)
    {
        origin_ = &origin;
        row_start_ = bytes_.size();
    }

    // The row just written must not begin with the table's end marker.
    void end_row(std::string_view field)
    {
        if (bytes_[row_start_] == 0 && bytes_[row_start_ + 1] == 0)
            refuse(*origin_, field, end_reason_);
    }

    void text(std::string_view field, std::string_view utf8)
    {
        if (utf8.find('\0') != std::string_view::npos)
            refuse(*origin_, field, "holds a NUL character, which would end the text early");
        const std::optional<std::string> ansi = windows1252_from_utf8(utf8);
        if (!ansi)
            refuse(*origin_, field, "holds a character that the kit's code page (Windows-1252) cannot show");
        if (ansi->size() > kMaxKitText)
            diagnostics_.warn(*origin_, field,
                              fmt::format("is {} characters long; the kit uses only the first {}", ansi->size(),
                                          kMaxKitText));
        bytes_.insert(bytes_.end(), ansi->begin(), ansi->end());
        bytes_.push_back(0);
    }

    void number(std::uint16_t value) { append_u16(bytes_, value); }

    std::vector<std::uint8_t> finish()
    {
        number(0);
        return std::move(bytes_);
    }

private:
    Diagnostics& diagnostics_;
    std::string end_reason_;
    const Origin* origin_ = nullptr;
    std::size_t row_start_ = 0;
    std::vector<std::uint8_t> bytes_;
};

// Three-character tokens that the kit removes from string data because they
// name no directory: "%" and any character but I, S or W, then "%".
void warn_about_unknown_tokens(const RegistryRow& row, Diagnostics& diagnostics)
{
    const std::string& data = row.data;
    for (std::size_t i = 0; i < data.size();) {
        if (data[i] == '%' && i + 2 < data.size() && data[i + 2] == '%') {
            const char middle = data[i + 1];
            if (std::string_view("IiSsWw").find(middle) == std::string_view::npos)
                diagnostics.warn(row.origin, "data",
                                 fmt::format("the kit removes \"{}\": only %I%, %S% and %W% name directories",
                                             data.substr(i, 3)));
            i += 3;
        } else {
            ++i;
        }
    }
}

}  // namespace

std::optional<std::uint32_t> kit_number(std::string_view data)
{
    if (data.size() > 2 && data[0] == '0' && (data[1] == 'x' || data[1] == 'X')) {
        const std::string_view digits = data.substr(2);
        std::uint64_t value = 0;
        const auto [end, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), value, 16);
        if (ec != std::errc() || end != digits.data() + digits.size() || value > 0xFFFFFFFFu)
            return std::nullopt;
        return static_cast<std::uint32_t>(value);
    }
    std::string_view digits = data;
    bool negative = false;
    if (!digits.empty() && (digits[0] == '+' || digits[0] == '-')) {
        negative = digits[0] == '-';
        digits.remove_prefix(1);
    }
    // from_chars would also take a second sign or nothing at all.
    if (digits.empty() || digits.find_first_not_of("0123456789") != std::string_view::npos)
        return std::nullopt;
    std::int64_t value = 0;
    const auto [end, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), value, 10);
    if (ec != std::errc() || end != digits.data() + digits.size())
        return std::nullopt;
    if (negative)
        value = -value;
    if (value < -2147483648LL || value > 2147483647LL)
        return std::nullopt;
    return static_cast<std::uint32_t>(static_cast<std::int32_t>(value));
}

std::vector<std::uint8_t> encode_app_versions(const std::vector<AppVersionRow>& rows, Diagnostics& diagnostics)
{
    TableWriter table(diagnostics, "an empty display text followed by an empty key reads as the end of the table");
    for (std::size_t i = 0; i < rows.size(); ++i) {
        const AppVersionRow& row = rows[i];
        if (!row.checksum)
            refuse(row.origin, "checksum", "no checksum was given or computed");
        table.begin_row(row.origin);
        table.text("display", row.display);
        table.text("key", row.key);
        table.text("value", row.value);
        table.text("file", row.file);
        table.number(*row.checksum);
        table.end_row("display");

        // The first row with the same file and checksum is always the one
        // detected.
        for (std::size_t j = 0; j < i; ++j) {
            const AppVersionRow& earlier = rows[j];
            if (earlier.key == row.key && earlier.value == row.value && earlier.file == row.file &&
                earlier.checksum == row.checksum)
                diagnostics.warn(row.origin, "checksum",
                                 fmt::format("0x{:04X} is also the checksum of row {} for the same file: this row "
                                             "is never the one detected",
                                             *row.checksum, earlier.origin.row));
        }
    }
    return table.finish();
}

std::vector<std::uint8_t> encode_window_list(const std::vector<WindowRow>& rows, Diagnostics& diagnostics)
{
    TableWriter table(diagnostics, "an empty display name followed by an empty class reads as the end of the table");
    for (const WindowRow& row : rows) {
        table.begin_row(row.origin);
        table.text("display", row.display);
        table.text("class", row.window_class);
        table.text("title", row.title);
        table.end_row("display");
    }
    return table.finish();
}

std::vector<std::uint8_t> encode_archive_list(const std::vector<ArchiveRow>& rows, Diagnostics& diagnostics)
{
    TableWriter table(diagnostics,
                      "an empty progress text followed by a base whose low byte is 0 reads as the end of the table");
    std::map<std::uint16_t, const ArchiveRow*> ids;
    for (const ArchiveRow& row : rows) {
        // The kit asks for MAKEINTRESOURCE(id): 0 is a null name, found never.
        if (row.id == 0)
            refuse(row.origin, "id", "0 cannot name a resource (1 to 65535)");
        const auto [earlier, inserted] = ids.emplace(row.id, &row);
        if (!inserted)
            refuse(row.origin, "id", fmt::format("{} is also the id of row {}", row.id, earlier->second->origin.row));
        table.begin_row(row.origin);
        table.text("progress", row.progress);
        table.number(row.base);
        table.text("subdirectory", row.subdirectory);
        // The kit joins the subdirectory to its destination as it stands: one
        // that leads elsewhere would install files outside the product.
        if (!row.subdirectory.empty()) {
            if (const char* reason = unsafe_name_reason(row.subdirectory))
                refuse(row.origin, "subdirectory", fmt::format("\"{}\" is refused: {}", row.subdirectory, reason));
        }
        table.number(row.id);
        table.end_row("progress");
    }
    return table.finish();
}

std::vector<std::uint8_t> encode_registry_list(const std::vector<RegistryRow>& rows, Diagnostics& diagnostics)
{
    TableWriter table(diagnostics, "a root code of 0 reads as the end of the table");
    for (const RegistryRow& row : rows) {
        table.begin_row(row.origin);
        table.number(row.root);
        table.end_row("root");
        table.text("key", row.key);
        table.text("value", row.value);
        table.number(row.type);
        if (row.type == KIT_TYPE_DWORD && !kit_number(row.data))
            refuse(row.origin, "data",
                   fmt::format("\"{}\" is not a number as the kit reads REG_DWORD data: write 0x and hexadecimal "
                               "digits (at most 0xFFFFFFFF), or decimal digits with an optional sign (a 32-bit value)",
                               row.data));
        if (row.type == KIT_TYPE_STRING || row.type == KIT_TYPE_EXPAND_STRING)
            warn_about_unknown_tokens(row, diagnostics);
        table.text("data", row.data);
    }
    return table.finish();
}

}  // namespace upkit::kitbuild
