#include <CLI/CLI.hpp>
#include <fmt/format.h>
#include <memory>
#include <nlohmann/json.hpp>

#include "command.h"
#include "engine_paths.h"
#include "exit_status.h"
#include "kit_build.h"
#include "text_codec.h"

namespace upkit {

namespace {

struct ChecksumOptions {
    std::vector<std::string> files;
    bool json = false;
};

// Every file is tried; one that cannot be read is named, and the run ends
// with status 3.
int run_checksum(const ChecksumOptions& options, std::ostream& out, std::ostream& err)
{
    RunStatus status;
    nlohmann::json files = nlohmann::json::array();
    for (const std::string& file : options.files) {
        try {
            const std::uint16_t checksum = kitbuild::file_checksum(host_path_of(file));
            const std::string hex = fmt::format("0x{:04X}", checksum);
            if (options.json)
                files.push_back({{"file", utf8_from_host_text(file)}, {"checksum", checksum}, {"hex", hex}});
            else
                out << hex << "  " << printable(utf8_from_host_text(file)) << '\n';
        } catch (const kitbuild::KitError& e) {
            err << "upkit: " << printable(e.what()) << '\n';
            if (options.json)
                files.push_back({{"file", utf8_from_host_text(file)}, {"error", e.what()}});
            status.note(kExitIoError);
        }
    }
    if (options.json)
        out << nlohmann::json{{"files", files}}.dump(2, ' ', false, nlohmann::json::error_handler_t::replace) << '\n';
    return status.value();
}

}  // namespace

void add_checksum_command(CLI::App& app, CommandRun& run)
{
    const auto options = std::make_shared<ChecksumOptions>();
    CLI::App* command = app.add_subcommand("checksum", "Show the checksum a kit recognises a product file by");
    command->footer("The checksum is the one an [[app_versions]] row of a manifest gives: the kit\n"
                    "qualifies an installed release when the row's file has it. Each file is shown\n"
                    "as 0xABCD  FILE. A file that cannot be read is named, the others are still\n"
                    "done, and the exit status is 3.\n");
    command->add_option("FILE", options->files, "Files to compute the checksum of")->required();
    command->add_flag("--json", options->json, "Write one JSON object: files, each with file and checksum (or error)");
    command->callback([options, &run] {
        run = [options](const CommandStreams& streams) { return run_checksum(*options, streams.out, streams.err); };
    });
}

}  // namespace upkit
