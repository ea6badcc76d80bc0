// Arbitrary bytes opened and extracted as a KW archive through the engine,
// as one file or split into continuation files.
//
// Input: byte 0 chooses the split, byte 1 how the archive is read, the rest
// is the archive.
//   byte 0   bit 7 clear: one file. Set: continuation files of the size that
//            bits 0..5 pick (3 to 34 bytes, or 35 + k * 512 up to 15907),
//            with correct 16-bit sequence numbers, or with bit 6 set, raw
//            chunks whose first two bytes stand as the number.
//   byte 1   bit 0: keep stored folders; bits 1-2: extract all (0), only the
//            last member, every member one by one (then one before the
//            cursor), or the directory's end then all; bit 3: the archive
//            file has no extension; bit 4: read it twice.
//
// Checked: every result and report is 0 or an engine code; nothing is
// written outside the target folder; the engine closes every file it
// opened; read twice, the archive gives the same results, reports and
// files (the engine's state is process-wide, and damaged streams must
// decode the same way every time); no sanitizer report.
#include <algorithm>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "archive_reader.h"
#include "archive_writer.h"
#include "fuzz_support.h"

namespace {

using namespace upkit::fuzz;

const DWORD kDecodeBudget = 1u << 20;
const std::size_t kMaxVolumes = 200;

std::size_t volume_size_of(std::uint8_t choice)
{
    const std::size_t n = choice & 0x3F;
    return n < 32 ? 3 + n : 35 + (n - 32) * 512;
}

// The archive's files: the first, then NAME.002, NAME.003, ...
std::vector<std::vector<std::uint8_t>> volumes_of(std::uint8_t split, const std::vector<std::uint8_t>& image)
{
    if (!(split & 0x80))
        return {image};
    std::size_t size = volume_size_of(split);
    size = std::max(size, image.size() / kMaxVolumes + 3);
    if (!(split & 0x40))
        return upkit::split_into_volumes(image, size);
    std::vector<std::vector<std::uint8_t>> volumes;
    for (std::size_t pos = 0; pos < image.size() || volumes.empty(); pos += size)
        volumes.emplace_back(image.begin() + static_cast<std::ptrdiff_t>(std::min(pos, image.size())),
                             image.begin() + static_cast<std::ptrdiff_t>(std::min(pos + size, image.size())));
    return volumes;
}

std::string continuation_name(const std::string& stem, std::size_t number)
{
    char digits[32];
    std::snprintf(digits, sizeof digits, "%03zu", number);
    return stem + "." + digits;
}

void check_code(int code, const char* what)
{
    FUZZ_CHECK(is_engine_code(code), "%s gave %d", what, code);
}

// What one reading of the archive gave: every result and report in order,
// and the files written, by path below the target folder.
struct Outcome {
    std::vector<int> results;
    std::vector<int> reports;
    std::map<std::string, std::vector<std::uint8_t>> files;

