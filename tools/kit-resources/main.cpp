// kit-resources: writes a kit's tables and archives from its manifest, for
// the resource compiler to take in.

#include <CLI/CLI.hpp>
#include <filesystem>
#include <fstream>
#include <iostream>

#include "kit_build.h"

namespace fs = std::filesystem;
using namespace upkit;
using namespace upkit::kitbuild;

namespace {

void write_dependency_file(const fs::path& path, const KitResources& resources, const fs::path& out)
{
    std::vector<fs::path> outputs;
    for (const OutputFile& file : resources.files)
        outputs.push_back(fs::absolute(out / file.name));
    std::vector<fs::path> inputs;
    for (const fs::path& input : resources.inputs)
        inputs.push_back(fs::absolute(input));
    const std::string text = dependency_file_text(outputs, inputs);
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    file << text;
    file.close();
    if (!file)
        throw KitError(path.string() + ": cannot write the file");
}

}  // namespace

int main(int argc, char** argv)
{
    CLI::App app{"Writes a kit's tables (AppVersions.bin, WindowList.bin, ArchiveList.bin, RegistryList.bin) and "
                 "archives (archive-<id>.kw) from its manifest.",
                 "kit-resources"};
    std::string manifest_path;
    std::string out;
    std::string files;
    std::string depfile;
    app.add_option("manifest", manifest_path, "The kit's manifest (TOML)")->required();
    app.add_option("--out", out, "Folder to write into (created if missing)")->required();
    app.add_option("--files", files, "Folder of built inputs, for paths given with from = \"files\"");
    app.add_option("--depfile", depfile, "Also write a make-style list of the files read");
    CLI11_PARSE(app, argc, argv);

    Diagnostics diagnostics;
    const auto show_warnings = [&diagnostics] {
        for (const std::string& warning : diagnostics.warnings)
            std::cerr << "kit-resources: warning: " << warning << '\n';
        diagnostics.warnings.clear();
    };
    try {
        const Manifest manifest = read_manifest(manifest_path);
        const std::optional<fs::path> files_folder =
            files.empty() ? std::nullopt : std::optional<fs::path>(fs::path(files));
        const KitResources resources = build_kit_resources(manifest, files_folder, diagnostics);
        show_warnings();
        write_kit_resources(resources, out);
        if (!depfile.empty())
            write_dependency_file(depfile, resources, out);
    } catch (const KitError& e) {
        show_warnings();
        std::cerr << "kit-resources: " << e.what() << '\n';
        return 1;
    }
    return 0;
}
