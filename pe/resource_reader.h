// The resources of a PE image, read from its resource directory: the tree of
// types, names and languages down to each data entry, and each resource's
// bytes.
//
// The walk is bounded by the data: the tree has exactly three levels, every
// directory and name must lie within the resource section, a directory may
// be reached only once (so neither a loop nor a shared subtree can make the
// walk run on), and the resources together may not claim more bytes than the
// file holds. Anything else throws PeError naming the resource or directory.
#pragma once

#include <vector>

#include "pe_image.h"
#include "resource_entry.h"

namespace upkit::pe {

// Every resource, in the order of the directory; none when the image has no
// resource directory.
std::vector<Resource> read_resources(const PeImage& image);

}  // namespace upkit::pe
