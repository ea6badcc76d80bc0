// A table printed as aligned plain text: each column as wide as its widest
// cell, text columns to the left and figures to the right, a dashed rule
// under the head.
#pragma once

#include <cstddef>
#include <ostream>
#include <string>
#include <vector>

namespace upkit::bench {

class TextTable {
public:
    // The first `text_columns` columns align to the left.
    TextTable(std::vector<std::string> head, std::size_t text_columns);

    // A row of cells, one for each column of the head.
    void add_row(std::vector<std::string> cells);
    // A dashed rule across the table.
    void add_rule();
    // An empty line between groups of rows.
    void add_gap();

    void print(std::ostream& out) const;

private:
    enum class LineType {
        row,
        rule,
        gap,
    };
    struct Line {
        LineType type = LineType::row;
        std::vector<std::string> cells;
    };

    std::string formatted(const std::vector<std::string>& cells, const std::vector<std::size_t>& width) const;

    std::vector<std::string> head_;
    std::size_t text_columns_;
    std::vector<Line> lines_;
};

}  // namespace upkit::bench
