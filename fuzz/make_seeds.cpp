// Writes the seed inputs of the fuzz targets, from our own archives and test
// data, so that no generated binary needs to be kept in the repository:
//
//   make_seeds SOURCE_DIR OUT_DIR
//
// OUT_DIR/archive_fuzzer     archives from our encoder at several levels and
//                            windows, one file or continuation files, and the
//                            conformance archives (tests/data/conformance),
//                            each behind the split and mode bytes
// OUT_DIR/path_rules_fuzzer  stored names, good and bad, behind the flag bytes
// OUT_DIR/roundtrip_fuzzer   text, runs and noise behind level, window and
//                            member bytes
// OUT_DIR/inspect_kit_fuzzer the kits of tests/data/kits
// OUT_DIR/text_codec_fuzzer  names and texts in UTF-8, Windows-1252 and
//                            UTF-16, well formed and not
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

#include "archive_writer.h"

namespace fs = std::filesystem;

namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes read_file(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    if (!in)
        throw std::runtime_error("cannot read " + path.string());
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void write_seed(const fs::path& folder, const std::string& name, const Bytes& prefix, const Bytes& body)
{
    fs::create_directories(folder);
    Bytes bytes = prefix;
    bytes.insert(bytes.end(), body.begin(), body.end());
    std::ofstream out(folder / name, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    if (!out)
        throw std::runtime_error("cannot write " + (folder / name).string());
}

Bytes head(Bytes bytes, std::size_t n)
{
    if (bytes.size() > n)
        bytes.resize(n);
    return bytes;
}

Bytes noise(std::size_t n, std::uint32_t seed, int alphabet)
{
    std::mt19937 rng(seed);
    Bytes out(n);
    for (std::uint8_t& b : out)
        b = static_cast<std::uint8_t>(rng() % static_cast<std::uint32_t>(alphabet));
    return out;
}

Bytes runs(std::size_t n)
{
    Bytes out;
    for (std::size_t i = 0; out.size() < n; ++i)
        out.insert(out.end(), 1 + i % 300, static_cast<std::uint8_t>('a' + i % 7));
    return head(out, n);
}

upkit::MemberInput member(const std::string& name, Bytes data, const std::string& note = "")
{
    upkit::MemberInput m;
    m.name = name;
    m.note = note;
    m.data = std::move(data);
    m.dos_time = 0x6000;
    m.dos_date = 0x2821;
    return m;
}

void archive_seeds(const fs::path& source, const fs::path& out)
{
    const fs::path conformance = source / "tests/data/conformance";
    const Bytes text = head(read_file(conformance / "v01_text/expected/STDIO.H"), 3000);
    const std::vector<upkit::MemberInput> members = {
        member("TEXT.TXT", text),
        member("SUB\\NOISE.BIN", noise(700, 1, 20), "a note"),
        member("\\ROOT.TXT", runs(900)),
        member("EMPTY", {}),
    };
    struct Case {
        int level;
        int window;
        std::uint8_t split;
        std::uint8_t mode;
    };
    const Case cases[] = {
        {1, 10, 0x00, 0x00},      {5, 10, 0x80 | 5, 0x11}, {9, 10, 0x00, 0x02},     {5, 12, 0x80 | 33, 0x14},
        {9, 15, 0xC0 | 40, 0x06}, {1, 18, 0x00, 0x19},     {5, 21, 0x80 | 1, 0x03}, {9, 13, 0x00, 0x15},
    };
    for (const Case& c : cases) {
        const Bytes image = upkit::encode_archive(members, upkit::level_options(c.level, c.window));
        write_seed(out, "encoded-l" + std::to_string(c.level) + "-w" + std::to_string(c.window), {c.split, c.mode},
                   image);
    }
    // One small member, at each window, read whole.
    for (int window = 10; window <= 21; window += 3)
        write_seed(out, "small-w" + std::to_string(window), {0x00, 0x01},
                   upkit::encode_archive({member("A.TXT", head(text, 200))}, upkit::level_options(5, window)));
    // The conformance archives written by another implementation (the one
    // with a 2 MiB window is left out: larger than the fuzzer's inputs).
    for (const char* name : {"v01_text", "v02_tiny", "v03_runs", "v04_wrap", "v06_paths"})
        write_seed(out, std::string("conformance-") + name, {0x00, 0x11}, read_file(conformance / name / "archive.kw"));
    Bytes split = read_file(conformance / "v05_split/archive.kw");
    for (const char* name : {"archive.002", "archive.003"}) {
        const Bytes volume = read_file(conformance / "v05_split" / name);
        split.insert(split.end(), volume.begin() + 2, volume.end());
    }
    write_seed(out, "conformance-v05_split", {0x80 | 63, 0x11}, split);
}

void path_seeds(const fs::path& out)
{
    const char* names[] = {
        "A.TXT",
        "SUB\\DIR\\F.TXT",
        "\\ROOT.TXT",
        "..\\X",
        "A\\..\\..\\X",
        "C:\\WINDOWS\\X",
        "C:X",
        "\\\\SRV\\SHR\\F.TXT",
        "CON",
        "nul.txt",
        "COM1 .log",
        "A\\. .\\B",
        "a b\\..\\c",
        "...\\X",
        "A.\\B .\\C",
        "A/B/C",
        "\\\\?\\C:\\X",
        "F.TXT:stream",
        "A\\\\B",
        "A\\",
        ".",
        "",
        "v1.0 kits\\A.KW",
        "A.",
        "A.B.C",
        "SUB\\",
        "\\",
        "*?<>|\"",
        "LONG\\NNNNNNNNNNNNNNNNNNNNNNNNNNNNNNNNNNNNNNNNNNNNNNNNNNNNNNNNNNNNNNNNNNNNNNNNNNNNN.TXT",
    };
    int i = 0;
    for (const char* name : names) {
        const std::string text(name);
        const Bytes body(text.begin(), text.end());
        const std::uint8_t flags = static_cast<std::uint8_t>((i % 2) | ((i % 3) << 1) | ((i % 16) << 3));
        write_seed(out, "name-" + std::to_string(i), {flags, 0}, body);
        ++i;
    }
    // Around MAX_PATH below the scratch folder, and past it.
    for (std::size_t length : {200, 225, 240, 259, 300}) {
        std::string text;
        while (text.size() < length)
            text += text.size() % 20 == 19 ? '\\' : static_cast<char>('A' + text.size() % 26);
        write_seed(out, "long-" + std::to_string(length), {static_cast<std::uint8_t>(length % 2), 0},
                   Bytes(text.begin(), text.end()));
    }
    // A directory of the input's own, then a name.
    const std::string directory = "C:\\OUT\\";
    Bytes body(directory.begin(), directory.end());
    const std::string name = "SUB\\F.TXT";
    body.insert(body.end(), name.begin(), name.end());
    write_seed(out, "own-directory", {0x07, static_cast<std::uint8_t>(directory.size())}, body);
}

void roundtrip_seeds(const fs::path& source, const fs::path& out)
{
    const Bytes text = read_file(source / "tests/data/conformance/v01_text/expected/STDIO.H");
    write_seed(out, "text-l5-w10", {4, 0, 0}, head(text, 4000));
    write_seed(out, "text-l9-w12-3members", {8, 2, 2, 60, 200}, head(text, 6000));
    write_seed(out, "runs-l1-w10-volumes", {0, 0, 0x08 | 1, 128}, runs(5000));
    write_seed(out, "noise-l5-w21", {4, 11, 0}, noise(3000, 7, 256));
    write_seed(out, "noise-l3-w11-8members", {2, 1, 7, 10, 20, 30, 40, 200, 210, 255}, noise(4000, 9, 4));
    write_seed(out, "empty", {0, 0, 0}, {});
    write_seed(out, "zeros-l7-w16", {6, 6, 0x18}, Bytes(8000, 0));
}

void inspect_seeds(const fs::path& source, const fs::path& out)
{
    fs::create_directories(out);
    for (const auto& entry : fs::directory_iterator(source / "tests/data/kits"))
        if (entry.path().extension() == ".exe")
            fs::copy_file(entry.path(), out / entry.path().filename(), fs::copy_options::overwrite_existing);
}

void text_seeds(const fs::path& out)
{
    const char* texts[] = {
        "README.TXT",
        "Th\xc3\xa8me.ini",                    // UTF-8
        "Th\xe8me.ini",                        // the same in Windows-1252
        "\xe6\x97\xa5\xe6\x9c\xac.txt",        // outside Windows-1252
        "\xe2\x82\xac \xe2\x84\xa2 \xc5\xb8",  // the 0x80 to 0x9F row
        ("odd\x81\x8d\x8f\x90\x9d"
         "bytes"),                                 // the undefined bytes
        "\xc2\x81\xc2\x9d",                        // their C1 controls
        "\xf0\x9f\x98\x80 \xed\xa0\x80 \xc0\xaf",  // beyond the BMP, a surrogate, overlong
        "\x1b[2J\x07\x7f",                         // controls
    };
    int i = 0;
    for (const char* text : texts) {
        const std::string bytes(text, text + std::char_traits<char>::length(text));
        write_seed(out, "text-" + std::to_string(i++), {}, Bytes(bytes.begin(), bytes.end()));
    }
    // UTF-16LE with a surrogate pair, and a lone one.
    write_seed(out, "utf16", {}, {'A', 0, 0xE9, 0, 0x3D, 0xD8, 0x00, 0xDE, 0x00, 0xDC, 'z'});
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc != 3) {
        std::fprintf(stderr, "usage: make_seeds SOURCE_DIR OUT_DIR\n");
        return 2;
    }
    const fs::path source = argv[1];
    const fs::path out = argv[2];
    try {
        fs::remove_all(out);
        archive_seeds(source, out / "archive_fuzzer");
        path_seeds(out / "path_rules_fuzzer");
        roundtrip_seeds(source, out / "roundtrip_fuzzer");
        inspect_seeds(source, out / "inspect_kit_fuzzer");
        text_seeds(out / "text_codec_fuzzer");
    } catch (const std::exception& e) {
        std::fprintf(stderr, "make_seeds: %s\n", e.what());
        return 1;
    }
    return 0;
}
