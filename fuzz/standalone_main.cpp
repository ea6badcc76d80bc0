// Runs a fuzz target's LLVMFuzzerTestOneInput over files, for builds without
// libFuzzer: each argument is a file or a folder (every file below it, in
// name order). A broken invariant aborts, so the test fails. A folder that
// or file that does not exist is skipped with a note (a target's regression
// folder exists only once a crash was found for it).
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);

namespace fs = std::filesystem;

namespace {

int run_file(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        std::fprintf(stderr, "cannot read %s\n", path.c_str());
        return 1;
    }
    const std::vector<char> bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    std::fprintf(stderr, "running %s (%zu bytes)\n", path.c_str(), bytes.size());
    // A copy of exactly the input's size, so that the sanitizers see reads
    // past its end.
    std::vector<std::uint8_t> input(bytes.begin(), bytes.end());
    LLVMFuzzerTestOneInput(input.empty() ? nullptr : input.data(), input.size());
    return 0;
}

}  // namespace

int main(int argc, char** argv)
{
    int failures = 0;
    int inputs = 0;
    for (int i = 1; i < argc; ++i) {
        const fs::path arg = argv[i];
        std::error_code error;
        if (fs::is_directory(arg, error)) {
            std::vector<fs::path> files;
            for (const auto& entry : fs::recursive_directory_iterator(arg))
                if (entry.is_regular_file() && entry.path().filename().string().front() != '.' &&
                    entry.path().extension() != ".md")
                    files.push_back(entry.path());
            std::sort(files.begin(), files.end());
            for (const fs::path& file : files) {
                failures += run_file(file);
                ++inputs;
            }
        } else if (fs::exists(arg, error)) {
            failures += run_file(arg);
            ++inputs;
        } else {
            std::fprintf(stderr, "%s: not there, skipped\n", arg.c_str());
        }
    }
    std::fprintf(stderr, "%d inputs run, %d unreadable\n", inputs, failures);
    return failures ? 1 : 0;
}
