#include <CLI/CLI.hpp>
#include <filesystem>
#include <fmt/format.h>
#include <fstream>
#include <memory>

#include "cli_output.h"
#include "command.h"
#include "exit_status.h"
#include "kit_contents.h"
#include "kit_dump.h"
#include "pe_image.h"

namespace fs = std::filesystem;

namespace upkit {

namespace {

struct DumpOptions {
    std::string kit;
    std::string directory;  // receives kit.toml and the files it names
    bool force = false;     // write into a folder that holds files already
    bool quiet = false;
};

void write_file(const fs::path& path, const void* data, std::size_t size)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(static_cast<const char*>(data), static_cast<std::streamsize>(size));
    out.close();
    if (!out)
        throw std::runtime_error(fmt::format("{}: cannot write the file", path.string()));
}

int run_dump(const DumpOptions& options, std::ostream& out, std::ostream& err)
{
    kitread::KitContents kit;
    try {
        kit = kitread::read_kit_file(options.kit);
    } catch (const std::exception& e) {
        print_error(err, options.kit, e.what());
        return kExitDataError;
    }
    const kitread::DumpedKit dumped = kitread::dump_kit(kit, fs::path(options.kit).filename().string());

    const fs::path folder(options.directory);
    std::error_code ec;
    // A manifest folder is often someone's work: dump does not write over
    // one unless told to.
    if (!options.force && fs::is_directory(folder, ec) && !fs::is_empty(folder, ec)) {
        print_error(err, options.directory, "the folder is not empty (give --force to write into it)");
        return kExitDataError;
    }
    // --force writes into a folder; a file in its place stays, forced or not.
    if (fs::exists(folder, ec) && !fs::is_directory(folder, ec)) {
        print_error(err, options.directory, "not a folder");
        return kExitDataError;
    }
    fs::create_directories(folder, ec);
    if (ec) {
        // Status 1 for an output too: build, inspect and dump end with 1 on
        // any failure.
        print_error(err, options.directory, "cannot create the folder: " + ec.message());
        return kExitDataError;
    }
    const fs::path manifest = folder / "kit.toml";
    try {
        for (const kitread::DumpedFile& file : dumped.files)
            write_file(folder / file.name, file.bytes.data(), file.bytes.size());
        write_file(manifest, dumped.manifest.data(), dumped.manifest.size());
    } catch (const std::exception& e) {
        err << "upkit: " << e.what() << '\n';
        return kExitDataError;
    }
    for (const std::string& note : dumped.notes)
        print_warning(err, fmt::format("{}: {}", options.kit, note));
    if (!options.quiet)
        out << fmt::format("{}: {} files beside it\n", manifest.string(), dumped.files.size());
    return kExitOk;
}

}  // namespace

void add_dump_command(CLI::App& app, CommandRun& run)
{
    const auto options = std::make_shared<DumpOptions>();
    CLI::App* command = app.add_subcommand("dump", "Write a kit's manifest and the files it names");
    command->add_option("KIT", options->kit, "Kit program to read")->required();
    command->add_option("-o,--output", options->directory, "Folder to write kit.toml and its files into")->required();
    command->add_flag("-f,--force", options->force, "Write into a folder that is not empty, replacing its files");
    command->add_flag("-q,--quiet", options->quiet, "No summary line");
    command->callback([options, &run] {
        run = [options](const CommandStreams& streams) { return run_dump(*options, streams.out, streams.err); };
    });
}

}  // namespace upkit
