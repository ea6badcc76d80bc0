#include "text_table.h"

#include <algorithm>
#include <fmt/format.h>
#include <stdexcept>
#include <utility>

namespace upkit::bench {

TextTable::TextTable(std::vector<std::string> head, std::size_t text_columns)
    : head_(std::move(head))
    , text_columns_(text_columns)
{
}

void TextTable::add_row(std::vector<std::string> cells)
{
    // A short row would shift its figures under the wrong heads.
    if (cells.size() != head_.size())
        throw std::logic_error(fmt::format("a table row of {} cells under {} heads", cells.size(), head_.size()));
    lines_.push_back({LineType::row, std::move(cells)});
}

void TextTable::add_rule()
{
    lines_.push_back({LineType::rule, {}});
}

void TextTable::add_gap()
{
    lines_.push_back({LineType::gap, {}});
}

std::string TextTable::formatted(const std::vector<std::string>& cells, const std::vector<std::size_t>& width) const
{
    std::string out;
    for (std::size_t i = 0; i < cells.size(); ++i) {
        if (i)
            out += "  ";
        if (i < text_columns_)
            out += fmt::format("{:<{}}", cells[i], width[i]);
        else
            out += fmt::format("{:>{}}", cells[i], width[i]);
    }
    while (!out.empty() && out.back() == ' ')
        out.pop_back();
    return out;
}

void TextTable::print(std::ostream& out) const
{
    std::vector<std::size_t> width(head_.size());
    for (std::size_t i = 0; i < head_.size(); ++i) {
        width[i] = head_[i].size();
        for (const Line& line : lines_)
            if (line.type == LineType::row)
                width[i] = std::max(width[i], line.cells[i].size());
    }
    std::size_t total = head_.empty() ? 0 : 2 * (head_.size() - 1);
    for (std::size_t w : width)
        total += w;
    const std::string rule(total, '-');

    out << formatted(head_, width) << '\n' << rule << '\n';
    for (const Line& line : lines_) {
        if (line.type == LineType::row)
            out << formatted(line.cells, width) << '\n';
        else if (line.type == LineType::rule)
            out << rule << '\n';
        else
            out << '\n';
    }
}

}  // namespace upkit::bench
