// A kit description: the rows of the kit's four tables and what each archive
// holds, read from a TOML manifest into plain structures. The author's
// reference is docs/manifest.md; in brief:
//
//   [kit]
//   based_on = "../demo/kit.toml"          # optional: every [kit] field not
//                                          # given here comes from there
//   title = "Widget 2.1 Upgrade"           # message caption, file description
//   maker = "Brightfield Software"         # company name
//   product = "Widget"                     # product name
//   caption = "Brightfield Widget 2.1 Upgrade"   # optional: the dialog's
//                                          # caption, by default maker + title
//   welcome = "Welcome to ... This kit will:"    # the dialog's first paragraph
//   internal_name = "WIDUPG21"             # optional
//   legal = "Copyright (C) 1997 ..."       # optional
//   file_version = "A.01.10"               # optional, this by default
//   product_version = "A.01.00"            # optional, this by default
//   bitmap = "kit.bmp"                     # optional: the dialog's picture,
//                                          # 180 x 325, 16 colours (by default
//                                          # a plain built-in one)
//   icon = "kit.ico"                       # optional: the program icon, 32 x 32
//                                          # and 16 x 16 (by default a plain
//                                          # built-in one)
//   file_time = 1997-09-15T02:10:00        # optional: the local time every
//                                          # installed file carries
//   tables = ["AppVersions", "ArchiveList"]  # optional: the tables the kit
//                                          # carries, all four by default
//   arch = "win32"                         # optional: win32 (default) or
//                                          # win64, for a 64-bit product
//
// Only `upkit build` needs the dialog, picture and version texts; the
// tables and archives alone need none of [kit].
//
//   [messages]                             # optional: the kit's other texts in
//                                          # another language (kit_texts.h has
//                                          # the keys and the English defaults)
//   no_qualifying_version = "Aucune version ..."
//   transfer_error = "Erreur %d ... %s."    # the standard's %s and %d, in order
//   exit_button = "&Quitter"               # & marks the button's access key
//
// Texts not given stay the standard ones. A manifest with based_on takes the
// base's [messages] too, and its own replace them text by text.
//
//   [[app_versions]]                       # accepted installed versions, in order
//   display = "Detected Widget 2.0"
//   key = 'Software\Brightfield\Widget'    # below HKEY_LOCAL_MACHINE
//   value = "InstallDir"                   # optional; "" is the key's default value
//   file = "WIDGET.EXE"                    # below the install directory
//   checksum = 0x1234                      # or one of:
//   checksum_of = "old/WIDGET.EXE"         #   a file next to the manifest
//   checksum_of = { file = "widget-2.0.exe", from = "files" }   # a built file
//
//   [[windows]]                            # windows that block the install
//   display = "Widget"
//   class = "BrightfieldWidget"            # optional; "" is any class
//   title = ""                             # optional; "" is any title
//
//   [[archives]]                           # installed in this order
//   id = 2001                              # the ARCHIVE resource id
//   progress = "Installing Widget..."
//   base = "install"                       # install | windows | system | a number
//   subdirectory = "Help"                  # optional
//   window_bits = 15                       # optional: by default the smallest
//                                          # window that holds the data, up to 21
//   level = 9                              # optional: 1 (fastest) to 9 (smallest,
//                                          # the default)
//   file_time = 1997-09-15T02:10:00        # optional, overrides [kit]
//   content = [
//     "payload/README.TXT",                # a file or a folder next to the manifest
//     { file = "widget-2.1.exe", from = "files", name = "WIDGET.EXE" },
//     { folder = "help" },
//   ]
//   # or, instead of content, window_bits, level and file_time, an archive
//   # made before, stored as it is:
//   archive = "archive-2001.kw"
//   # or, to test a kit that lacks an archive its list names:
//   carried = false
//
//   [[registry]]                           # values written after the archives
//   root = "HKLM"                          # HKCR | HKLM | HKCU | HKU (or the long
//                                          # HKEY_ names) | a number
//   key = 'Software\Brightfield\Widget'
//   value = "Version"                      # optional; "" is the key's default value
//   type = "REG_SZ"                        # REG_SZ | REG_EXPAND_SZ | REG_DWORD | a number
//   data = "2.1"                           # REG_DWORD: also an integer, data = 31
//
// A text that starts with "<fill in:" is a placeholder left for the author
// (`upkit plan` writes them) and is refused wherever it stands.
//
// Input paths are relative to the manifest's folder, or, with from = "files",
// to the folder given to the tool for built inputs. A folder's files are
// stored below it (backslashes between subfolders), sorted by stored name; a
// file under its own name or the one given. Members keep the order of the
// content list.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "diagnostics.h"
#include "dos_time.h"
#include "kit_resource_ids.h"
#include "kit_rows.h"
#include "kit_texts.h"

namespace upkit::kitbuild {

// A value the author still has to give, as `upkit plan` writes it: text
// that starts with this marker, such as "<fill in: the kit's title>". A
// manifest that holds one in any field is refused, naming its line and field.
const std::string_view kPlaceholderMarker = "<fill in:";

// "<fill in: `what`>".
std::string placeholder(std::string_view what);
bool is_placeholder(std::string_view text);

const char* const kDefaultFileVersion = "A.01.10";
const char* const kDefaultProductVersion = "A.01.00";
const char* const kDefaultKitArch = "win32";

struct KitInfo {
    std::string title;
    std::string maker;
    std::string product;
    std::string caption;  // empty: maker and title
    std::string welcome;
    std::string internal_name;
    std::string legal;
    std::string file_version = kDefaultFileVersion;
    std::string product_version = kDefaultProductVersion;
    std::optional<InputPath> bitmap;
    std::optional<InputPath> icon;
    std::optional<DosStamp> file_time;
    std::string arch = kDefaultKitArch;  // the runtime the kit is built on: win32 or win64
    KitTexts texts;                      // messages and dialog lines: the standard English ones by default
    std::vector<std::string> tables = {KIT_TABLE_APP_VERSIONS, KIT_TABLE_WINDOW_LIST, KIT_TABLE_ARCHIVE_LIST,
                                       KIT_TABLE_REGISTRY_LIST};
    Origin origin;

    // The dialog's caption: as given, else the maker's name and the title.
    std::string dialog_caption() const;
};

struct Manifest {
    std::string file;                          // as given, for messages
    std::filesystem::path folder;              // where relative input paths start
    std::vector<std::filesystem::path> bases;  // the manifests [kit] is based on, nearest first
    KitInfo kit;
    std::vector<AppVersionRow> app_versions;
    std::vector<WindowRow> windows;
    std::vector<ArchiveRow> archives;
    std::vector<RegistryRow> registry;
};

// A table of the manifest and the fields it may hold, for documentation
// checks: what the reader accepts is what the manual must describe.
struct ManifestTable {
    std::string name;  // "kit", "app_versions", ..., "archives content item"
    std::vector<std::string> fields;
};
std::vector<ManifestTable> manifest_tables();

// Reads and checks the manifest at `path`. Throws KitError for a file that
// cannot be read, TOML that does not parse, unknown tables or fields, values
// of the wrong type and unknown code words; what the kit's tables cannot hold
// is found when they are encoded.
Manifest read_manifest(const std::filesystem::path& path);

// The same for manifest text; `file` names it in messages, `folder` is where
// its relative input paths start.
Manifest parse_manifest(std::string_view text, const std::string& file, const std::filesystem::path& folder);

}  // namespace upkit::kitbuild
