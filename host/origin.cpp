#include "origin.h"

#include <fmt/format.h>

namespace upkit {

int Origin::line_of(std::string_view field) const
{
    const auto found = field_lines.find(field);
    return found != field_lines.end() ? found->second : line;
}

std::string Origin::describe(std::string_view field) const
{
    std::string text;
    if (!file.empty()) {
        text = file;
        const int at = line_of(field);
        if (at > 0)
            text += fmt::format(":{}", at);
    }
    std::string where;
    if (!table.empty())
        where = row > 0 ? fmt::format("[[{}]] row {}", table, row) : fmt::format("[{}]", table);
    // "[[archives]] row 2, id", but "[kit] title".
    if (!field.empty())
        where += where.empty() ? std::string(field) : (row > 0 ? ", " : " ") + std::string(field);
    if (!where.empty())
        text += text.empty() ? where : ": " + where;
    return text;
}

}  // namespace upkit
