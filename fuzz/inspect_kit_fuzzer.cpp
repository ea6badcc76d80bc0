// Reads arbitrary bytes as a kit. A kit is read whole or refused with
// PeError; any other exception, a crash or a sanitizer report is a finding.
//
// Built by the fuzz preset (fuzz/CMakeLists.txt) and run by scripts/fuzz,
// with the kits of tests/data/kits as seeds and inputs of up to 80000 bytes:
//
//   scripts/fuzz inspect_kit_fuzzer
//   build/fuzz/inspect_kit_fuzzer -max_len=80000 CORPUS build/fuzz/seeds/inspect_kit_fuzzer
#include <cstddef>
#include <cstdint>
#include <span>

#include "kit_contents.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    try {
        const upkit::kitread::KitContents kit = upkit::kitread::read_kit_contents(std::span(data, size));
        // Touch what was decoded, so that nothing is read lazily past here.
        std::size_t total = kit.strings.size() + kit.missing.size() + kit.unexpected.size() + kit.damaged.size();
        for (const upkit::kitread::KitArchive& archive : kit.archives)
            total += archive.bytes.size();
        (void)total;
    } catch (const upkit::pe::PeError&) {
        // Not a readable PE image: the expected refusal.
    }
    return 0;
}
