#include "sample_data.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <string_view>

namespace upkit::bench {

namespace {

// xorshift64*: small, fast and the same everywhere.
class Random {
public:
    explicit Random(std::uint64_t seed) : state_(seed) { }
    std::uint64_t next()
    {
        state_ ^= state_ >> 12;
        state_ ^= state_ << 25;
        state_ ^= state_ >> 27;
        return state_ * 0x2545F4914F6CDD1DULL;
    }
    std::uint32_t below(std::uint32_t n) { return static_cast<std::uint32_t>(next() % n); }
    // Small values much more often than large ones, as in real word lists.
    std::uint32_t skewed(std::uint32_t n)
    {
        const std::uint32_t a = below(n);
        const std::uint32_t b = below(n);
        return a < b ? a : b;
    }

private:
    std::uint64_t state_;
};

constexpr std::array<std::string_view, 64> kWords = {
    "the",     "of",       "and",      "to",         "a",        "in",      "is",      "file",      "that",    "for",
    "it",      "as",       "with",     "be",         "on",       "not",     "this",    "by",        "are",     "or",
    "from",    "at",       "which",    "an",         "program",  "setup",   "install", "directory", "windows", "system",
    "version", "upgrade",  "registry", "value",      "key",      "restart", "copy",    "replace",   "product", "dialog",
    "license", "software", "user",     "options",    "command",  "archive", "member",  "check",     "under",   "terms",
    "general", "public",   "free",     "permission", "warranty", "notice",  "must",    "may",       "you",     "your",
    "other",   "any",      "such",     "work",
};

void append(std::vector<std::uint8_t>& out, std::string_view text)
{
    out.insert(out.end(), text.begin(), text.end());
}

void append_u32(std::vector<std::uint8_t>& out, std::uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        out.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
}

// Real files repeat themselves: phrases, code sequences, table rows. Copies
// an earlier span of 8 to 135 bytes from the last 64 KiB, now and then with a
// changed byte, giving matches of realistic lengths and distances.
void echo_earlier(std::vector<std::uint8_t>& out, std::size_t section_start, std::size_t end, Random& rng)
{
    const std::size_t length = 8 + rng.below(128);
    const std::size_t available = out.size() - section_start;
    if (available < length + 1 || out.size() + length > end)
        return;
    const std::size_t reach = std::min<std::size_t>(available - length, 65536);
    const std::size_t from = out.size() - length - rng.skewed(static_cast<std::uint32_t>(reach));
    for (std::size_t i = 0; i < length; ++i)
        out.push_back(out[from + i]);
    if (rng.below(2) == 0)
        out[out.size() - 1 - rng.below(static_cast<std::uint32_t>(length))] ^=
            static_cast<std::uint8_t>(1 + rng.below(255));
}

void english_text(std::vector<std::uint8_t>& out, std::size_t end, Random& rng)
{
    const std::size_t start = out.size();
    std::size_t line = 0;
    bool capital = true;
    while (out.size() < end) {
        if (rng.below(24) == 0)
            echo_earlier(out, start, end, rng);
        std::string word(kWords[rng.skewed(kWords.size())]);
        if (capital)
            word[0] = static_cast<char>(word[0] - 'a' + 'A');
        capital = false;
        append(out, word);
        line += word.size();
        const std::uint32_t r = rng.below(20);
        if (r == 0) {
            append(out, ".");
            capital = true;
        } else if (r == 1) {
            append(out, ",");
        }
        if (line > 68) {
            append(out, "\r\n");
            line = 0;
        } else {
            append(out, " ");
            ++line;
        }
    }
}

// Instruction-like byte groups with varying operands, call tables of
// ascending addresses and import names: what 32-bit program files hold.
void program_code(std::vector<std::uint8_t>& out, std::size_t end, Random& rng)
{
    static constexpr std::array<std::array<std::uint8_t, 4>, 12> kOpcodes = {{
        {0x55, 0x8B, 0xEC, 0},
        {0x8B, 0x45, 0x08, 0},
        {0x89, 0x45, 0xFC, 0},
        {0xFF, 0x15, 0, 0},
        {0xE8, 0, 0, 0},
        {0x83, 0xC4, 0x0C, 0},
        {0x6A, 0x00, 0, 0},
        {0x50, 0x51, 0, 0},
        {0x85, 0xC0, 0x74, 0},
        {0xC3, 0, 0, 0},
        {0x33, 0xC0, 0, 0},
        {0x8D, 0x4D, 0xF0, 0},
    }};
    static constexpr std::array<std::string_view, 8> kImports = {"GetProcAddress", "LoadLibraryA",   "CreateFileA",
                                                                 "ReadFile",       "RegSetValueExA", "MessageBoxA",
                                                                 "GetWindowTextA", "lstrcpyA"};
    const std::size_t start = out.size();
    std::uint32_t address = 0x10001000;
    while (out.size() < end) {
        if (rng.below(3) == 0)
            echo_earlier(out, start, end, rng);
        const std::uint32_t kind = rng.below(16);
        if (kind < 12) {
            for (int n = 0; n < 24; ++n) {
                const auto& op = kOpcodes[rng.skewed(kOpcodes.size())];
                for (std::uint8_t b : op)
                    if (b)
                        out.push_back(b);
                if (op[0] == 0xE8 || op[0] == 0xFF)
                    append_u32(out, address + rng.below(0x4000));
                else if (rng.below(3) == 0)
                    out.push_back(static_cast<std::uint8_t>(rng.below(256)));
            }
        } else if (kind < 14) {
            for (int n = 0; n < 32; ++n) {
                address += 4 + 4 * rng.below(8);
                append_u32(out, address);
            }
        } else {
            for (int n = 0; n < 4; ++n) {
                append(out, kImports[rng.below(kImports.size())]);
                out.push_back(0);
                out.push_back(static_cast<std::uint8_t>(rng.below(4)));
                out.push_back(0);
            }
        }
    }
}

void table_rows(std::vector<std::uint8_t>& out, std::size_t end, Random& rng)
{
    char row[96];
    while (out.size() < end) {
        const int n =
            std::snprintf(row, sizeof row, "2026-%02u-%02u,ITEM-%04u,%u.%02u,%u\r\n", 1 + rng.below(12),
                          1 + rng.below(28), rng.skewed(2000), rng.below(500), rng.below(100), rng.skewed(100));
        append(out, std::string_view(row, static_cast<std::size_t>(n)));
    }
}

void random_bytes(std::vector<std::uint8_t>& out, std::size_t end, Random& rng)
{
    while (out.size() < end)
        out.push_back(static_cast<std::uint8_t>(rng.next() >> 56));
}

std::vector<std::uint8_t>& data_storage()
{
    static std::vector<std::uint8_t> data;
    return data;
}

std::string& description_storage()
{
    static std::string description;
    return description;
}

}  // namespace

std::vector<std::uint8_t> generated_mix(std::size_t size)
{
    Random rng(0x75706B6974ULL);
    std::vector<std::uint8_t> out;
    out.reserve(size + 512);
    // Sections in turn, 64 KiB at a time, so that every part of the data
    // has each kind of content within a window's reach.
    const std::size_t chunk = 65536;
    int turn = 0;
    while (out.size() < size) {
        const std::size_t end = std::min(size, out.size() + chunk);
        switch (turn++ % 10) {
        case 0:
        case 1:
        case 2:
        case 3:
            program_code(out, end, rng);
            break;
        case 4:
        case 5:
        case 6:
            english_text(out, end, rng);
            break;
        case 7:
        case 8:
            table_rows(out, end, rng);
            break;
        default:
            random_bytes(out, end, rng);
            break;
        }
    }
    out.resize(size);
    return out;
}

const std::vector<std::uint8_t>& sample_data()
{
    return data_storage();
}

void set_sample_data(std::vector<std::uint8_t> data, std::string description)
{
    data_storage() = std::move(data);
    description_storage() = std::move(description);
}

const std::string& sample_description()
{
    return description_storage();
}

}  // namespace upkit::bench
