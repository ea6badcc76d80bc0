// upkit-bench: compression ratio, speed and peak memory of upkit's levels and
// of the usual peers (gzip, bzip2, xz, zstd), all measured in one run on the
// same bytes, each tool as a child process measured the same way.
//
//   upkit-bench CORPUS_DIR [--upkit PATH] [--levels 1-9] [--repeat 3] [--by-file] [--json]
//
// upkit packs the corpus's files as one archive (`upkit create`), the peers
// compress one tar of the same files, made here deterministically. Every
// archive must pass `upkit test` and extract to the corpus's bytes; every
// peer's output must decompress to the tar. A run where anything failed says
// so and exits with 1.
//
// With --by-file, each file is also compressed alone by every upkit level
// asked for and every peer, and a second table gives the sizes per file,
// summed by kind of file: a solid archive hides which files a compressor
// handles badly.
#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fmt/format.h>
#include <fstream>
#include <iostream>
#include <iterator>
#include <map>
#include <optional>
#include <set>
#include <sstream>
#include <string>
#include <tuple>
#include <unistd.h>
#include <vector>

#include <CLI/CLI.hpp>
#include <nlohmann/json.hpp>

#include "child_process.h"
#include "file_kinds.h"
#include "size_percent.h"
#include "text_table.h"

extern char** environ;

namespace fs = std::filesystem;

namespace upkit::bench {

namespace {

// ---------------------------------------------------------------- settings

struct Settings {
    fs::path corpus;
    std::string upkit;
    std::string levels = "1-9";
    int window_bits = 21;
    bool with_default = true;
    std::string peers = "all";
    int repeat = 3;
    double slow_seconds = 10;
    bool json = false;
    bool by_file = false;
    std::string work_dir;
    bool keep = false;
};

// A peer compressor: how it compresses a file to standard output and
// decompresses one to standard output.
struct PeerSpec {
    std::string id;  // for --peers and the JSON output
    std::string tool;
    std::string level;                    // as the table shows it
    std::string window;                   // its window or block size
    std::vector<std::string> compress;    // followed by the input file
    std::vector<std::string> decompress;  // followed by the compressed file
    std::string extension;
};

// Single-threaded where a tool could use threads, as upkit is.
const std::vector<PeerSpec>& peer_specs()
{
    static const std::vector<PeerSpec> specs = {
        {"gzip-9", "gzip", "-9", "32 KiB", {"gzip", "-9", "-c"}, {"gzip", "-d", "-c"}, ".gz"},
        {"bzip2-9", "bzip2", "-9", "900 kB", {"bzip2", "-9", "-c"}, {"bzip2", "-d", "-c"}, ".bz2"},
        {"xz-6", "xz", "-6", "8 MiB", {"xz", "-6", "-T1", "-c"}, {"xz", "-d", "-T1", "-c"}, ".xz"},
        {"xz-9e", "xz", "-9e", "64 MiB", {"xz", "-9e", "-T1", "-c"}, {"xz", "-d", "-T1", "-c"}, ".9e.xz"},
        {"zstd-19-long27",
         "zstd",
         "-19 --long=27",
         "128 MiB",
         {"zstd", "-19", "--long=27", "-T1", "-q", "-c"},
         {"zstd", "-d", "--long=27", "-q", "-c"},
         ".zst"},
    };
    return specs;
}

// Variables through which a user's defaults would change what the peers do.
const char* const kPeerEnvironment[] = {"GZIP",        "BZIP",        "BZIP2",         "XZ_OPT",
                                        "XZ_DEFAULTS", "ZSTD_CLEVEL", "ZSTD_NBTHREADS"};

std::vector<std::string> child_environment()
{
    std::vector<std::string> env;
    for (char** e = environ; *e; ++e) {
        const std::string entry = *e;
        const std::string name = entry.substr(0, entry.find('='));
        if (std::find(std::begin(kPeerEnvironment), std::end(kPeerEnvironment), name) == std::end(kPeerEnvironment))
            env.push_back(entry);
    }
    return env;
}

// "1-9", "1,5,9", "3-5,9"
std::optional<std::vector<int>> parse_levels(const std::string& text)
{
    std::set<int> levels;
    std::stringstream in(text);
    std::string part;
    while (std::getline(in, part, ',')) {
        if (part.empty())
            return std::nullopt;
        int first = 0;
        int last = 0;
        char* end = nullptr;
        first = static_cast<int>(std::strtol(part.c_str(), &end, 10));
        if (end == part.c_str())
            return std::nullopt;
        if (*end == '-') {
            const char* second = end + 1;
            last = static_cast<int>(std::strtol(second, &end, 10));
            if (end == second)
                return std::nullopt;
        } else {
            last = first;
        }
        if (*end != '\0' || first < 1 || last > 9 || first > last)
            return std::nullopt;
        for (int level = first; level <= last; ++level)
            levels.insert(level);
    }
    return std::vector<int>(levels.begin(), levels.end());
}

// ---------------------------------------------------------------- figures

struct Measurement {
    double best_seconds = 0;  // the fastest run
    double cpu_seconds = 0;   // its user and system time
    long peak_kib = 0;        // the highest peak of all runs
    int runs = 0;
};

struct Row {
    std::string id;  // "upkit-1", "upkit-default", a peer id
    std::string tool;
    std::string level;
    std::string window;
    int upkit_level = 0;  // 1..9; 0 for the default row and the peers
    bool is_upkit = false;
    bool is_default = false;
    std::string compress_command;
    std::string decompress_command;
    std::uint64_t compressed = 0;
    Measurement compress;
    Measurement decompress;
    bool measured = false;  // compress and decompress figures exist
    std::vector<std::string> failures;
};

struct Corpus {
    std::vector<fs::path> files;  // relative to the corpus folder, sorted
    bool flat = true;             // all files at the top
    std::uint64_t bytes = 0;      // the files' contents
    std::uint64_t tar_bytes = 0;
};

// A column of the per-file table: an upkit level row or a peer, each
// compressing every file alone.
struct ByFileColumn {
    std::string id;       // the main table's row id: "upkit-9", "xz-9e"
    std::string head;     // "upkit 9", "xz-9e"
    int upkit_level = 0;  // 1..9; 0 for a peer
    const PeerSpec* peer = nullptr;
};

// One corpus file compressed alone by each column's tool.
struct FileSizes {
    fs::path file;  // relative to the corpus folder
    FileKind kind = FileKind::other;
    std::uint64_t bytes = 0;
    std::map<std::string, std::uint64_t> compressed;  // by column id; none where it failed

