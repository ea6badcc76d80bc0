#include "archive_writer.h"

#include <algorithm>
#include <optional>
#include <stdexcept>

#include "binary_tree_finder.h"
#include "item_encoder.h"
#include "lz_parser.h"
#include "lz_window.h"
#include "match_finder.h"
#include "optimal_parser.h"

namespace upkit {

namespace {

void put_u16(std::vector<std::uint8_t>& out, std::uint32_t v)
{
    out.push_back(static_cast<std::uint8_t>(v));
    out.push_back(static_cast<std::uint8_t>(v >> 8));
}

void put_text(std::vector<std::uint8_t>& out, const std::string& text, const char* what)
{
    const std::size_t n = text.size();
    if (n > kMaxTextLength)
        throw std::invalid_argument(std::string(what) + " longer than 32767 bytes: " + text.substr(0, 40) + "...");
    if (n < 0x80) {
        out.push_back(static_cast<std::uint8_t>(n));
    } else {
        // Two-byte form: high byte first, flagged by its top bit.
        out.push_back(static_cast<std::uint8_t>(0x80 | (n >> 8)));
        out.push_back(static_cast<std::uint8_t>(n));
    }
    out.insert(out.end(), text.begin(), text.end());
}

}  // namespace

std::vector<std::uint8_t> encode_directory_entry(const MemberInput& member)
{
    std::vector<std::uint8_t> out;
    put_text(out, member.name, "member name");
    put_text(out, member.note, "note");
    const std::size_t size = member.data.size();
    put_u16(out, static_cast<std::uint32_t>(size));
    put_u16(out, static_cast<std::uint32_t>(size >> 16));
    put_u16(out, member.dos_time);
    put_u16(out, member.dos_date);
    return out;
}

EncoderOptions level_options(int level, int window_bits)
{
    struct OptimalLevel {
        int search_depth;
        int passes;
        std::uint32_t nice_length;
    };
    static const OptimalLevel optimal_levels[] = {
        {16, 1, 64},   // 6
        {32, 2, 128},  // 7
        {48, 2, 259},  // 8
        {64, 3, 259},  // 9: deeper searches hardly find more on real files
    };
    EncoderOptions options;
    options.window_bits = window_bits;
    level = std::clamp(level, kMinLevel, kMaxLevel);
    if (level <= 5) {
        options.max_chain = 4 << (level - 1);
        return options;
    }
    const OptimalLevel& o = optimal_levels[level - 6];
    options.parser = Parser::optimal;
    options.search_depth = o.search_depth;
    options.passes = o.passes;
    options.nice_length = o.nice_length;
    return options;
}

std::vector<std::uint8_t> encode_archive(const std::vector<MemberInput>& members, const EncoderOptions& options)
{
    if (options.window_bits < kMinEncoderWindowBits || options.window_bits > kMaxEncoderWindowBits)
        throw std::invalid_argument("window bits must lie between 10 and 21");
    if (members.size() > kMaxMembers)
        throw std::invalid_argument("an archive holds at most 65535 members");

    // Readers count sizes in signed 32 bits.
    std::uint64_t total = 0;
    for (const MemberInput& m : members) {
        if (m.data.size() > 0x7FFFFFFFu)
            throw std::invalid_argument("member larger than 2 GiB: " + m.name);
        total += m.data.size();
    }
    if (total > 0x7FFFFFFFu)
        throw std::invalid_argument("archive contents larger than 2 GiB");

    std::vector<std::uint8_t> image = {'K', 'W', kVersionA, kVersionB};
    put_u16(image, static_cast<std::uint32_t>(members.size()));
    image.push_back(static_cast<std::uint8_t>(options.window_bits));
    image.push_back(kReservedByte);
    for (const MemberInput& m : members) {
        const std::vector<std::uint8_t> entry = encode_directory_entry(m);
        image.insert(image.end(), entry.begin(), entry.end());
    }

    // One stream for all members: matches may reach back into earlier ones.
    std::vector<std::uint8_t> all;
    all.reserve(static_cast<std::size_t>(total));
    for (const MemberInput& m : members)
        all.insert(all.end(), m.data.begin(), m.data.end());

    ItemEncoder items(options.window_bits);
    std::optional<MatchFinder> chains;
    std::optional<BinaryTreeFinder> trees;
    if (options.parser == Parser::lazy)
        chains.emplace(all, items.limits(), options.max_chain);
    else
        trees.emplace(all, items.limits(), options.search_depth);
    const OptimalParseOptions optimal{.passes = options.passes, .nice_length = options.nice_length};
    std::size_t begin = 0;
    for (const MemberInput& m : members) {
        const std::size_t end = begin + m.data.size();
        if (chains)
            parse_member(*chains, items, all, begin, end);
        else
            parse_member_optimal(*trees, items, all, begin, end, optimal);
        items.check_value(update_check_value(0, m.data.data(), static_cast<int>(m.data.size())));
        begin = end;
    }
    const std::vector<std::uint8_t> stream = items.finish();
    image.insert(image.end(), stream.begin(), stream.end());
    return image;
}

std::vector<std::vector<std::uint8_t>> split_into_volumes(const std::vector<std::uint8_t>& image,
                                                          std::size_t volume_size)
{
    if (volume_size < 3)
        throw std::invalid_argument("a volume must hold more than its 2-byte sequence number");
    std::vector<std::vector<std::uint8_t>> volumes;
    const std::size_t first = std::min(volume_size, image.size());
    volumes.emplace_back(image.begin(), image.begin() + static_cast<std::ptrdiff_t>(first));
    std::size_t pos = first;
    while (pos < image.size()) {
        const std::size_t number = volumes.size() + 1;
        if (number > 0xFFFF)
            throw std::invalid_argument("more than 65535 volumes");
        const std::size_t n = std::min(volume_size - 2, image.size() - pos);
        std::vector<std::uint8_t> volume;
        volume.reserve(n + 2);
        put_u16(volume, static_cast<std::uint32_t>(number));
        volume.insert(volume.end(), image.begin() + static_cast<std::ptrdiff_t>(pos),
                      image.begin() + static_cast<std::ptrdiff_t>(pos + n));
        volumes.push_back(std::move(volume));
        pos += n;
    }
    return volumes;
}

int fitting_window_bits(std::uint64_t total_size, int max_bits)
{
    int bits = kMinEncoderWindowBits;
    while (bits < max_bits && (std::uint64_t{1} << bits) < total_size)
        ++bits;
    return bits;
}

}  // namespace upkit
