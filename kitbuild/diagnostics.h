// Where a manifest value came from, and the refusals and warnings about it.
#pragma once

#include <functional>
#include <map>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace upkit::kitbuild {

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

// A manifest that the kit's tables or archives cannot be built from; the
// message names the file, line, row and field.
class KitError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Throws KitError "<origin and field>: <what>".
[[noreturn]] void refuse(const Origin& origin, std::string_view field, std::string_view what);

// Warnings gathered while building; the caller decides how to show them.
struct Diagnostics {
    std::vector<std::string> warnings;

    void warn(const Origin& origin, std::string_view field, std::string_view what);
};

}  // namespace upkit::kitbuild
