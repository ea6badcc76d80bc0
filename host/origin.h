// Where a value of a kit's description came from, for messages that point
// at it.
#pragma once

#include <functional>
#include <map>
#include <string>
#include <string_view>

namespace upkit {

// Where a row came from: the manifest file, the row's table and its 1-based
// number there, and the lines of the row and of each field it gives. Rows
// built in code leave the file empty and the lines 0.
struct Origin {
    std::string file;
    std::string table;  // the manifest's name of the table: "archives", ...
    int row = 0;
    int line = 0;
    std::map<std::string, int, std::less<>> field_lines;

    // The field's line when known, else the row's.
    int line_of(std::string_view field) const;

    // "kit.toml:12: [[archives]] row 2, progress"; without the parts that are
    // unknown.
    std::string describe(std::string_view field) const;
};

}  // namespace upkit