    std::optional<std::uint64_t> size_by(const std::string& id) const
    {
        const auto it = compressed.find(id);
        return it == compressed.end() ? std::nullopt : std::optional<std::uint64_t>(it->second);
    }
};

// The sizes of a group of files added up; a column with no sum where any of
// the files failed, as a sum without it would look smaller than it is.
struct SizeSum {
    std::size_t files = 0;
    std::uint64_t bytes = 0;
    std::map<std::string, std::optional<std::uint64_t>> compressed;
};

template <typename Pick>
SizeSum sum_sizes(const std::vector<FileSizes>& files, const std::vector<ByFileColumn>& columns, Pick pick)
{
    SizeSum sum;
    for (const ByFileColumn& column : columns)
        sum.compressed[column.id] = 0;
    for (const FileSizes& f : files) {
        if (!pick(f))
            continue;
        ++sum.files;
        sum.bytes += f.bytes;
        for (const ByFileColumn& column : columns) {
            std::optional<std::uint64_t>& total = sum.compressed[column.id];
            const std::optional<std::uint64_t> size = f.size_by(column.id);
            if (!size)
                total.reset();
            else if (total)
                *total += *size;
        }
    }
    return sum;
}

double mb_per_second(std::uint64_t bytes, double seconds)
{
    return seconds > 0 ? static_cast<double>(bytes) / 1e6 / seconds : 0;
}

std::string grouped(std::uint64_t value)
{
    std::string digits = std::to_string(value);
    std::string out;
    for (std::size_t i = 0; i < digits.size(); ++i) {
        if (i && (digits.size() - i) % 3 == 0)
            out += ',';
        out += digits[i];
    }
    return out;
}

std::string mib(long kib)
{
    return fmt::format("{:.1f} MiB", static_cast<double>(kib) / 1024.0);
}

std::string window_text(int bits)
{
    const std::uint64_t size = std::uint64_t{1} << bits;
    if (size >= (1u << 20))
        return fmt::format("{} MiB ({})", size >> 20, bits);
    return fmt::format("{} KiB ({})", size >> 10, bits);
}

std::string joined(const std::vector<std::string>& words)
{
    std::string out;
    for (const std::string& w : words) {
        if (!out.empty())
            out += ' ';
        out += w;
    }
    return out;
}

// ---------------------------------------------------------------- files

std::optional<std::vector<char>> read_whole(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return std::nullopt;
    std::vector<char> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (in.bad())
        return std::nullopt;
    return bytes;
}

std::string first_line_of(const fs::path& path)
{
    std::ifstream in(path);
    std::string line;
    std::getline(in, line);
    return line;
}

// The window bits from a KW archive's header, or nothing when the file is no
// KW archive.
std::optional<int> archive_window_bits(const fs::path& archive)
{
    std::ifstream in(archive, std::ios::binary);
    char header[8] = {};
    if (!in.read(header, sizeof header) || header[0] != 'K' || header[1] != 'W')
        return std::nullopt;
    return static_cast<unsigned char>(header[6]);
}

// Whether `upkit test`'s summary line (in `output`) counts these members and
// bytes; the line itself goes to `summary` for the message when not.
bool test_summary_counts(const fs::path& output, std::size_t members, std::uint64_t bytes, std::string& summary,
                         std::string& expected)
{
    expected = fmt::format("OK, {} members, {} bytes", members, bytes);
    summary = first_line_of(output);
    const std::string tail = ": " + expected;
    return summary.size() >= tail.size() && summary.compare(summary.size() - tail.size(), tail.size(), tail) == 0;
}

bool same_contents(const fs::path& a, const fs::path& b)
{
    std::error_code ec;
    if (fs::file_size(a, ec) != fs::file_size(b, ec) || ec)
        return false;
    const auto x = read_whole(a);
    const auto y = read_whole(b);
    return x && y && *x == *y;
}

std::optional<Corpus> gather_corpus(const fs::path& folder, std::string& error)
{
    Corpus corpus;
    std::error_code ec;
    if (!fs::is_directory(folder, ec)) {
        error = fmt::format("{}: not a folder", folder.string());
        return std::nullopt;
    }
    fs::recursive_directory_iterator it(folder, ec);
    for (; !ec && it != fs::recursive_directory_iterator(); it.increment(ec)) {
        if (!it->is_regular_file(ec) || it->is_symlink(ec))
            continue;
        corpus.files.push_back(it->path().lexically_relative(folder));
        corpus.bytes += it->file_size(ec);
    }
    if (ec) {
        error = fmt::format("{}: cannot read the folder: {}", folder.string(), ec.message());
        return std::nullopt;
    }
    if (corpus.files.empty()) {
        error = fmt::format("{}: no files", folder.string());
        return std::nullopt;
    }
    std::sort(corpus.files.begin(), corpus.files.end());
    for (const fs::path& file : corpus.files)
        if (file.has_parent_path())
            corpus.flat = false;
    return corpus;
}

// ---------------------------------------------------------------- the run

class Bench {
public:
    Bench(Settings settings, Corpus corpus, fs::path work)
        : s_(std::move(settings))
        , corpus_(std::move(corpus))
        , work_(std::move(work))
        , env_(child_environment())
    {
    }

