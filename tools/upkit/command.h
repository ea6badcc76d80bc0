// The commands of the upkit tool. Each command's file adds its subcommand to
// the app, with its arguments, options, help and footer; when the command
// line names it, the subcommand's callback sets the run that run_upkit then
// calls.
#pragma once

#include <functional>
#include <ostream>

#include "exit_status.h"
#include "interruption.h"
#include "progress.h"

namespace CLI {
class App;
}

namespace upkit {

// Where a command prints, and what main knows of stderr, for the progress
// line.
struct CommandStreams {
    std::ostream& out;
    std::ostream& err;
    const Console& console;
};

// The chosen command with its parsed options. It prints any failure on err
// and returns the exit status (exit_status.h).
using CommandRun = std::function<int(const CommandStreams&)>;

// Runs a command that makes something to clean up (a partial folder, the
// copies of a kit's archives) with Ctrl-C and SIGTERM caught: the command
// stops at its next look at interrupted() and cleans up on its way out. Then
// `said` goes to err and the status is kExitInterrupted; main ends the
// process by the signal.
template <typename Run> int run_interruptible(std::ostream& err, const char* said, Run run)
{
    const InterruptionGuard catching;
    const int status = run();
    if (!interrupted())
        return status;
    err << "upkit: " << said << '\n';
    return kExitInterrupted;
}

// In the order `upkit --help` lists them.
void add_create_command(CLI::App& app, CommandRun& run);
void add_list_command(CLI::App& app, CommandRun& run);
void add_test_command(CLI::App& app, CommandRun& run);
void add_extract_command(CLI::App& app, CommandRun& run);
void add_checksum_command(CLI::App& app, CommandRun& run);
void add_plan_command(CLI::App& app, CommandRun& run);
void add_build_command(CLI::App& app, CommandRun& run);
void add_inspect_command(CLI::App& app, CommandRun& run);
void add_dump_command(CLI::App& app, CommandRun& run);
void add_try_command(CLI::App& app, CommandRun& run);

}  // namespace upkit
