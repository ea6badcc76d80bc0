// The kind of a corpus file, from its name's extension, for the per-file
// table: programs, text, structured text, images or other. Compressors differ
// most between these kinds, so the table groups and sums its files by kind.
#pragma once

#include <array>
#include <filesystem>
#include <string_view>

namespace upkit::bench {

// In the order the table lists them.
enum class FileKind {
    programs,
    text,
    structured_text,
    images,
    other,
};

inline constexpr std::array<FileKind, 5> kFileKinds = {FileKind::programs, FileKind::text, FileKind::structured_text,
                                                       FileKind::images, FileKind::other};

// By the last extension, in any case: "SETUP.EXE" and "setup.exe" are both
// programs; a name without an extension is other.
FileKind file_kind(const std::filesystem::path& file);

// "programs", "text", "structured text", "images", "other"
std::string_view file_kind_name(FileKind kind);

}  // namespace upkit::bench
