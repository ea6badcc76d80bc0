// A whole kit from its manifest: the resources a kit carries (dialog,
// strings, picture, icon, version block, the four tables, the archives)
// attached to the prebuilt kit runtime.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <span>
#include <vector>

#include "diagnostics.h"
#include "kit_build.h"
#include "manifest.h"
#include "resource_entry.h"

namespace upkit::kitbuild {

// The kit's picture as the dialog shows it best: 180 x 325 pixels, 4 bits
// per pixel, uncompressed. Another picture is used as it is, with a warning.
const int kPictureWidth = 180;
const int kPictureHeight = 325;
const int kPictureBits = 4;

// Every resource of the kit: the face described by [kit] (refused when the
// title or welcome paragraph is missing; without a picture or icon, the
// built-in ones of neutral_images.h), and the tables and archives of
// `generated`. `read` collects the files read.
std::vector<pe::Resource> kit_resource_list(const Manifest& manifest, const KitResources& generated,
                                            const InputFolders& folders, Diagnostics& diagnostics,
                                            std::vector<std::filesystem::path>& read);

// The kit program: `runtime` with the resources as its resource section and
// `time_stamp` as its link time. Throws KitError.
std::vector<std::uint8_t> build_kit_image(std::span<const std::uint8_t> runtime,
                                          const std::vector<pe::Resource>& resources, std::uint32_t time_stamp);

// The link time of a reproducible build: SOURCE_DATE_EPOCH when it is set to
// a number of seconds that fits, else nullopt (keep the runtime's own).
std::optional<std::uint32_t> source_date_epoch();

}  // namespace upkit::kitbuild
