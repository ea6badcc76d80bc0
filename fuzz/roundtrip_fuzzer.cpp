// Our encoder against the engine's decoder: any bytes, cut into members,
// encoded at any level and window, and read back through the real reader
// from files, must come back byte for byte, with no report from the engine.
//
// Input: byte 0 picks the level (1 + byte % 9), byte 1 the window bits
// (10 + byte % 12), byte 2 the member count (1 + low 3 bits) and, in its top
// 5 bits, continuation files (0: one file, else files of 3 + k * 61 bytes,
// at most 200 of them); then one byte per cut between members (where it cuts
// the data, in 256ths); the rest is the data.
#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "archive_reader.h"
#include "archive_writer.h"
#include "fuzz_support.h"

using namespace upkit::fuzz;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size < 3)
        return 0;
    const int level = 1 + data[0] % 9;
    const int window_bits = 10 + data[1] % 12;
    const int count = 1 + (data[2] & 7);
    const int volume_choice = data[2] >> 3;
    std::size_t pos = 3;
    std::vector<std::size_t> cuts;
    for (int i = 1; i < count && pos < size; ++i)
        cuts.push_back(data[pos++]);
    const std::vector<std::uint8_t> all(data + pos, data + size);
    for (std::size_t& cut : cuts)
        cut = all.size() * cut / 256;
    std::sort(cuts.begin(), cuts.end());
    cuts.push_back(all.size());

    std::vector<upkit::MemberInput> members;
    std::size_t begin = 0;
    for (std::size_t i = 0; i < cuts.size(); ++i) {
        upkit::MemberInput m;
        // Every other member in a folder of its own.
        m.name = (i % 2 ? "D" + std::to_string(i) + "\\M" : "M") + std::to_string(i);
        m.data.assign(all.begin() + static_cast<std::ptrdiff_t>(begin),
                      all.begin() + static_cast<std::ptrdiff_t>(cuts[i]));
        m.dos_time = 0x6000;
        m.dos_date = 0x2821;
        begin = cuts[i];
        members.push_back(std::move(m));
    }

    const std::vector<std::uint8_t> image = upkit::encode_archive(members, upkit::level_options(level, window_bits));
    // Deterministic: checked on small inputs only, where it costs little.
    if (all.size() <= 1024)
        FUZZ_CHECK(image == upkit::encode_archive(members, upkit::level_options(level, window_bits)),
                   "two encodings of the same members differ");
    std::vector<std::vector<std::uint8_t>> volumes = {image};
    if (volume_choice) {
        const std::size_t volume_size =
            std::max<std::size_t>(3 + static_cast<std::size_t>(volume_choice) * 61, image.size() / 200 + 3);
        volumes = upkit::split_into_volumes(image, volume_size);
    }

    const Scratch& scratch = Scratch::get();
    scratch.empty();
    reset_engine_counters();
    for (std::size_t i = 0; i < volumes.size(); ++i) {
        char name[32];
        std::snprintf(name, sizeof name, i == 0 ? "R.KW" : "R.%03zu", i + 1);
        write_bytes(scratch.path() / name, volumes[i]);
    }

    {
        FuzzReader reader(0xFFFFFFFFu);
        FUZZ_CHECK(reader.Open(engine_path(scratch.path() / "R.KW").c_str()) == 0, "Open failed");
        FUZZ_CHECK(reader.GetStatus() == 0, "status %d after Open", reader.GetStatus());
        FUZZ_CHECK(reader.GetWindowBits() == window_bits, "window bits %d, not %d", reader.GetWindowBits(),
                   window_bits);
        FUZZ_CHECK(reader.GetCount() == static_cast<int>(members.size()), "count %d", reader.GetCount());
        for (std::size_t i = 0; i < members.size(); ++i) {
            ArchiveEntry entry{};
            FUZZ_CHECK(reader.GetEntry(static_cast<int>(i), &entry) == 0, "GetEntry(%zu)", i);
            FUZZ_CHECK(members[i].name == entry.name, "member %zu is named %s", i, entry.name);
            FUZZ_CHECK(entry.size == members[i].data.size(), "member %zu has size %u", i, entry.size);
        }
        const int extracted = reader.Extract(-1, engine_path(scratch.path() / "OUT").c_str(), 1);
        FUZZ_CHECK(extracted == 0, "level %d, window %d, %zu members, %zu volumes: Extract gave %d", level, window_bits,
                   members.size(), volumes.size(), extracted);
        FUZZ_CHECK(reader.codes.empty(), "the engine reported code %d", reader.codes.front());
        reader.Close();
    }
    for (std::size_t i = 0; i < members.size(); ++i) {
        std::string relative = members[i].name;
        std::replace(relative.begin(), relative.end(), '\\', '/');
        const std::vector<std::uint8_t> back = read_bytes(scratch.path() / "OUT" / relative);
        if (back != members[i].data) {
            std::size_t at = 0;
            while (at < back.size() && at < members[i].data.size() && back[at] == members[i].data[at])
                ++at;
            FUZZ_CHECK(false, "level %d, window %d: member %zu of %zu (%zu bytes) differs from byte %zu on", level,
                       window_bits, i, members.size(), members[i].data.size(), at);
        }
    }
    return 0;
}