    bool make_tar(std::string& error);
    Row measure_upkit(int level);  // 0: the default level and window
    Row measure_peer(const PeerSpec& peer);
    std::uint64_t tar_bytes() const { return corpus_.tar_bytes; }
    // Every corpus file compressed alone by each column's tool, once and
    // untimed, each result checked; what failed goes to `failures`.
    std::vector<FileSizes> measure_by_file(const std::vector<ByFileColumn>& columns,
                                           std::vector<std::string>& failures);

private:
    // Runs the command `repeat` times (fewer once a run is slow), keeping the
    // best time and the highest peak; `written` (the file the command writes,
    // if any) is removed before each run.
    bool measure(const std::string& what, const std::vector<std::string>& argv, const Redirects& io,
                 const fs::path& written, Measurement& m, Row& row);
    void progress(const std::string& text) const { std::cerr << text << std::endl; }
    // The size of one file compressed alone, or nothing with the reason in
    // `failure`.
    std::optional<std::uint64_t> upkit_alone(int level, const fs::path& file, std::uint64_t bytes,
                                             std::string& failure);
    std::optional<std::uint64_t> peer_alone(const PeerSpec& peer, const fs::path& file, std::string& failure);

    Settings s_;
    Corpus corpus_;
    fs::path work_;
    fs::path tar_;
    std::vector<std::string> env_;
};

bool Bench::make_tar(std::string& error)
{
    tar_ = work_ / "corpus.tar";
    std::vector<std::string> argv =
        {"tar",        "--sort=name", "--format=gnu", "--owner=0", "--group=0",        "--numeric-owner",
         "--mtime=@0", "-cf",         tar_.string(),  "-C",        s_.corpus.string(), "--"};
    for (const fs::path& file : corpus_.files)
        argv.push_back(file.string());
    const fs::path errors = work_ / "tar.err";
    const ChildRun run = run_child(argv, Redirects{"", "", errors.string()}, env_);
    if (!run.started || run.exit_code != 0) {
        error = fmt::format("making the tar failed ({}): {}", describe_end(run), first_line_of(errors));
        return false;
    }
    std::error_code ec;
    corpus_.tar_bytes = fs::file_size(tar_, ec);
    if (ec) {
        error = fmt::format("tar wrote no {}: {}", tar_.string(), ec.message());
        return false;
    }
    return true;
}

bool Bench::measure(const std::string& what, const std::vector<std::string>& argv, const Redirects& io,
                    const fs::path& written, Measurement& m, Row& row)
{
    for (int r = 0; r < s_.repeat; ++r) {
        if (!written.empty())
            fs::remove(written);
        const ChildRun run = run_child(argv, io, env_);
        if (!run.started || run.exit_code != 0) {
            std::string detail = io.errors.empty() ? "" : first_line_of(io.errors);
            row.failures.push_back(fmt::format("{} {}: {} failed ({}){}{}", row.tool, row.level, what,
                                               describe_end(run), detail.empty() ? "" : ": ", detail));
            return false;
        }
        if (m.runs == 0 || run.seconds < m.best_seconds) {
            m.best_seconds = run.seconds;
            m.cpu_seconds = run.cpu_seconds;
        }
        m.peak_kib = std::max(m.peak_kib, run.peak_kib);
        ++m.runs;
        if (run.seconds > s_.slow_seconds)
            break;
    }
    return true;
}

Row Bench::measure_upkit(int level)
{
    Row row;
    row.is_upkit = true;
    row.tool = "upkit";
    row.upkit_level = level;
    row.is_default = level == 0;
    row.id = level ? fmt::format("upkit-{}", level) : "upkit-default";
    row.level = level ? std::to_string(level) : "5 (default)";
    const fs::path archive = work_ / (row.id + ".kw");
    const fs::path errors = work_ / (row.id + ".err");
    const fs::path test_output = work_ / (row.id + ".test");

    std::vector<std::string> create = {s_.upkit, "create", "-q"};
    if (level) {
        create.insert(create.end(), {"-l", std::to_string(level), "-w", std::to_string(s_.window_bits)});
    }
    create.push_back(archive.string());
    // The files themselves; a corpus with subfolders as the folder, whose
    // files upkit stores below it as the tar does.
    if (corpus_.flat) {
        for (const fs::path& file : corpus_.files)
            create.push_back((s_.corpus / file).string());
    } else {
        create.push_back(s_.corpus.string());
    }
    const std::vector<std::string> test = {s_.upkit, "test", archive.string()};
    row.compress_command = fmt::format("{} create -q{} ARCHIVE FILES...", s_.upkit,
                                       level ? fmt::format(" -l {} -w {}", level, s_.window_bits) : "");
    row.decompress_command = fmt::format("{} test ARCHIVE", s_.upkit);

    progress(fmt::format("upkit {}: compressing", row.level));
    if (!measure("create", create, Redirects{"", "", errors.string()}, archive, row.compress, row))
        return row;
    std::error_code ec;
    row.compressed = fs::file_size(archive, ec);
    const std::optional<int> bits = archive_window_bits(archive);
    if (ec || !bits) {
        row.failures.push_back(fmt::format("upkit {}: create wrote no KW archive", row.level));
        return row;
    }
    row.window = window_text(*bits);
    if (level && *bits != s_.window_bits)
        row.failures.push_back(
            fmt::format("upkit {}: the archive has window bits {}, not {}", row.level, *bits, s_.window_bits));

    progress(fmt::format("upkit {}: testing", row.level));
    if (!measure("test", test, Redirects{"", test_output.string(), errors.string()}, test_output, row.decompress, row))
        return row;
    row.measured = true;

    // upkit test decoded every member and checked its check value; its
    // summary must also count the corpus's files and bytes.
    std::string summary;
    std::string expected;
    if (!test_summary_counts(test_output, corpus_.files.size(), corpus_.bytes, summary, expected))
        row.failures.push_back(
            fmt::format("upkit {}: test reported \"{}\", expected {}", row.level, summary, expected));

    // And once, the extracted files against the corpus.
    const fs::path out_dir = work_ / (row.id + ".extracted");
    fs::remove_all(out_dir);
    fs::create_directories(out_dir);
    const ChildRun extract = run_child({s_.upkit, "extract", "-q", "-d", out_dir.string(), archive.string()},
                                       Redirects{"", "", errors.string()}, env_);
    if (!extract.started || extract.exit_code != 0) {
        row.failures.push_back(
            fmt::format("upkit {}: extract failed ({}): {}", row.level, describe_end(extract), first_line_of(errors)));
    } else {
        for (const fs::path& file : corpus_.files) {
            if (!same_contents(s_.corpus / file, out_dir / file)) {
                row.failures.push_back(
                    fmt::format("upkit {}: {} extracts to other bytes than the corpus's", row.level, file.string()));
                break;
            }
        }
    }
    fs::remove_all(out_dir);
    return row;
}

Row Bench::measure_peer(const PeerSpec& peer)
{
    Row row;
    row.id = peer.id;
    row.tool = peer.tool;
    row.level = peer.level;
    row.window = peer.window;
    row.compress_command = joined(peer.compress) + " corpus.tar > OUT";
    row.decompress_command = joined(peer.decompress) + " OUT > /dev/null";
    if (!find_program(peer.compress[0])) {
        row.failures.push_back(fmt::format("{} {}: {} is not installed", peer.tool, peer.level, peer.compress[0]));
        return row;
    }
    const fs::path output = work_ / ("corpus.tar" + peer.extension);
    const fs::path errors = work_ / (peer.id + ".err");
    std::vector<std::string> compress = peer.compress;
    compress.push_back(tar_.string());
    std::vector<std::string> decompress = peer.decompress;
    decompress.push_back(output.string());

    progress(fmt::format("{} {}: compressing", peer.tool, peer.level));
    if (!measure("compress", compress, Redirects{"", output.string(), errors.string()}, output, row.compress, row))
        return row;
    std::error_code ec;
    row.compressed = fs::file_size(output, ec);
    progress(fmt::format("{} {}: decompressing", peer.tool, peer.level));
    if (!measure("decompress", decompress, Redirects{"", "", errors.string()}, {}, row.decompress, row))
        return row;
    row.measured = true;

    // The round trip, once, untimed: the decompressed bytes are the tar's.
    const fs::path round_trip = work_ / (peer.id + ".roundtrip.tar");
    const ChildRun run = run_child(decompress, Redirects{"", round_trip.string(), errors.string()}, env_);
    if (!run.started || run.exit_code != 0)
        row.failures.push_back(
            fmt::format("{} {}: decompressing to a file failed ({})", peer.tool, peer.level, describe_end(run)));
    else if (!same_contents(round_trip, tar_))
        row.failures.push_back(
            fmt::format("{} {}: the decompressed bytes differ from the tar's", peer.tool, peer.level));
    fs::remove(round_trip);
    return row;
}

std::vector<FileSizes> Bench::measure_by_file(const std::vector<ByFileColumn>& columns,
                                              std::vector<std::string>& failures)
{
    std::vector<FileSizes> out;
    for (const fs::path& file : corpus_.files) {
        FileSizes sizes;
        sizes.file = file;
        sizes.kind = file_kind(file);
        std::error_code ec;
        sizes.bytes = fs::file_size(s_.corpus / file, ec);
        if (ec) {
            // Gone or unreadable since the corpus was gathered: no sizes, and
            // no bytes to count in the sums.
            sizes.bytes = 0;
            failures.push_back(fmt::format("{} alone: cannot read its size: {}", file.string(), ec.message()));
            out.push_back(std::move(sizes));
            continue;
        }
        progress(fmt::format("by file: {}", file.string()));
        for (const ByFileColumn& column : columns) {
            std::string failure;
            const std::optional<std::uint64_t> size = column.peer
                                                          ? peer_alone(*column.peer, file, failure)
                                                          : upkit_alone(column.upkit_level, file, sizes.bytes, failure);
            if (size)
                sizes.compressed[column.id] = *size;
            else
                failures.push_back(fmt::format("{} alone, {}: {}", file.string(), column.head, failure));
        }
        out.push_back(std::move(sizes));
    }
    return out;
}

std::optional<std::uint64_t> Bench::upkit_alone(int level, const fs::path& file, std::uint64_t bytes,
                                                std::string& failure)
{
    const fs::path archive = work_ / "alone.kw";
    const fs::path errors = work_ / "alone.err";
    const fs::path test_output = work_ / "alone.test";
    fs::remove(archive);
    const ChildRun create = run_child({s_.upkit, "create", "-q", "-l", std::to_string(level), "-w",
                                       std::to_string(s_.window_bits), archive.string(), (s_.corpus / file).string()},
                                      Redirects{"", "", errors.string()}, env_);
    if (!create.started || create.exit_code != 0) {
        failure = fmt::format("create failed ({}): {}", describe_end(create), first_line_of(errors));
        return std::nullopt;
    }
    std::error_code ec;
    const std::uint64_t size = fs::file_size(archive, ec);
    const std::optional<int> bits = archive_window_bits(archive);
    if (ec || !bits) {
        failure = "create wrote no KW archive";
        return std::nullopt;
    }
    if (*bits != s_.window_bits) {
        failure = fmt::format("the archive has window bits {}, not {}", *bits, s_.window_bits);
        return std::nullopt;
    }
    const ChildRun test =
        run_child({s_.upkit, "test", archive.string()}, Redirects{"", test_output.string(), errors.string()}, env_);
    if (!test.started || test.exit_code != 0) {
        failure = fmt::format("test failed ({}): {}", describe_end(test), first_line_of(errors));
        return std::nullopt;
    }
    std::string summary;
    std::string expected;
    if (!test_summary_counts(test_output, 1, bytes, summary, expected)) {
        failure = fmt::format("test reported \"{}\", expected {}", summary, expected);
        return std::nullopt;
    }
    return size;
}

std::optional<std::uint64_t> Bench::peer_alone(const PeerSpec& peer, const fs::path& file, std::string& failure)
{
    const fs::path source = s_.corpus / file;
    const fs::path output = work_ / ("alone" + peer.extension);
    const fs::path round_trip = work_ / "alone.roundtrip";
    const fs::path errors = work_ / "alone.err";
    std::vector<std::string> compress = peer.compress;
    compress.push_back(source.string());
    const ChildRun run = run_child(compress, Redirects{"", output.string(), errors.string()}, env_);
    if (!run.started || run.exit_code != 0) {
        failure = fmt::format("compress failed ({}): {}", describe_end(run), first_line_of(errors));
        return std::nullopt;
    }
    std::error_code ec;
    const std::uint64_t size = fs::file_size(output, ec);
    if (ec) {
        failure = fmt::format("compress wrote no {}: {}", output.string(), ec.message());
        return std::nullopt;
    }
    std::vector<std::string> decompress = peer.decompress;
    decompress.push_back(output.string());
    const ChildRun back = run_child(decompress, Redirects{"", round_trip.string(), errors.string()}, env_);
    const bool same = back.started && back.exit_code == 0 && same_contents(round_trip, source);
    fs::remove(round_trip);
    if (!back.started || back.exit_code != 0) {
        failure = fmt::format("decompress failed ({}): {}", describe_end(back), first_line_of(errors));
        return std::nullopt;
    }
    if (!same) {
        failure = "the decompressed bytes differ from the file's";
        return std::nullopt;
    }
    return size;
}

// ---------------------------------------------------------------- report

struct Comparison {
    std::string id;
    std::string text;
    std::optional<bool> holds;    // for yes/no questions
    std::optional<double> value;  // a percentage or a ratio
};

const Row* find_row(const std::vector<Row>& rows, const std::string& id)
{
    for (const Row& row : rows)
        if (row.id == id && row.measured)
            return &row;
    return nullptr;
}

std::string missing_text(const std::vector<Row>& rows, std::initializer_list<const char*> ids)
{
    std::string out;
    for (const char* id : ids)
        if (!find_row(rows, id))
            out += (out.empty() ? "" : ", ") + std::string(id);
    return "n/a (not measured: " + out + ")";
}

Comparison smaller_than(const std::vector<Row>& rows, const std::string& id, const std::string& label,
                        const std::string& peer_id, const std::string& peer_label)
{
    Comparison c;
    c.id = id + "_smaller_than_" + peer_id;
    const Row* a = find_row(rows, id);
    const Row* b = find_row(rows, peer_id);
    const std::string question = fmt::format("{} smaller than {}?", label, peer_label);
    if (!a || !b) {
        c.text = fmt::format("{} {}", question, missing_text(rows, {id.c_str(), peer_id.c_str()}));
        return c;
    }
    c.holds = a->compressed < b->compressed;
    c.value = percent_larger(a->compressed, b->compressed);
    c.text = fmt::format("{} {}: {} vs {} bytes ({:+.1f}%)", question, *c.holds ? "yes" : "NO", grouped(a->compressed),
                         grouped(b->compressed), *c.value);
    return c;
}

std::vector<Comparison> comparisons(const std::vector<Row>& rows, std::uint64_t bytes)
{
    std::vector<Comparison> out;
    out.push_back(smaller_than(rows, "upkit-9", "level 9", "zstd-19-long27", "zstd -19 --long=27"));
    out.push_back(smaller_than(rows, "upkit-9", "level 9", "bzip2-9", "bzip2 -9"));
    {
        Comparison c;
        c.id = "upkit-9_gap_to_xz-9e_percent";
        const Row* a = find_row(rows, "upkit-9");
        const Row* b = find_row(rows, "xz-9e");
        if (!a || !b) {
            c.text = "level 9 gap to xz -9e: " + missing_text(rows, {"upkit-9", "xz-9e"});
        } else {
            c.value = percent_larger(a->compressed, b->compressed);
            c.text = fmt::format("level 9 gap to xz -9e: {:+.1f}% ({} vs {} bytes; + is larger)", *c.value,
                                 grouped(a->compressed), grouped(b->compressed));
        }
        out.push_back(c);
    }
    out.push_back(smaller_than(rows, "upkit-default", "default level", "gzip-9", "gzip -9"));
    {
        Comparison c;
        c.id = "upkit-default_compress_speed_vs_xz-6";
        const Row* a = find_row(rows, "upkit-default");
        const Row* b = find_row(rows, "xz-6");
        if (!a || !b) {
            c.text = "default level compress speed vs xz -6: " + missing_text(rows, {"upkit-default", "xz-6"});
        } else {
            const double ua = mb_per_second(bytes, a->compress.best_seconds);
            const double ub = mb_per_second(bytes, b->compress.best_seconds);
            c.value = ua / ub;
            c.text =
                fmt::format("default level compress speed vs xz -6: {:.2f}x ({:.2f} vs {:.2f} MB/s)", *c.value, ua, ub);
        }
        out.push_back(c);
    }
    for (const auto& [id, label, peer, peer_label] : {std::tuple{"upkit-default", "default level", "xz-6", "xz -6"},
                                                      std::tuple{"upkit-9", "level 9", "xz-9e", "xz -9e"}}) {
        Comparison c;
        c.id = fmt::format("{}_decode_speed_vs_{}_decompress", id, peer);
        const Row* a = find_row(rows, id);
        const Row* b = find_row(rows, peer);
        const std::string label_text = fmt::format("upkit decode speed ({}) vs xz -d (of {})", label, peer_label);
        if (!a || !b) {
            c.text = label_text + ": " + missing_text(rows, {id, peer});
        } else {
            const double ua = mb_per_second(bytes, a->decompress.best_seconds);
            const double ub = mb_per_second(bytes, b->decompress.best_seconds);
            c.value = ua / ub;
            c.text = fmt::format("{}: {:.2f}x ({:.1f} vs {:.1f} MB/s)", label_text, *c.value, ua, ub);
        }
        out.push_back(c);
    }
    return out;
}

long cpu_count()
{
    return sysconf(_SC_NPROCESSORS_ONLN);
}

// The 1-minute load average when the program started: a busy machine slows
// every tool, which wall times show.
std::string load_at_start()
{
    static const std::string load = [] {
        std::ifstream in("/proc/loadavg");
        std::string first;
        in >> first;
        return first.empty() ? std::string("unknown") : first;
    }();
    return load;
}

std::string runs_text(const Row& row)
{
    return fmt::format("{}+{}", row.compress.runs, row.decompress.runs);
}

void print_table(const Settings& s, const Corpus& corpus, const std::vector<Row>& rows,
                 const std::vector<Comparison>& cmp)
{
    std::cout << fmt::format("corpus: {} ({} files, {} bytes; the peers' tar: {} bytes)\n", s.corpus.string(),
                             corpus.files.size(), grouped(corpus.bytes), grouped(corpus.tar_bytes));
    std::cout << fmt::format("upkit: {}; best of {} runs, fewer once a run takes over {:g} s\n", s.upkit, s.repeat,
                             s.slow_seconds);
    std::cout << fmt::format("machine: {} CPUs, load average {} at the start\n\n", cpu_count(), load_at_start());

    TextTable table({"tool", "level", "window", "compressed", "ratio", "comp MB/s", "decomp MB/s", "comp peak",
                     "decomp peak", "runs"},
                    3);
    for (const Row& row : rows) {
        std::vector<std::string> line = {row.tool, row.level, row.window.empty() ? "-" : row.window};
        if (row.measured) {
            line.push_back(grouped(row.compressed));
            line.push_back(
                fmt::format("{:.3f}", static_cast<double>(corpus.bytes) / static_cast<double>(row.compressed)));
            line.push_back(fmt::format("{:.2f}", mb_per_second(corpus.bytes, row.compress.best_seconds)));
            line.push_back(fmt::format("{:.2f}", mb_per_second(corpus.bytes, row.decompress.best_seconds)));
            line.push_back(mib(row.compress.peak_kib));
            line.push_back(mib(row.decompress.peak_kib));
            line.push_back(runs_text(row));
        } else {
            line.push_back("FAILED");
            for (int i = 0; i < 6; ++i)
                line.push_back("-");
        }
        if (row.measured && !row.failures.empty())
            line[0] += " (FAILED)";
        table.add_row(std::move(line));
    }
    table.print(std::cout);

    std::cout << fmt::format(
        "\nratio and MB/s (10^6 bytes/s) are of the corpus's {} bytes; comp and decomp peak are the child's peak\n"
        "resident memory (wait4 ru_maxrss); runs: compress+decompress runs taken, the best time kept.\n"
        "upkit: `upkit create` on the files, then `upkit test` (decodes every member); peers: the tar to a file,\n"
        "then `-d -c` to /dev/null; xz and zstd with -T1.\n",
        grouped(corpus.bytes));

    std::cout << "\ncomparisons:\n";
    for (const Comparison& c : cmp)
        std::cout << "  " << c.text << '\n';
}

// A size as a cell; `missing` where there is none.
std::string size_cell(const std::optional<std::uint64_t>& size, const char* missing)
{
    return size ? grouped(*size) : missing;
}

// upkit's size against a peer's as a cell: "-" where either is missing.
std::string percent_cell(const std::optional<std::uint64_t>& size, const std::optional<std::uint64_t>& peer)
{
    return size && peer ? signed_percent(*size, *peer) : "-";
}

// The per-file table: each file's sizes, by kind, a subtotal for each kind
// and the total; each upkit column also against each peer.
void print_by_file_table(const Settings& s, const std::vector<ByFileColumn>& columns,
                         const std::vector<FileSizes>& files)
{
    std::vector<const ByFileColumn*> levels;
    std::vector<const ByFileColumn*> peers;
    for (const ByFileColumn& column : columns)
        (column.peer ? peers : levels).push_back(&column);

    std::vector<std::string> head = {"file", "bytes"};
    for (const ByFileColumn& column : columns)
        head.push_back(column.head);
    for (const ByFileColumn* level : levels)
        for (const ByFileColumn* peer : peers)
            head.push_back(fmt::format("{} vs {}", level->upkit_level, peer->id));
    TextTable table(std::move(head), 1);

    // A file without a size failed; a sum without one has a failed file.
    auto row = [&](const std::string& label, std::uint64_t bytes, const char* missing, auto size_of) {
        std::vector<std::string> cells = {label, grouped(bytes)};
        for (const ByFileColumn& column : columns)
            cells.push_back(size_cell(size_of(column.id), missing));
        for (const ByFileColumn* level : levels)
            for (const ByFileColumn* peer : peers)
                cells.push_back(percent_cell(size_of(level->id), size_of(peer->id)));
        table.add_row(std::move(cells));
    };
    auto sum_row = [&](const std::string& label, const SizeSum& sum) {
        row(fmt::format("{} ({} file{})", label, sum.files, sum.files == 1 ? "" : "s"), sum.bytes, "-",
            [&](const std::string& id) { return sum.compressed.at(id); });
    };

    bool first_group = true;
    for (FileKind kind : kFileKinds) {
        const SizeSum sum = sum_sizes(files, columns, [&](const FileSizes& f) { return f.kind == kind; });
        if (sum.files == 0)
            continue;
        if (!first_group)
            table.add_gap();
        first_group = false;
        for (const FileSizes& f : files) {
            if (f.kind != kind)
                continue;
            row("  " + f.file.string(), f.bytes, "FAILED", [&](const std::string& id) { return f.size_by(id); });
        }
        sum_row(std::string(file_kind_name(kind)), sum);
    }
    table.add_rule();
    sum_row("total", sum_sizes(files, columns, [](const FileSizes&) { return true; }));

    std::cout << fmt::format("\neach file alone: upkit create -l L -w {} of the one file, then upkit test; the peers\n"
                             "on the file itself, then -d -c back to its bytes. Sizes only, one run each.\n\n",
                             s.window_bits);
    table.print(std::cout);
    std::cout << "\nper-file figures compress each file alone, so no file profits from another; a kind's row and\n"
                 "the total sum its files' sizes, their percentages compare those sums (+: upkit is larger).\n";
}

void print_failures(const std::vector<std::string>& failures)
{
    if (!failures.empty()) {
        std::cout << fmt::format("\nFAILED: {} problem{} - these figures are not a valid benchmark:\n", failures.size(),
                                 failures.size() == 1 ? "" : "s");
        for (const std::string& f : failures)
            std::cout << "  " << f << '\n';
    }
}

nlohmann::ordered_json sum_json(const SizeSum& sum, const std::vector<ByFileColumn>& columns)
{
    nlohmann::ordered_json j;
    j["files"] = sum.files;
    j["bytes"] = sum.bytes;
    nlohmann::ordered_json sizes = nlohmann::ordered_json::object();
    for (const ByFileColumn& column : columns) {
        const std::optional<std::uint64_t>& size = sum.compressed.at(column.id);
        sizes[column.id] = size ? nlohmann::ordered_json(*size) : nlohmann::ordered_json(nullptr);
    }
    j["compressed_bytes"] = sizes;
    return j;
}

// Sizes by column id; a column whose compression failed is null.
nlohmann::ordered_json by_file_json(const std::vector<ByFileColumn>& columns, const std::vector<FileSizes>& files)
{
    nlohmann::ordered_json out;
    nlohmann::ordered_json file_list = nlohmann::ordered_json::array();
    for (const FileSizes& f : files) {
        nlohmann::ordered_json j;
        j["name"] = f.file.generic_string();
        j["type"] = file_kind_name(f.kind);
        j["bytes"] = f.bytes;
        nlohmann::ordered_json sizes = nlohmann::ordered_json::object();
        for (const ByFileColumn& column : columns) {
            const std::optional<std::uint64_t> size = f.size_by(column.id);
            sizes[column.id] = size ? nlohmann::ordered_json(*size) : nlohmann::ordered_json(nullptr);
        }
        j["compressed_bytes"] = sizes;
        file_list.push_back(j);
    }
    out["files"] = file_list;
    nlohmann::ordered_json types = nlohmann::ordered_json::object();
    for (FileKind kind : kFileKinds) {
        const SizeSum sum = sum_sizes(files, columns, [&](const FileSizes& f) { return f.kind == kind; });
        if (sum.files)
            types[std::string(file_kind_name(kind))] = sum_json(sum, columns);
    }
    out["types"] = types;
    out["total"] = sum_json(sum_sizes(files, columns, [](const FileSizes&) { return true; }), columns);
    return out;
}

void print_json(const Settings& s, const Corpus& corpus, const std::vector<Row>& rows,
                const std::vector<Comparison>& cmp, const std::vector<ByFileColumn>& by_file_columns,
                const std::vector<FileSizes>& by_file, const std::vector<std::string>& failures)
{
    nlohmann::ordered_json out;
    out["corpus"] = {{"path", s.corpus.string()},
                     {"files", corpus.files.size()},
                     {"bytes", corpus.bytes},
                     {"tar_bytes", corpus.tar_bytes}};
    out["upkit"] = s.upkit;
    out["repeat"] = s.repeat;
    out["slow_seconds"] = s.slow_seconds;
    out["cpus"] = cpu_count();
    out["load_average_at_start"] = load_at_start();
    nlohmann::ordered_json row_list = nlohmann::ordered_json::array();
    for (const Row& row : rows) {
        nlohmann::ordered_json r;
        r["id"] = row.id;
        r["tool"] = row.tool;
        r["level"] = row.level;
        r["window"] = row.window;
        r["compress_command"] = row.compress_command;
        r["decompress_command"] = row.decompress_command;
        r["ok"] = row.measured && row.failures.empty();
        if (row.measured) {
            r["compressed_bytes"] = row.compressed;
            r["ratio"] = static_cast<double>(corpus.bytes) / static_cast<double>(row.compressed);
            r["compress_seconds"] = row.compress.best_seconds;
            r["decompress_seconds"] = row.decompress.best_seconds;
            r["compress_cpu_seconds"] = row.compress.cpu_seconds;
            r["decompress_cpu_seconds"] = row.decompress.cpu_seconds;
            r["compress_mb_per_s"] = mb_per_second(corpus.bytes, row.compress.best_seconds);
            r["decompress_mb_per_s"] = mb_per_second(corpus.bytes, row.decompress.best_seconds);
            r["compress_peak_kib"] = row.compress.peak_kib;
            r["decompress_peak_kib"] = row.decompress.peak_kib;
            r["compress_runs"] = row.compress.runs;
            r["decompress_runs"] = row.decompress.runs;
        }
        r["failures"] = row.failures;
        row_list.push_back(r);
    }
    out["rows"] = row_list;
    nlohmann::ordered_json cmp_list = nlohmann::ordered_json::array();
    for (const Comparison& c : cmp) {
        nlohmann::ordered_json j;
        j["id"] = c.id;
        j["text"] = c.text;
        j["holds"] = c.holds ? nlohmann::ordered_json(*c.holds) : nlohmann::ordered_json(nullptr);
        j["value"] = c.value ? nlohmann::ordered_json(*c.value) : nlohmann::ordered_json(nullptr);
        cmp_list.push_back(j);
    }
    out["comparisons"] = cmp_list;
    if (s.by_file)
        out["by_file"] = by_file_json(by_file_columns, by_file);
    out["failures"] = failures;
    out["ok"] = failures.empty();
    std::cout << out.dump(2) << '\n';
}

std::string default_upkit()
{
    if (fs::exists("build/native/upkit"))
        return "build/native/upkit";
    std::error_code ec;
    const fs::path self = fs::read_symlink("/proc/self/exe", ec);
    if (!ec && fs::exists(self.parent_path() / "upkit"))
        return (self.parent_path() / "upkit").string();
    return "build/native/upkit";
}

int run(int argc, char** argv)
{
    Settings s;
    std::string corpus_text;
    CLI::App app{"Measures upkit's levels and gzip, bzip2, xz and zstd on one corpus, in one run"};
    app.add_option("corpus", corpus_text, "Folder of files to compress")->required();
    app.add_option("--upkit", s.upkit, "The upkit program (default: build/native/upkit)");
    app.add_option("--levels", s.levels, "upkit levels to measure, e.g. 1-9, 1,5,9 (default 1-9)");
    app.add_option("--window", s.window_bits, "Window bits of the level rows (default 21)")->check(CLI::Range(10, 21));
    app.add_flag("!--no-default", s.with_default, "Leave out upkit's default row (level 5, default window)");
    app.add_option("--peers", s.peers,
                   "Peers to measure: all, none or a comma list of gzip-9, bzip2-9, xz-6, xz-9e, zstd-19-long27");
    app.add_option("--repeat", s.repeat, "Runs per measurement, the best kept (default 3)")->check(CLI::Range(1, 100));
    app.add_option("--slow-seconds", s.slow_seconds,
                   "Stop repeating a measurement once a run took longer than this (default 10)");
    app.add_flag("--by-file", s.by_file,
                 "Also compress each file alone by every level and peer asked for, and print the sizes per file");
    app.add_flag("--json", s.json, "Print the figures as one JSON object instead of the table");
    app.add_option("--work-dir", s.work_dir,
                   "Folder for the tar and the compressed files (default: a new one in $TMPDIR)");
    app.add_flag("--keep", s.keep, "Keep the work folder");
    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& e) {
        return app.exit(e) == 0 ? 0 : 2;
    }

