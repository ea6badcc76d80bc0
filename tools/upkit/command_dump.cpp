#include <filesystem>
#include <fmt/format.h>
#include <fstream>

#include "cli_output.h"
#include "commands.h"
#include "kit_contents.h"
#include "kit_dump.h"
#include "pe_image.h"

namespace fs = std::filesystem;

namespace upkit {

namespace {

void write_file(const fs::path& path, const void* data, std::size_t size)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(static_cast<const char*>(data), static_cast<std::streamsize>(size));
    out.close();
    if (!out)
        throw std::runtime_error(fmt::format("{}: cannot write the file", path.string()));
}

}  // namespace

int command_dump(const DumpOptions& options, std::ostream& out, std::ostream& err)
{
    kitread::KitContents kit;
    try {
        kit = kitread::read_kit_file(options.kit);
    } catch (const std::exception& e) {
        print_error(err, options.kit, e.what());
        return 1;
    }
    const kitread::DumpedKit dumped = kitread::dump_kit(kit, fs::path(options.kit).filename().string());

    const fs::path folder(options.directory);
    std::error_code ec;
    fs::create_directories(folder, ec);
    if (ec) {
        print_error(err, options.directory, "cannot create the folder: " + ec.message());
        return 1;
    }
    const fs::path manifest = folder / "kit.toml";
    try {
        for (const kitread::DumpedFile& file : dumped.files)
            write_file(folder / file.name, file.bytes.data(), file.bytes.size());
        write_file(manifest, dumped.manifest.data(), dumped.manifest.size());
    } catch (const std::exception& e) {
        err << "upkit: " << e.what() << '\n';
        return 1;
    }
    for (const std::string& note : dumped.notes)
        print_warning(err, fmt::format("{}: {}", options.kit, note));
    if (!options.quiet)
        out << fmt::format("{}: {} files beside it\n", manifest.string(), dumped.files.size());
    return 0;
}

}  // namespace upkit
