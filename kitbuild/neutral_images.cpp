#include "neutral_images.h"

#include "kit_image.h"
#include "little_endian.h"

namespace upkit::kitbuild {

namespace {

// The 16 colours every display shows, as blue, green, red.
const std::uint8_t kPalette[16][3] = {
    {0x00, 0x00, 0x00}, {0x00, 0x00, 0x80}, {0x00, 0x80, 0x00}, {0x00, 0x80, 0x80},
    {0x80, 0x00, 0x00}, {0x80, 0x00, 0x80}, {0x80, 0x80, 0x00}, {0xC0, 0xC0, 0xC0},
    {0x80, 0x80, 0x80}, {0x00, 0x00, 0xFF}, {0x00, 0xFF, 0x00}, {0x00, 0xFF, 0xFF},
    {0xFF, 0x00, 0x00}, {0xFF, 0x00, 0xFF}, {0xFF, 0xFF, 0x00}, {0xFF, 0xFF, 0xFF},
};
const std::uint8_t kBlack = 0;
const std::uint8_t kNavy = 4;
const std::uint8_t kSilver = 7;
const std::uint8_t kGray = 8;
const std::uint8_t kWhite = 15;

const std::uint32_t kInfoHeaderSize = 40;
const std::uint32_t kPaletteSize = 16 * 4;
const std::uint32_t kBitmapFileHeaderSize = 14;

// Palette indices, top row first, and which pixels are drawn (the icon's
// mask: the others are transparent).
struct Canvas {
    int width;
    int height;
    std::vector<std::uint8_t> colour;
    std::vector<bool> drawn;

    Canvas(int w, int h, std::uint8_t ground)
        : width(w)
        , height(h)
        , colour(static_cast<std::size_t>(w * h), ground)
        , drawn(static_cast<std::size_t>(w * h), false)
    {
    }

    void fill(int left, int top, int right, int bottom, std::uint8_t index)
    {
        for (int y = top; y < bottom; ++y)
            for (int x = left; x < right; ++x)
                if (x >= 0 && y >= 0 && x < width && y < height) {
                    colour[static_cast<std::size_t>(y * width + x)] = index;
                    drawn[static_cast<std::size_t>(y * width + x)] = true;
                }
    }

