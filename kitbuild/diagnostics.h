// Where a manifest value came from, and the refusals and warnings about it.
#pragma once

#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "origin.h"

namespace upkit::kitbuild {

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
