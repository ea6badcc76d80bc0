#include <CLI/CLI.hpp>
#include <fmt/format.h>
#include <memory>

#include "archive_scan.h"
#include "cli_output.h"
#include "command.h"
#include "engine_paths.h"
#include "exit_status.h"
#include "inspect_report.h"
#include "kit_archives.h"
#include "kit_contents.h"

namespace upkit {

namespace {

struct InspectOptions {
    std::string kit;  // a kit program (any PE file is read)
    bool json = false;
};

int inspect_kit(const InspectOptions& options, std::ostream& out, std::ostream& err)
{
    kitread::KitContents kit;
    try {
        kit = kitread::read_kit_file(host_path_of(options.kit));
    } catch (const std::exception& e) {
        // Not a PE file, a damaged one, or no file at all: nothing to show.
        // Status 1 even for a file that cannot be opened: build, inspect and
        // dump end with 1 on any failure.
        print_error(err, options.kit, e.what());
        return kExitDataError;
    }

    // An archive that cannot be read is shown as such; the others are shown
    // all the same.
    const ArchiveInputs inputs(options.kit, kit);
    std::vector<ScannedArchive> archives;
    for (const ArchiveInput& input : inputs.archives())
        archives.push_back(scan_archive(input));

    if (options.json) {
        // Member names that are not valid UTF-8 get replacement characters
        // instead of failing the whole report.
        out << inspect_json(options.kit, kit, archives).dump(2, ' ', false, nlohmann::json::error_handler_t::replace)
            << '\n';
    } else {
        print_inspect_text(out, options.kit, kit, archives);
    }
    return kExitOk;
}

// The kit's archives are read from copies in a temporary folder: at an
// interruption they go with it before main ends the process by the signal.
int run_inspect(const InspectOptions& options, std::ostream& out, std::ostream& err)
{
    return run_interruptible(err, "interrupted", [&] { return inspect_kit(options, out, err); });
}

}  // namespace

void add_inspect_command(CLI::App& app, CommandRun& run)
{
    const auto options = std::make_shared<InspectOptions>();
    CLI::App* command =
        app.add_subcommand("inspect", "Show a kit's version block, strings, dialog, tables and archives");
    command->add_option("KIT", options->kit, "Kit program to read")->required();
    command->add_flag("--json", options->json, "One JSON object instead of text");
    command->callback([options, &run] {
        run = [options](const CommandStreams& streams) { return run_inspect(*options, streams.out, streams.err); };
    });
}

}  // namespace upkit
