// upkit-micro-bench: Google Benchmark micro benchmarks of the decoder's
// symbol decoding, the window's match copy and the encoder's match finder.
//
//   upkit-micro-bench [--data=FILE] [--size=BYTES] [Google Benchmark flags]
//
// Without --data the benchmarks run on a generated mix (--size bytes, 1 MiB
// by default) shaped like a kit's payload.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iostream>
#include <iterator>
#include <string>
#include <vector>

#include "sample_data.h"

namespace {

bool take_option(const char* arg, const char* name, std::string& value)
{
    const std::size_t n = std::strlen(name);
    if (std::strncmp(arg, name, n) != 0 || arg[n] != '=')
        return false;
    value = arg + n + 1;
    return true;
}

}  // namespace

int main(int argc, char** argv)
{
    std::string data_path;
    std::string size_text = "1048576";
    // Our own options first; Google Benchmark sees the rest.
    int kept = 1;
    for (int i = 1; i < argc; ++i) {
        if (take_option(argv[i], "--data", data_path) || take_option(argv[i], "--size", size_text))
            continue;
        argv[kept++] = argv[i];
    }
    argc = kept;
    argv[argc] = nullptr;

    if (!data_path.empty()) {
        std::ifstream in(data_path, std::ios::binary);
        std::vector<std::uint8_t> data;
        if (in)
            data.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
        if (!in || data.empty()) {
            std::cerr << "upkit-micro-bench: " << data_path << ": cannot read the file, or it is empty\n";
            return 1;
        }
        const std::string description = data_path + " (" + std::to_string(data.size()) + " bytes)";
        upkit::bench::set_sample_data(std::move(data), description);
    } else {
        char* end = nullptr;
        const unsigned long long size = std::strtoull(size_text.c_str(), &end, 10);
        if (*end != '\0' || size < 1024 || size > (1ull << 30)) {
            std::cerr << "upkit-micro-bench: --size: expected 1024 to 2^30 bytes\n";
            return 2;
        }
        upkit::bench::set_sample_data(upkit::bench::generated_mix(size),
                                      "generated mix (" + std::to_string(size) + " bytes)");
    }

    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 2;
    benchmark::AddCustomContext("data", upkit::bench::sample_description());
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