    const auto levels = parse_levels(s.levels);
    if (!levels) {
        std::cerr << "upkit-bench: --levels: expected levels 1 to 9 like 1-9 or 1,5,9\n";
        return 2;
    }
    std::vector<const PeerSpec*> peers;
    if (s.peers == "all") {
        for (const PeerSpec& p : peer_specs())
            peers.push_back(&p);
    } else if (s.peers != "none") {
        std::stringstream in(s.peers);
        std::string id;
        while (std::getline(in, id, ',')) {
            const auto it =
                std::find_if(peer_specs().begin(), peer_specs().end(), [&](const PeerSpec& p) { return p.id == id; });
            if (it == peer_specs().end()) {
                std::cerr << fmt::format("upkit-bench: --peers: unknown peer {}\n", id);
                return 2;
            }
            peers.push_back(&*it);
        }
    }
    if (s.upkit.empty())
        s.upkit = default_upkit();
    if (!find_program(s.upkit.find('/') == std::string::npos ? "./" + s.upkit : s.upkit)) {
        std::cerr << fmt::format("upkit-bench: {}: no upkit program there (build it, or give --upkit)\n", s.upkit);
        return 1;
    }
    s.upkit = fs::absolute(s.upkit).lexically_normal().string();
    s.corpus = fs::absolute(corpus_text).lexically_normal();

