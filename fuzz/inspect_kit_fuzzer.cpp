// Reads arbitrary bytes as a kit. A kit is read whole or refused with
// PeError; any other exception, a crash or a sanitizer report is a finding.
//
// By hand, from the top of the tree (kit_contents needs only pe/ and these
// kitread sources, and kitbuild's headers for the row structures):
//
//   clang++ -std=c++20 -O1 -g -fsanitize=fuzzer,address,undefined -DFMT_HEADER_ONLY \
//     -Ipe -Ikitread -Ikitbuild -Itables -Itools/upkit -Iencoder -Iarchive -Iplatform \
//     fuzz/inspect_kit_fuzzer.cpp pe/pe_image.cpp pe/resource_reader.cpp pe/utf16_text.cpp \
//     kitread/{ansi_text,byte_cursor,dialog_template,group_icon,kit_contents,kit_tables}.cpp \
//     kitread/{resource_names,string_table,version_info}.cpp -o inspect_kit_fuzzer
//   mkdir corpus && cp tests/data/kits/*.exe corpus/
//   ./inspect_kit_fuzzer -max_len=80000 corpus
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