    void frame(int left, int top, int right, int bottom, std::uint8_t index)
    {
        fill(left, top, right, top + 1, index);
        fill(left, bottom - 1, right, bottom, index);
        fill(left, top, left + 1, bottom, index);
        fill(right - 1, top, right, bottom, index);
    }
};

struct MotifColours {
    std::uint8_t box;
    std::uint8_t edge;
    std::uint8_t arrow;
};

// A box and an arrow pointing down into it, in the square of `size` pixels
// at (left, top): the kit puts something into place.
void draw_motif(Canvas& canvas, int left, int top, int size, const MotifColours& colours)
{
    const auto at = [size](int twentieths) { return size * twentieths / 20; };
    canvas.fill(left + at(2), top + at(10), left + at(18), top + size, colours.box);
    canvas.frame(left + at(2), top + at(10), left + at(18), top + size, colours.edge);
    // The shaft, then the head narrowing row by row down to its point.
    canvas.fill(left + at(8), top, left + size - at(8), top + at(7), colours.arrow);
    const int head_top = top + at(7);
    const int head_rows = at(7);
    for (int row = 0; row < head_rows; ++row) {
        const int inset = at(4) + (at(6) * row) / head_rows;
        canvas.fill(left + inset, head_top + row, left + size - inset, head_top + row + 1, colours.arrow);
    }
}

void append_palette(std::vector<std::uint8_t>& out)
{
    for (const auto& entry : kPalette) {
        out.insert(out.end(), entry, entry + 3);
        out.push_back(0);
    }
}

void append_info_header(std::vector<std::uint8_t>& out, int width, int height, std::uint32_t image_size)
{
    append_u32(out, kInfoHeaderSize);
    append_u32(out, static_cast<std::uint32_t>(width));
    append_u32(out, static_cast<std::uint32_t>(height));
    append_u16(out, 1);  // planes
    append_u16(out, 4);  // bits per pixel
    append_u32(out, 0);  // uncompressed
    append_u32(out, image_size);
    append_u32(out, 2835);  // 72 dots per inch
    append_u32(out, 2835);
    append_u32(out, 0);  // every palette entry used
    append_u32(out, 0);
}

std::uint32_t row_bytes(int width, int bits)
{
    return static_cast<std::uint32_t>((width * bits + 31) / 32 * 4);
}

// The pixels at 4 bits each, bottom row first, rows padded to 4 bytes.
void append_pixels(std::vector<std::uint8_t>& out, const Canvas& canvas)
{
    const std::uint32_t stride = row_bytes(canvas.width, 4);
    for (int y = canvas.height - 1; y >= 0; --y) {
        std::vector<std::uint8_t> row(stride, 0);
        for (int x = 0; x < canvas.width; ++x) {
            const std::uint8_t index = canvas.colour[static_cast<std::size_t>(y * canvas.width + x)];
            row[static_cast<std::size_t>(x / 2)] |= static_cast<std::uint8_t>(x % 2 == 0 ? index << 4 : index);
        }
        out.insert(out.end(), row.begin(), row.end());
    }
}

// The icon's mask, a bit a pixel, bottom row first: 1 where the ground shows.
void append_mask(std::vector<std::uint8_t>& out, const Canvas& canvas)
{
    const std::uint32_t stride = row_bytes(canvas.width, 1);
    for (int y = canvas.height - 1; y >= 0; --y) {
        std::vector<std::uint8_t> row(stride, 0);
        for (int x = 0; x < canvas.width; ++x)
            if (!canvas.drawn[static_cast<std::size_t>(y * canvas.width + x)])
                row[static_cast<std::size_t>(x / 8)] |= static_cast<std::uint8_t>(0x80 >> (x % 8));
        out.insert(out.end(), row.begin(), row.end());
    }
}

std::vector<std::uint8_t> icon_image(int size)
{
    Canvas canvas(size, size, kBlack);
    draw_motif(canvas, 0, 0, size, MotifColours{kSilver, kBlack, kNavy});
    const std::uint32_t pixels = row_bytes(size, 4) * static_cast<std::uint32_t>(size);
    const std::uint32_t mask = row_bytes(size, 1) * static_cast<std::uint32_t>(size);
    std::vector<std::uint8_t> out;
    // An icon image's header counts the pixels and the mask as one picture
    // of twice the height.
    append_info_header(out, size, size * 2, pixels + mask);
    append_palette(out);
    append_pixels(out, canvas);
    append_mask(out, canvas);
    return out;
}

}  // namespace

std::vector<std::uint8_t> neutral_picture_file()
{
    Canvas canvas(kPictureWidth, kPictureHeight, kNavy);
    canvas.frame(4, 4, kPictureWidth - 4, kPictureHeight - 4, kGray);
    const int motif = 80;
    draw_motif(canvas, (kPictureWidth - motif) / 2, 48, motif, MotifColours{kSilver, kWhite, kWhite});

    const std::uint32_t pixels = row_bytes(kPictureWidth, 4) * static_cast<std::uint32_t>(kPictureHeight);
    const std::uint32_t pixels_at = kBitmapFileHeaderSize + kInfoHeaderSize + kPaletteSize;
    std::vector<std::uint8_t> out = {'B', 'M'};
    append_u32(out, pixels_at + pixels);
    append_u32(out, 0);
    append_u32(out, pixels_at);
    append_info_header(out, kPictureWidth, kPictureHeight, pixels);
    append_palette(out);
    append_pixels(out, canvas);
    return out;
}

std::vector<std::uint8_t> neutral_icon_file()
{
    const std::vector<std::uint8_t> images[] = {icon_image(32), icon_image(16)};
    const int sizes[] = {32, 16};
    const std::uint32_t directory = 6 + 16 * 2;
    std::vector<std::uint8_t> out;
    append_u16(out, 0);
    append_u16(out, 1);  // an icon
    append_u16(out, 2);
    std::uint32_t offset = directory;
    for (int i = 0; i < 2; ++i) {
        out.push_back(static_cast<std::uint8_t>(sizes[i]));
        out.push_back(static_cast<std::uint8_t>(sizes[i]));
        out.push_back(16);  // colours
        out.push_back(0);
        append_u16(out, 1);  // planes
        append_u16(out, 4);  // bits per pixel
        append_u32(out, static_cast<std::uint32_t>(images[i].size()));
        append_u32(out, offset);
        offset += static_cast<std::uint32_t>(images[i].size());
    }
    for (const std::vector<std::uint8_t>& image : images)
        out.insert(out.end(), image.begin(), image.end());
    return out;
}

}  // namespace upkit::kitbuild