    std::string error;
    auto corpus = gather_corpus(s.corpus, error);
    if (!corpus) {
        std::cerr << "upkit-bench: " << error << '\n';
        return 1;
    }
    for (const char* tool : {"tar"}) {
        if (!find_program(tool)) {
            std::cerr << fmt::format("upkit-bench: {} is not installed\n", tool);
            return 1;
        }
    }

    fs::path work;
    if (!s.work_dir.empty()) {
        work = fs::absolute(s.work_dir);
        fs::create_directories(work);
    } else {
        const char* tmp = std::getenv("TMPDIR");
        std::string pattern = (fs::path(tmp && *tmp ? tmp : "/tmp") / "upkit-bench.XXXXXX").string();
        if (!mkdtemp(pattern.data())) {
            std::cerr << fmt::format("upkit-bench: cannot make a work folder: {}\n", std::strerror(errno));
            return 1;
        }
        work = pattern;
    }

    load_at_start();
    Bench bench(s, *corpus, work);
    std::vector<Row> rows;
    std::vector<std::string> failures;
    if (!bench.make_tar(error)) {
        failures.push_back(error);
    } else {
        corpus->tar_bytes = bench.tar_bytes();
        for (int level : *levels)
            rows.push_back(bench.measure_upkit(level));
        if (s.with_default)
            rows.push_back(bench.measure_upkit(0));
        for (const PeerSpec* peer : peers)
            rows.push_back(bench.measure_peer(*peer));
    }
    for (const Row& row : rows)
        failures.insert(failures.end(), row.failures.begin(), row.failures.end());

