// What the fuzz targets share: a private scratch folder (on /dev/shm when
// there is one), emptied before every input and removed when the process
// ends; a receiver of the engine's reports with a budget on decoded bytes;
// and FUZZ_CHECK, which reports a broken invariant and aborts, so that
// libFuzzer (and the standalone runner) records the input as a crash.
//
// Header-only: each target is one source file plus this header, built both
// as a libFuzzer target (clang) and as a plain program over files (g++, with
// standalone_main.cpp).
#pragma once

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <span>
#include <string>
#include <system_error>
#include <vector>

#include "archive_reader.h"
#include "lz_window.h"

#define FUZZ_CHECK(condition, ...)                                                                                     \
    do {                                                                                                               \
        if (!(condition)) {                                                                                            \
            std::fprintf(stderr, "%s:%d: invariant broken: %s\n  ", __FILE__, __LINE__, #condition);                   \
            std::fprintf(stderr, __VA_ARGS__);                                                                         \
            std::fprintf(stderr, "\n");                                                                                \
            std::abort();                                                                                              \
        }                                                                                                              \
    } while (0)

namespace upkit::fuzz {

namespace fs = std::filesystem;

// The process's scratch folder: short, because the engine qualifies output
// paths below 128 characters through a fixed record.
class Scratch {
public:
    static Scratch& get()
    {
        static Scratch scratch;
        return scratch;
    }

    const fs::path& path() const { return path_; }

    // Removes everything inside the folder.
    void empty() const
    {
        std::error_code ignored;
        for (const auto& entry : fs::directory_iterator(path_, ignored))
            fs::remove_all(entry.path(), ignored);
    }

    ~Scratch()
    {
        std::error_code ignored;
        fs::remove_all(path_, ignored);
    }

private:
    Scratch()
    {
        std::error_code error;
        fs::path base = "/dev/shm";
        if (!fs::is_directory(base, error) || access(base.c_str(), W_OK) != 0)
            base = fs::temp_directory_path();
        path_ = base / ("upkit-fuzz-" + std::to_string(getpid()));
        fs::remove_all(path_, error);
        fs::create_directories(path_);
    }

    fs::path path_;
};

// A host path in the engine's form: backslashes between components.
inline std::string engine_path(const fs::path& path)
{
    std::string text = path.string();
    for (char& c : text)
        if (c == '/')
            c = '\\';
    return text;
}

inline void write_bytes(const fs::path& path, std::span<const std::uint8_t> bytes)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    FUZZ_CHECK(static_cast<bool>(out), "cannot write %s", path.c_str());
}

inline std::vector<std::uint8_t> read_bytes(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    FUZZ_CHECK(static_cast<bool>(in), "cannot read %s", path.c_str());
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// Every code the engine may return or report (engine_codes.h).
inline bool is_engine_code(int code)
{
    switch (code) {
    case 0:
    case 1:
    case 2:
    case 3:
    case 7:
    case 8:
    case 9:
    case 10:
    case 12:
    case 13:
    case 15:
    case 16:
    case 17:
    case 18:
    case 20:
    case 21:
        return true;
    default:
        return false;
    }
}

// Records the engine's error reports and cancels a member once the decoded
// bytes of the whole input pass the budget: a damaged stream can declare
// members of up to 2 GiB, and well-predicted long matches cost the
// arithmetic decoder a tiny fraction of a bit each.
class FuzzReader : public ArchiveReader {
public:
    explicit FuzzReader(DWORD budget) : budget_(budget) { }
    ~FuzzReader() { Close(); }

    int OnError(int code, void*) override
    {
        FUZZ_CHECK(is_engine_code(code), "reported code %d", code);
        codes.push_back(code);
        return 0;  // no retries of code 21
    }
    void OnStatus(int code, const char* name) override
    {
        FUZZ_CHECK(code >= ARCSTAT_READ && code <= ARCSTAT_CLOSE, "status notice %d", code);
        FUZZ_CHECK(name != nullptr, "status notice %d without a name", code);
    }
    int OnProgress(DWORD done, DWORD total) override
    {
        FUZZ_CHECK(done <= total, "progress %u of %u", done, total);
        if (done < last_done_)
            base_ += last_done_;
        last_done_ = done;
        return base_ + done <= budget_;
    }

    std::vector<int> codes;

private:
    DWORD budget_;
    DWORD base_ = 0;
    DWORD last_done_ = 0;
};

// Puts the engine's process-wide progress counter back, so that the same
// input gives the same progress queries, and the same cancellations, however
// many inputs ran before it.
inline void reset_engine_counters()
{
    progress_countdown = kProgressInterval;
}

// The lowest free descriptor, to check that the engine closes its files.
inline int lowest_free_descriptor()
{
    const int fd = dup(2);
    if (fd >= 0)
        close(fd);
    return fd;
}

}  // namespace upkit::fuzz
