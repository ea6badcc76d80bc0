// Programs the trial starts: Wine's loader with a kit, the driver or a
// stand-in, the wineserver, Xvfb, the screenshot taker. Each runs in a process
// group of its own, so that ending it ends what it started, and its output
// goes to a file, not a pipe: Wine programs and a wineserver started along the
// way keep inherited descriptors open long after the program has ended.
#pragma once

#include <sys/types.h>

#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace upkit::kittry {

using Environment = std::map<std::string, std::string>;

// The environment of this process.
Environment current_environment();

struct ChildSpec {
    std::vector<std::string> argv;  // argv[0] is the program's path
    Environment environment;
    std::filesystem::path output;  // stdout; empty: /dev/null
    std::filesystem::path errors;  // stderr; empty: the same as output
    std::filesystem::path cwd;     // empty: this process's
};

class Child {
public:
    // Starts the program; throws TrialError when it cannot.
    explicit Child(const ChildSpec& spec);
    ~Child();  // kills the group when the program still runs
    Child(const Child&) = delete;
    Child& operator=(const Child&) = delete;

    pid_t pid() const { return pid_; }

    // The exit status once the program has ended (128 + signal when a signal
    // ended it), nullopt while it runs.
    std::optional<int> poll();

    // Waits up to `milliseconds` for the end; throws Interrupted unless
    // `interruptible` is false (what cleans up after an interruption).
    std::optional<int> wait_for(int milliseconds, bool interruptible = true);

    // Ends the program and its group at once.
    void kill();

    // Asks the program to end (SIGTERM), then kills it after `milliseconds`.
    void stop(int milliseconds);

private:
    pid_t pid_ = -1;
    std::optional<int> status_;
};

struct Finished {
    int status = 0;
    std::string output;  // stdout
    std::string errors;  // stderr
};

// Runs a program to its end within `milliseconds`, its output read from
// files in `scratch`. A program that runs longer is killed and `what` named
// in the TrialError: "<what> did not finish within N s".
Finished run_to_end(const std::vector<std::string>& argv, const Environment& environment, int milliseconds,
                    const std::string& what, const std::filesystem::path& scratch, bool interruptible = true);

// The whole of a small text file; empty when it cannot be read.
std::string read_text(const std::filesystem::path& path);

}  // namespace upkit::kittry
