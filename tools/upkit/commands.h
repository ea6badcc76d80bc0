// The commands of the upkit tool, each given its parsed options. Each returns
// the exit status (exit_status.h) after printing any failure on err.
#pragma once

#include <cstdint>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "archive_writer.h"
#include "exit_status.h"
#include "progress.h"

namespace upkit {

struct CreateOptions {
    std::string archive;
    std::vector<std::string> inputs;  // files and folders
    std::optional<int> window_bits;   // default: fitted to the input, at most 18
    int level = kDefaultLevel;        // 1 (fastest) to 9 (smallest)
    std::optional<std::uint64_t> volume_size;
    bool quiet = false;
    Console console;  // where the progress line may go
};

struct ListOptions {
    std::string archive;
    std::vector<std::string> members;  // names or patterns; empty: all
    bool json = false;
};

struct TestOptions {
    std::string archive;
    std::vector<std::string> members;
    bool quiet = false;
    Console console;
};

// What extract does with a member whose output file exists already.
enum class Existing { refuse, overwrite, skip };

struct ExtractOptions {
    std::string archive;                // an archive, or a kit program
    std::vector<std::string> members;
    std::string directory = ".";
    std::string layout = "archives";    // a kit's archives: archive-<id>/ each, or destinations
    Existing existing = Existing::refuse;
    bool quiet = false;
    Console console;
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
