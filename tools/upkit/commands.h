// The commands of the upkit tool, each given its parsed options. Each returns
// the exit status: 0 when all went well, 1 after printing the failure.
#pragma once

#include <cstdint>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "archive_writer.h"

namespace upkit {

struct CreateOptions {
    std::string archive;
    std::vector<std::string> inputs;  // files and folders
    std::optional<int> window_bits;   // default: fitted to the input, at most 18
    int level = kDefaultLevel;        // 1 (fastest) to 9 (smallest)
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
    std::string archive;                // an archive, or a kit program
    std::string directory = ".";
    std::string layout = "archives";    // a kit's archives: archive-<id>/ each, or destinations
    bool quiet = false;
};

struct BuildOptions {
    std::string manifest;
    std::optional<std::string> output;   // default: the manifest's name with .exe, here
    std::string arch = "win32";          // win32 or win64
    std::optional<std::string> runtime;  // default: found beside upkit
    std::optional<std::string> files;    // the folder of built inputs (from = "files")
    std::optional<std::string> sign_command;  // run on the finished kit, {} its path
    std::optional<std::string> depfile;       // also write a make-style list of the files read
    bool quiet = false;
};

struct InspectOptions {
    std::string kit;  // a kit program (any PE file is read)
    bool json = false;
};

struct DumpOptions {
    std::string kit;
    std::string directory;  // receives kit.toml and the files it names
    bool quiet = false;
};

// Smallest continuation file size --volume-size accepts.
const std::uint64_t kMinVolumeSize = 64;
const int kDefaultWindowBits = 18;

int command_create(const CreateOptions& options, std::ostream& out, std::ostream& err);
int command_list(const ListOptions& options, std::ostream& out, std::ostream& err);
int command_test(const TestOptions& options, std::ostream& out, std::ostream& err);
int command_dump(const DumpOptions& options, std::ostream& out, std::ostream& err);
int command_build(const BuildOptions& options, std::ostream& out, std::ostream& err);
int command_extract(const ExtractOptions& options, std::ostream& out, std::ostream& err);
int command_inspect(const InspectOptions& options, std::ostream& out, std::ostream& err);

}  // namespace upkit