    // The level rows (not the default row) and the peers that are installed:
    // a missing peer is already a failure of its row.
    std::vector<ByFileColumn> by_file_columns;
    std::vector<FileSizes> by_file;
    if (s.by_file) {
        for (int level : *levels)
            by_file_columns.push_back({fmt::format("upkit-{}", level), fmt::format("upkit {}", level), level, nullptr});
        for (const PeerSpec* peer : peers)
            if (find_program(peer->compress[0]))
                by_file_columns.push_back({peer->id, peer->id, 0, peer});
        by_file = bench.measure_by_file(by_file_columns, failures);
    }

    const std::vector<Comparison> cmp = comparisons(rows, corpus->bytes);
    if (s.json) {
        print_json(s, *corpus, rows, cmp, by_file_columns, by_file, failures);
    } else {
        print_table(s, *corpus, rows, cmp);
        if (s.by_file)
            print_by_file_table(s, by_file_columns, by_file);
        print_failures(failures);
    }

    if (!s.keep) {
        std::error_code ec;
        fs::remove_all(work, ec);
    } else {
        std::cerr << "upkit-bench: the work folder is " << work.string() << '\n';
    }
    return failures.empty() ? 0 : 1;
}

}  // namespace

}  // namespace upkit::bench

int main(int argc, char** argv)
{
    try {
        return upkit::bench::run(argc, argv);
    } catch (const std::exception& e) {
        std::cerr << "upkit-bench: " << e.what() << '\n';
        return 1;
    }
}
