#include "image_resources.h"

#include <fmt/format.h>

#include "diagnostics.h"
#include "little_endian.h"
#include "text_codec.h"

namespace upkit::kitbuild {

namespace {

const std::size_t kBitmapFileHeader = 14;
const std::uint32_t kMinInfoHeader = 12;  // the oldest header, BITMAPCOREHEADER
const std::size_t kIconDirectory = 6;
const std::size_t kIconFileEntry = 16;

std::uint16_t u16_at(const std::vector<std::uint8_t>& bytes, std::size_t at)
{
    return static_cast<std::uint16_t>(bytes[at] | bytes[at + 1] << 8);
}

std::uint32_t u32_at(const std::vector<std::uint8_t>& bytes, std::size_t at)
{
    return static_cast<std::uint32_t>(u16_at(bytes, at)) | static_cast<std::uint32_t>(u16_at(bytes, at + 2)) << 16;
}

}  // namespace

BitmapResource bitmap_resource(const std::vector<std::uint8_t>& file_bytes, const std::string& file)
{
    if (file_bytes.size() < kBitmapFileHeader + kMinInfoHeader || file_bytes[0] != 'B' || file_bytes[1] != 'M')
        throw KitError(fmt::format("{}: not a Windows bitmap (.bmp) file", file));
    const std::uint32_t header_size = u32_at(file_bytes, kBitmapFileHeader);
    if (header_size < kMinInfoHeader || header_size > file_bytes.size() - kBitmapFileHeader)
        throw KitError(fmt::format("{}: the bitmap's header is damaged", file));
    const std::uint32_t pixels_at = u32_at(file_bytes, 10);
    if (pixels_at > file_bytes.size() || pixels_at < kBitmapFileHeader + header_size)
        throw KitError(fmt::format("{}: the bitmap's pixel offset lies outside the file", file));

    BitmapResource out;
    const std::size_t info = kBitmapFileHeader;
    if (header_size == kMinInfoHeader) {
        out.info.width = u16_at(file_bytes, info + 4);
        out.info.height = u16_at(file_bytes, info + 6);
        out.info.bits_per_pixel = u16_at(file_bytes, info + 10);
    } else {
        if (header_size < 16)
            throw KitError(fmt::format("{}: the bitmap's header is damaged", file));
        out.info.width = static_cast<std::int32_t>(u32_at(file_bytes, info + 4));
        out.info.height = static_cast<std::int32_t>(u32_at(file_bytes, info + 8));
        out.info.bits_per_pixel = u16_at(file_bytes, info + 14);
        if (header_size >= 20)
            out.info.compression = u32_at(file_bytes, info + 16);
    }
    out.data.assign(file_bytes.begin() + kBitmapFileHeader, file_bytes.end());
    return out;
}

IconResources icon_resources(const std::vector<std::uint8_t>& file_bytes, std::uint16_t first_id,
                             const std::string& file)
{
    if (file_bytes.size() < kIconDirectory || u16_at(file_bytes, 0) != 0 || u16_at(file_bytes, 2) != 1)
        throw KitError(fmt::format("{}: not an icon (.ico) file", file));
    const std::uint16_t count = u16_at(file_bytes, 4);
    if (count == 0)
        throw KitError(fmt::format("{}: the icon file holds no images", file));
    if (file_bytes.size() < kIconDirectory + count * kIconFileEntry)
        throw KitError(fmt::format("{}: the icon file's directory is cut short", file));
    if (static_cast<std::uint32_t>(first_id) + count - 1 > 0xFFFF)
        throw KitError(fmt::format("{}: too many images for their ids", file));

    IconResources out;
    append_u16(out.group, 0);
    append_u16(out.group, 1);
    append_u16(out.group, count);
    for (std::uint16_t i = 0; i < count; ++i) {
        const std::size_t entry = kIconDirectory + i * kIconFileEntry;
        const std::uint32_t size = u32_at(file_bytes, entry + 8);
        const std::uint32_t offset = u32_at(file_bytes, entry + 12);
        if (offset > file_bytes.size() || size > file_bytes.size() - offset || size == 0)
            throw KitError(fmt::format("{}: image {} lies outside the file", file, i + 1));
        const std::uint16_t id = static_cast<std::uint16_t>(first_id + i);
        out.images.push_back(
            IconImage{id, std::vector<std::uint8_t>(file_bytes.begin() + offset, file_bytes.begin() + offset + size)});
        // Width, height, colours, reserved, planes and bits as the file gives them.
        out.group.insert(out.group.end(), file_bytes.begin() + entry, file_bytes.begin() + entry + 12);
        append_u16(out.group, id);
    }
    return out;
}

}  // namespace upkit::kitbuild
