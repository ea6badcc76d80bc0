// The kit's install dialog as a resource: the fixed layout every kit shares,
// with the kit's own caption and welcome paragraph.
#pragma once

#include <cstdint>
#include <string_view>
#include <vector>

namespace upkit::kitbuild {

// A classic dialog template (not the extended form), laid out as resource
// compilers lay it out: each control on a 4-byte boundary, the picture's and
// the progress bar's classes as upper-case names, the other classes as
// atoms. The texts are UTF-8; throws KitError for text that is not.
std::vector<std::uint8_t> encode_install_dialog(std::string_view caption, std::string_view welcome);

}  // namespace upkit::kitbuild
