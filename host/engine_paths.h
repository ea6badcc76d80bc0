// Paths and names as they cross between the host and the archive engine.
//
// Three forms meet here:
//   host text    a path as the user gave it: bytes natively, the ANSI code
//                page on Windows (the character set of the engine's calls)
//   host path    std::filesystem::path, for the file system calls we make
//   engine path  text for the engine, with backslashes between folders
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace upkit {

// Host text to engine path: every '/' becomes '\'. Natively a backslash
// inside host text would turn into a separator and name another file, so
// such text gives nullopt.
std::optional<std::string> to_engine_path(std::string_view host_text);

// Engine path to host text: natively every '\' becomes '/'; on Windows the
// backslashes stay.
std::string from_engine_path(std::string_view engine_path);

// Host text as a std::filesystem::path, and back. The way back gives nullopt
// for a path the engine's character set cannot spell.
std::filesystem::path host_path_of(std::string_view host_text);
std::optional<std::string> host_text_of(const std::filesystem::path& path);

// Host text of continuation file `number` (2, 3, ...) of the archive at
// `archive` (host text): everything from the first dot of the engine's base
// name replaced by the number, as the engine's reader derives it. nullopt when
// that rule would leave the archive's folder (the engine's base name stops at
// a space, so "v1.0 kits/A.KW" would continue in "v1.002"), or when the path
// cannot be given to the engine at all.
std::optional<std::string> continuation_path(std::string_view archive, int number);

// Host text (a path the user gave) as UTF-8: natively as it is, on Windows
// from the ANSI code page.
std::string utf8_from_host_text(std::string_view host_text);

}  // namespace upkit
