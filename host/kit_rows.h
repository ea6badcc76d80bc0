// The rows of a kit's four tables, and what each archive of a kit holds, as
// plain structures: what a manifest is read into (kitbuild), what a kit's
// tables are decoded back into (kitread), and what a manifest is written
// from (kitdump). The manifest's fields are described in kitbuild/manifest.h.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "dos_time.h"
#include "kit_resource_ids.h"
#include "origin.h"

namespace upkit {

// A kit's archive is written once and unpacked on machines of every size:
// by default it is packed as small as the encoder can, in the smallest window
// that holds all its data (the kit's decoder allocates the whole window), and
// at most in this one.
const int kMaxFittedArchiveWindowBits = 21;
const int kDefaultArchiveLevel = 9;
const int kMinArchiveLevel = 1;
const int kMaxArchiveLevel = 9;

// Where a relative input path starts.
enum class InputRoot {
    manifest,  // the manifest's own folder
    files,     // the folder of built inputs given to the tool
};

struct InputPath {
    std::string path;
    InputRoot root = InputRoot::manifest;
};

struct AppVersionRow {
    std::string display;
    std::string key;
    std::string value;
    std::string file;
    std::optional<std::uint16_t> checksum;
    std::optional<InputPath> checksum_of;  // when no checksum is given
    Origin origin;
};

struct WindowRow {
    std::string display;
    std::string window_class;
    std::string title;
    Origin origin;
};

enum class ContentKind {
    file_or_folder,
    file,
    folder
};

struct ContentEntry {
    InputPath source;
    ContentKind kind = ContentKind::file_or_folder;
    std::optional<std::string> name;  // a file's stored name instead of its own
    std::string label;                // names the entry in messages: "content item 2"
};

struct ArchiveRow {
    std::string progress;
    std::uint16_t base = KIT_BASE_INSTALL;
    std::string subdirectory;
    std::uint16_t id = 0;
    std::vector<ContentEntry> content;
    std::optional<InputPath> prebuilt;  // an archive stored as it is, instead of content
    bool carried = true;                // false: listed, but no archive resource
    std::optional<int> window_bits;     // default: fitted to the data, up to kMaxFittedArchiveWindowBits
    int level = kDefaultArchiveLevel;
    std::optional<DosStamp> file_time;
    Origin origin;
};

struct RegistryRow {
    std::uint16_t root = 0;
    std::string key;
    std::string value;
    std::uint16_t type = 0;
    std::string data;
    Origin origin;
};

}  // namespace upkit