    bool operator==(const Outcome&) const = default;
};

int noted(Outcome& outcome, int code, const char* what)
{
    check_code(code, what);
    outcome.results.push_back(code);
    return code;
}

Outcome read_archive(const fs::path& scratch, const std::string& first_name,
                     const std::vector<std::string>& archive_files, std::uint8_t mode)
{
    fs::remove_all(scratch / "T");
    reset_engine_counters();
    const int free_descriptor = lowest_free_descriptor();
    const std::string target = engine_path(scratch / "T" / "OUT");
    const int keep_paths = mode & 1;
    Outcome outcome;
    {
        FuzzReader reader(kDecodeBudget);
        const int opened = noted(outcome, reader.Open(engine_path(scratch / first_name).c_str()), "Open");
        noted(outcome, reader.GetStatus(), "GetStatus");
        if (opened == 0 && reader.GetStatus() == 0) {
            const int count = reader.GetCount();
            FUZZ_CHECK(count >= 0 && count <= 0xFFFF, "member count %d", count);
            FUZZ_CHECK(reader.GetWindowBits() >= 9 && reader.GetWindowBits() <= 21, "window bits %d",
                       reader.GetWindowBits());
            for (int i = 0; i < count; ++i) {
                ArchiveEntry entry{};
                FUZZ_CHECK(reader.GetEntry(i, &entry) == 0, "GetEntry(%d)", i);
                FUZZ_CHECK(entry.name != nullptr && entry.note != nullptr, "entry %d without texts", i);
                FUZZ_CHECK(entry.note_length >= 0 && entry.note_length <= 0x7FFF, "note length %d", entry.note_length);
            }
            ArchiveEntry past{};
            FUZZ_CHECK(reader.GetEntry(count, &past) == ARCERR_END_OF_DIRECTORY, "GetEntry past the end");
            switch ((mode >> 1) & 3) {
            case 0:
                noted(outcome, reader.Extract(-1, target.c_str(), keep_paths), "Extract(-1)");
                break;
            case 1:
                if (count > 0)
                    noted(outcome, reader.Extract(count - 1, target.c_str(), keep_paths), "Extract(last)");
                break;
            case 2: {
                int result = 0;
                for (int i = 0; i < count && result == 0; ++i)
                    result = noted(outcome, reader.Extract(i, target.c_str(), keep_paths), "Extract(i)");
                if (result == 0 && count > 0)
                    FUZZ_CHECK(reader.Extract(count - 1, target.c_str(), keep_paths) == ARCERR_BAD_INDEX,
                               "extracting behind the cursor");
                break;
            }
            default:
                FUZZ_CHECK(reader.Extract(count, target.c_str(), keep_paths) == ARCERR_END_OF_DIRECTORY,
                           "Extract(count)");
                noted(outcome, reader.Extract(-1, target.c_str(), keep_paths), "Extract(-1)");
                break;
            }
            noted(outcome, reader.GetStatus(), "GetStatus after extraction");
        }
        reader.Close();
        for (int code : reader.codes)
            check_code(code, "report");
        outcome.reports = reader.codes;
    }
    FUZZ_CHECK(current_receiver == nullptr, "a reader is still registered");
    FUZZ_CHECK(lowest_free_descriptor() == free_descriptor, "a file was left open (descriptor %d free, was %d)",
               lowest_free_descriptor(), free_descriptor);

    // Only the archive's files and the target folder, T/OUT.
    for (const auto& entry : fs::directory_iterator(scratch)) {
        const std::string name = entry.path().filename().string();
        const bool archive_file = std::find(archive_files.begin(), archive_files.end(), name) != archive_files.end();
        FUZZ_CHECK(archive_file || name == "T", "the engine wrote %s", entry.path().c_str());
    }
    if (fs::exists(scratch / "T")) {
        for (const auto& entry : fs::directory_iterator(scratch / "T"))
            FUZZ_CHECK(entry.path().filename() == "OUT", "the engine wrote %s", entry.path().c_str());
        for (const auto& entry : fs::recursive_directory_iterator(scratch / "T"))
            if (entry.is_regular_file())
                outcome.files[entry.path().lexically_relative(scratch).string()] = read_bytes(entry.path());
    }
    return outcome;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size < 2)
        return 0;
    const std::uint8_t split = data[0];
    const std::uint8_t mode = data[1];
    const std::vector<std::uint8_t> image(data + 2, data + size);

    const Scratch& scratch = Scratch::get();
    scratch.empty();

    const bool no_extension = (mode & 8) != 0;
    const std::string first_name = no_extension ? "A" : "A.KW";
    const std::vector<std::vector<std::uint8_t>> volumes = volumes_of(split, image);
    std::vector<std::string> archive_files;
    for (std::size_t i = 0; i < volumes.size(); ++i) {
        archive_files.push_back(i == 0 ? first_name : continuation_name("A", i + 1));
        write_bytes(scratch.path() / archive_files.back(), volumes[i]);
    }

    const Outcome first = read_archive(scratch.path(), first_name, archive_files, mode);
    if (mode & 0x10) {
        const Outcome second = read_archive(scratch.path(), first_name, archive_files, mode);
        FUZZ_CHECK(second.results == first.results, "read again, the results differ (%zu and %zu of them)",
                   first.results.size(), second.results.size());
        FUZZ_CHECK(second.reports == first.reports, "read again, the reports differ (%zu and %zu of them)",
                   first.reports.size(), second.reports.size());
        FUZZ_CHECK(second.files == first.files, "read again, the files written differ (%zu and %zu of them)",
                   first.files.size(), second.files.size());
    }
    return 0;
}
