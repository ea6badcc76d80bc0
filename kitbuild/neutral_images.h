// The kit's face when its manifest names no picture or no icon: a plain
// picture of the dialog's shape and a plain icon, drawn in code, so that a
// first kit builds before its author has made any art.
#pragma once

#include <cstdint>
#include <vector>

namespace upkit::kitbuild {

// A .bmp file: 180 x 325 pixels in the 16 standard colours, uncompressed, a
// box and a downward arrow on a dark blue ground.
std::vector<std::uint8_t> neutral_picture_file();

// A .ico file with two images, 32 x 32 and 16 x 16 in 16 colours, of the
// same box and arrow on a transparent ground.
std::vector<std::uint8_t> neutral_icon_file();

}  // namespace upkit::kitbuild
