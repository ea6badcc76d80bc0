#include <CLI/CLI.hpp>
#include <filesystem>
#include <fmt/format.h>
#include <fstream>
#include <memory>

#include "cli_output.h"
#include "command.h"
#include "exit_status.h"
#include "kit_build.h"
#include "kit_image.h"
#include "kit_runtime.h"
#include "kit_signing.h"
#include "manifest.h"

namespace fs = std::filesystem;
using namespace upkit::kitbuild;

namespace upkit {

namespace {

struct BuildOptions {
    std::string manifest;
    std::optional<std::string> output;        // default: the manifest's name with .exe, here
    std::optional<std::string> arch;          // default: the manifest's, else win32
    std::optional<std::string> runtime;       // default: found beside upkit
    std::optional<std::string> files;         // the folder of built inputs (from = "files")
    std::optional<std::string> sign_command;  // run on the finished kit, {} its path
    std::optional<std::string> depfile;       // also write a make-style list of the files read
    bool quiet = false;
};

// A command line that asks for something the tool will not do.
class UsageError : public KitError {
public:
    using KitError::KitError;
};

void write_kit(const fs::path& path, const std::vector<std::uint8_t>& bytes)
{
    const fs::path temporary = fs::path(path).concat(".part");
    {
        std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
        out.close();
        if (!out) {
            std::error_code ignored;
            fs::remove(temporary, ignored);
            throw KitError(fmt::format("{}: cannot write the file", temporary.string()));
        }
    }
    // A program: executable wherever the file system says so.
    std::error_code ec;
    fs::permissions(temporary, fs::perms::owner_exec | fs::perms::group_exec | fs::perms::others_exec,
                    fs::perm_options::add, ec);
    fs::rename(temporary, path, ec);
    if (ec) {
        std::error_code ignored;
        fs::remove(temporary, ignored);
        throw KitError(fmt::format("{}: cannot write the file: {}", path.string(), ec.message()));
    }
}

// An output path may not name a file the kit is made from: writing it would
// destroy the input (the manifest, a payload file) that the kit is rebuilt
// from. Only a file that exists can be one of them.
void refuse_output_onto_input(const fs::path& output, const std::vector<fs::path>& inputs, std::string_view what)
{
    std::error_code ec;
    if (!fs::exists(output, ec))
        return;
    for (const fs::path& input : inputs) {
        if (fs::equivalent(output, input, ec))
            throw UsageError(fmt::format("{}: the {} cannot replace {}, one of the kit's inputs", output.string(), what,
                                         input.string()));
    }
}

int run_build(const BuildOptions& options, std::ostream& out, std::ostream& err)
{
    Diagnostics diagnostics;
    const auto show_warnings = [&] {
        for (const std::string& warning : diagnostics.warnings)
            print_warning(err, warning);
        diagnostics.warnings.clear();
    };
    try {
        const Manifest manifest = read_manifest(options.manifest);
        const std::optional<fs::path> files = options.files ? std::optional<fs::path>(*options.files) : std::nullopt;
        const KitResources generated = build_kit_resources(manifest, files, diagnostics);
        std::vector<fs::path> read;
        const std::vector<pe::Resource> resources =
            kit_resource_list(manifest, generated, InputFolders{manifest.folder, files}, diagnostics, read);
        show_warnings();

        const std::string arch = options.arch.value_or(manifest.kit.arch);
        if (arch == "win64")
            print_note(err, "a win64 kit is for a 64-bit product: it reads the 64-bit registry view and installs "
                            "system files to the 64-bit system folder");
        fs::path runtime_path;
        const std::vector<std::uint8_t> runtime = load_kit_runtime(options.runtime, arch, runtime_path);
        const std::vector<std::uint8_t> kit = build_kit_image(runtime, resources, source_date_epoch().value_or(0));

        const fs::path output =
            options.output ? fs::path(*options.output) : fs::path(options.manifest).stem().concat(".exe");
        std::vector<fs::path> inputs = generated.inputs;
        inputs.insert(inputs.end(), read.begin(), read.end());
        inputs.push_back(runtime_path);
        refuse_output_onto_input(output, inputs, "kit");
        if (options.depfile)
            refuse_output_onto_input(*options.depfile, inputs, "dependency file");
        write_kit(output, kit);
        if (options.sign_command)
            sign_kit(*options.sign_command, output);
        if (options.depfile) {
            for (fs::path& input : inputs)
                input = fs::absolute(input);
            std::ofstream depfile(*options.depfile, std::ios::binary | std::ios::trunc);
            depfile << dependency_file_text({fs::absolute(output)}, inputs);
            depfile.close();
            if (!depfile)
                throw KitError(fmt::format("{}: cannot write the file", *options.depfile));
        }
        if (!options.quiet) {
            out << fmt::format("{}: {} kit, {} archive{}, {} bytes\n", output.string(), arch, manifest.archives.size(),
                               manifest.archives.size() == 1 ? "" : "s", fs::file_size(output));
        }
        return kExitOk;
    } catch (const UsageError& e) {
        err << "upkit: " << e.what() << '\n';
        return kExitUsage;
    } catch (const KitError& e) {
        show_warnings();
        err << "upkit: " << e.what() << '\n';
        return kExitDataError;
    }
}

}  // namespace

void add_build_command(CLI::App& app, CommandRun& run)
{
    const auto options = std::make_shared<BuildOptions>();
    CLI::App* command = app.add_subcommand("build", "Make a kit program from its manifest");
    command->add_option("MANIFEST", options->manifest, "The kit's manifest (TOML)")->required();
    command->add_option("-o,--output", options->output, "Kit to write (default: the manifest's name, .exe)");
    command
        ->add_option("--arch", options->arch,
                     "The kit's runtime: win32 or win64 (default: the manifest's arch, else win32)")
        ->check(CLI::IsMember({"win32", "win64"}));
    command->add_option("--runtime", options->runtime, "The prebuilt kit runtime to use");
    command->add_option("--files", options->files, "Folder of built inputs, for paths given with from = \"files\"");
    command->add_option("--sign-command", options->sign_command,
                        "Run this on the finished kit, {} standing for its path (e.g. a signing tool)");
    command->add_option("--depfile", options->depfile, "Also write a make-style list of the files read");
    command->add_flag("-q,--quiet", options->quiet, "No summary line");
    command->footer("The manifest's fields, with their types, defaults and examples: manifest.md in upkit's\n"
                    "documentation (docs/ in its source, share/doc/upkit when installed).");
    command->callback([options, &run] {
        run = [options](const CommandStreams& streams) { return run_build(*options, streams.out, streams.err); };
    });
}

}  // namespace upkit
