#include <CLI/CLI.hpp>
#include <filesystem>
#include <fmt/format.h>
#include <fstream>
#include <memory>

#include "cli_output.h"
#include "command.h"
#include "engine_paths.h"
#include "exit_status.h"
#include "plan_manifest.h"
#include "upgrade_plan.h"

namespace fs = std::filesystem;
using namespace upkit::kitplan;

namespace upkit {

namespace {

struct PlanOptions {
    std::string new_folder;
    std::vector<std::string> from;  // LABEL=OLD_DIR
    std::string key;
    std::string value;
    std::string file;
    std::string output;
    std::optional<std::string> product;
    std::optional<std::string> system_folder;
    std::optional<std::string> windows_folder;
    std::optional<std::string> title;
    std::optional<std::string> maker;
    std::optional<std::string> welcome;
    std::optional<std::string> bitmap;
    std::optional<std::string> icon;
};

std::optional<std::string> text_of(const std::optional<std::string>& host_text)
{
    return host_text ? std::optional<std::string>(utf8_from_host_text(*host_text)) : std::nullopt;
}

std::optional<fs::path> path_of(const std::optional<std::string>& host_text)
{
    return host_text ? std::optional<fs::path>(host_path_of(*host_text)) : std::nullopt;
}

PlanRequest request_of(const PlanOptions& options)
{
    PlanRequest request;
    request.new_folder = host_path_of(options.new_folder);
    for (const std::string& from : options.from) {
        const std::size_t equals = from.find('=');
        if (equals == std::string::npos)
            throw PlanError(fmt::format("--from {}: give LABEL=OLD_DIR, such as --from 2.0=releases/2.0",
                                        printable(utf8_from_host_text(from))),
                            kExitUsage);
        if (equals + 1 == from.size())
            throw PlanError(fmt::format("--from {}: the release's folder is missing after =",
                                        printable(utf8_from_host_text(from))),
                            kExitUsage);
        request.releases.push_back(
            OldRelease{utf8_from_host_text(from.substr(0, equals)), host_path_of(from.substr(equals + 1))});
    }
    request.key = utf8_from_host_text(options.key);
    request.value = utf8_from_host_text(options.value);
    request.file = utf8_from_host_text(options.file);
    request.system_folder = text_of(options.system_folder);
    request.windows_folder = text_of(options.windows_folder);
    request.product = text_of(options.product);
    request.title = text_of(options.title);
    request.maker = text_of(options.maker);
    request.welcome = text_of(options.welcome);
    request.bitmap = path_of(options.bitmap);
    request.icon = path_of(options.icon);
    return request;
}

// Through a file beside it, renamed into place: never half a manifest.
void write_manifest(const fs::path& path, const std::string& text)
{
    const fs::path temporary = fs::path(path).concat(".part");
    std::string failure;
    {
        std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
        if (out)
            out << text;
        if (out)
            out.close();
        if (!out)
            failure = "cannot write the file";
    }
    std::error_code ec;
    if (failure.empty()) {
        fs::rename(temporary, path, ec);
        if (ec)
            failure = "cannot write the file: " + ec.message();
    }
    if (!failure.empty()) {
        std::error_code ignored;
        fs::remove(temporary, ignored);
        throw PlanError(fmt::format("{}: {}", printable(shown_path(path)), failure), kExitUsage);
    }
}

std::string labels_text(const std::vector<std::string>& labels)
{
    std::string text;
    for (std::size_t i = 0; i < labels.size(); ++i)
        text += (i == 0 ? "" : i + 1 == labels.size() ? " and " : ", ") + printable(labels[i]);
    return text;
}

int run_plan(const PlanOptions& options, std::ostream& out, std::ostream& err)
{
    try {
        const PlanRequest request = request_of(options);
        const fs::path output = host_path_of(options.output);
        check_manifest_path(request, output);
        const UpgradePlan plan = make_plan(request);
        write_manifest(output, plan_manifest_text(request, plan, output));
        for (const std::string& warning : plan.warnings)
            print_warning(err, warning);
        for (const RemovedFile& file : plan.removed)
            print_warning(err, fmt::format("{} is in release {} but not in the new one: the kit cannot delete it",
                                           printable(file.name), labels_text(file.labels)));
        if (plan.archives.empty())
            print_warning(err, "the releases hold the same files: the kit installs none");
        out << fmt::format("{}: {} changed, {} added, {} left out of {} file{}; {} archive{}\n",
                           printable(shown_path(output)), plan.changed, plan.added, plan.left_out, plan.compared,
                           plan.compared == 1 ? "" : "s", plan.archives.size(), plan.archives.size() == 1 ? "" : "s");
        return kExitOk;
    } catch (const PlanError& e) {
        err << "upkit: " << e.what() << '\n';
        return e.status;
    }
}

}  // namespace

void add_plan_command(CLI::App& app, CommandRun& run)
{
    const auto options = std::make_shared<PlanOptions>();
    CLI::App* command =
        app.add_subcommand("plan", "Write the manifest of a kit that upgrades old releases to a new one");
    command->footer("Compares NEW_DIR with each old release's folder, by content, names compared as\n"
                    "Windows compares them (case ignored). The manifest's archives carry the files\n"
                    "of NEW_DIR that are new or differ from an old release: those below --system and\n"
                    "--windows go to the system and Windows directories, the others to the install\n"
                    "directory with their subfolders. Each --from gives an [[app_versions]] row, in\n"
                    "order, with the checksum of its copy of --file. Files of an old release that\n"
                    "NEW_DIR lacks are named in the manifest and warned about: a kit cannot delete\n"
                    "files. What is not given is written as a placeholder, \"<fill in: ...>\", which\n"
                    "upkit build refuses until it is replaced; without --bitmap and --icon the kit\n"
                    "has plain built-in ones.\n");
    command->add_option("NEW_DIR", options->new_folder, "The new release's files, as installed")->required();
    command->add_option("--from", options->from, "An old release: its label and folder, e.g. 2.0=releases/2.0")
        ->required()
        ->allow_extra_args(false)
        ->type_name("LABEL=OLD_DIR");
    command->add_option("--key", options->key, "Registry key below HKEY_LOCAL_MACHINE holding the install directory")
        ->required();
    command->add_option("--value", options->value, "Its value that holds the install directory (default: the key's)");
    command->add_option("--file", options->file, "The product file the kit checks, below the install directory")
        ->required();
    command->add_option("--product", options->product, "The product's name, e.g. Widget");
    command->add_option("--system", options->system_folder, "Folder of NEW_DIR with the files for the system directory")
        ->type_name("SUBDIR");
    command
        ->add_option("--windows", options->windows_folder, "Folder of NEW_DIR with the files for the Windows directory")
        ->type_name("SUBDIR");
    command->add_option("--title", options->title, "The kit's title, e.g. \"Widget 2.1 Upgrade\"");
    command->add_option("--maker", options->maker, "The maker's name");
    command->add_option("--welcome", options->welcome, "The first paragraph of the kit's dialog");
    command->add_option("--bitmap", options->bitmap, "The dialog's picture (.bmp, 180 x 325, 16 colours)");
    command->add_option("--icon", options->icon, "The kit's icon (.ico, 32 x 32 and 16 x 16)");
    command->add_option("-o,--output", options->output, "The manifest to write")->required();
    command->callback([options, &run] {
        run = [options](const CommandStreams& streams) { return run_plan(*options, streams.out, streams.err); };
    });
}

}  // namespace upkit
