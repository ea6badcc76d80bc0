// The commands of the upkit tool, each given its parsed options. Each returns
// the exit status: 0 when all went well, 1 after printing the failure.
#pragma once

#include <cstdint>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

namespace upkit {

struct CreateOptions {
    std::string archive;
    std::vector<std::string> inputs;  // files and folders
    std::optional<int> window_bits;   // default: fitted to the input, at most 18
    std::optional<std::uint64_t> volume_size;
    bool quiet = false;
};

struct ListOptions {
    std::string archive;
    bool json = false;
};

struct TestOptions {
    std::string archive;
};

struct ExtractOptions {
    std::string archive;
    std::string directory = ".";
    bool quiet = false;
};

// Smallest continuation file size --volume-size accepts.
const std::uint64_t kMinVolumeSize = 64;
const int kDefaultWindowBits = 18;

int command_create(const CreateOptions& options, std::ostream& out, std::ostream& err);
int command_list(const ListOptions& options, std::ostream& out, std::ostream& err);
int command_test(const TestOptions& options, std::ostream& out, std::ostream& err);
int command_extract(const ExtractOptions& options, std::ostream& out, std::ostream& err);

}  // namespace upkit
