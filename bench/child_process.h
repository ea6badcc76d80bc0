// Runs one program as a child process and measures it the same way for every
// tool: wall time from a monotonic clock around posix_spawnp and wait4, peak
// resident memory from wait4's rusage.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace upkit::bench {

// Where the child's standard streams go. An empty path is /dev/null.
struct Redirects {
    std::string input;   // standard input, read from this file
    std::string output;  // standard output, written to this file (truncated)
    std::string errors;  // standard error, written to this file (truncated)
};

struct ChildRun {
    bool started = false;  // false: the program could not be run (error says why)
    int exit_code = -1;    // the exit status, or 128 + the signal number
    bool signalled = false;
    double seconds = 0;      // wall time, spawn to reaped
    double cpu_seconds = 0;  // user and system time of the child
    long peak_kib = 0;       // ru_maxrss of the child, in KiB
    std::string error;
};

// Runs argv[0] (looked up in PATH when it has no slash) with the given
// environment and redirects and waits for it.
ChildRun run_child(const std::vector<std::string>& argv, const Redirects& redirects,
                   const std::vector<std::string>& environment);

// The full path of a program found in PATH (or the path itself when it has a
// slash and is executable), or nothing.
std::optional<std::string> find_program(const std::string& name);

// What a finished child ended with, for messages: "exit status 1", "signal 9".
std::string describe_end(const ChildRun& run);

}  // namespace upkit::bench
