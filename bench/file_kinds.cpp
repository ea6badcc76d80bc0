#include "file_kinds.h"

#include <algorithm>
#include <initializer_list>
#include <string>

namespace upkit::bench {

namespace {

bool one_of(const std::string& extension, std::initializer_list<std::string_view> list)
{
    return std::find(list.begin(), list.end(), extension) != list.end();
}

}  // namespace

FileKind file_kind(const std::filesystem::path& file)
{
    std::string extension = file.filename().extension().string();
    std::transform(extension.begin(), extension.end(), extension.begin(),
                   [](unsigned char c) { return static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c); });
    if (one_of(extension, {".exe", ".dll", ".ocx", ".sys", ".drv", ".cpl", ".scr", ".com"}))
        return FileKind::programs;
    // .1 to .9: manual pages by section.
    if (extension.size() == 2 && extension[1] >= '1' && extension[1] <= '9')
        return FileKind::text;
    if (one_of(extension, {".txt", ".md", ".h", ".c", ".cpp", ".htm", ".html"}))
        return FileKind::text;
    if (one_of(extension, {".csv", ".ini", ".inf", ".xml", ".json", ".reg"}))
        return FileKind::structured_text;
    if (one_of(extension, {".bmp", ".ico", ".cur"}))
        return FileKind::images;
    return FileKind::other;
}

std::string_view file_kind_name(FileKind kind)
{
    switch (kind) {
    case FileKind::programs:
        return "programs";
    case FileKind::text:
        return "text";
    case FileKind::structured_text:
        return "structured text";
    case FileKind::images:
        return "images";
    case FileKind::other:
        break;
    }
    return "other";
}

}  // namespace upkit::bench
