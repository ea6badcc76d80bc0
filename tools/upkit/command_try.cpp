#include <CLI/CLI.hpp>
#include <fmt/format.h>
#include <memory>

#include "cli_output.h"
#include "command.h"
#include "exit_status.h"
#include "kit_contents.h"
#include "kit_resource_ids.h"
#include "kit_runtime_location.h"

#ifndef _WIN32
#include <cstdlib>

#include "interruption.h"
#include "kit_trial.h"
#include "trial_error.h"
#include "trial_report.h"
#endif

namespace fs = std::filesystem;

namespace upkit {

namespace {

struct TryOptions {
    std::string kit;
    std::string installed;
    int release = 1;
    std::string answer = "no";
    std::vector<std::string> windows;
    std::vector<std::string> in_use;
    std::string screenshots = "upkit-try-screenshots";
    bool headless = false;
    bool keep = false;
    bool json = false;
};

const char* const kTryFooter =
    "The release in DIR is installed in a throwaway Wine prefix as the kit's AppVersions row\n"
    "--release finds it: its files copied to a product folder and the row's registry value\n"
    "pointing there, in the registry view the kit reads. With DISPLAY set the kit shows there\n"
    "for you to click through; otherwise (or with --headless) it runs on a private X server\n"
    "(Xvfb) where Install is pressed and every box answered. Afterwards the report lists the\n"
    "kit's message boxes, the files it wrote, what waits for a restart, the registry values\n"
    "of its RegistryList and its exit status; a restart is then carried out and its result\n"
    "listed. Needs Wine (wine64; 32-bit Wine for a 32-bit kit) and, without a display, Xvfb.\n\n"
    "Exit status of try:\n"
    "  0  the kit completed its install\n"
    "  1  the kit did not complete (it refused, failed or ended early), or it cannot be read\n"
    "  2  command-line error\n"
    "  3  the trial itself failed: Wine or Xvfb missing, a wait that ran out, DIR unreadable\n";

#ifndef _WIN32

std::optional<fs::path> find_kit_driver(const std::string& arch)
{
    const std::string name = "kit-driver-" + arch + ".exe";
    for (const fs::path& folder : kit_runtime_folders()) {
        std::error_code ec;
        if (fs::is_regular_file(folder / name, ec))
            return folder / name;
    }
    return std::nullopt;
}

// What the trial needs to know of the kit, read from it. Nullopt after an
// error printed on err.
std::optional<kittry::TrialPlan> plan_from_kit(const TryOptions& options, std::ostream& err, int& status)
{
    kitread::KitContents kit;
    try {
        kit = kitread::read_kit_file(options.kit);
    } catch (const std::exception& e) {
        print_error(err, options.kit, e.what());
        status = kExitDataError;
        return std::nullopt;
    }
    kittry::TrialPlan plan;
    plan.kit = fs::absolute(options.kit);
    if (kit.coff.machine == 0x8664) {
        plan.arch = "win64";
    } else if (kit.coff.machine == 0x14C) {
        plan.arch = "win32";
    } else {
        print_error(err, options.kit, "not a Windows program for x86 or x86-64");
        status = kExitDataError;
        return std::nullopt;
    }
    const auto& versions = kit.tables.app_versions;
    if (!versions || versions->empty()) {
        print_error(err, options.kit, "the kit has no AppVersions rows: no release can qualify");
        status = kExitDataError;
        return std::nullopt;
    }
    if (options.release < 1 || static_cast<std::size_t>(options.release) > versions->size()) {
        err << fmt::format("upkit: --release {}: the kit has {} AppVersions row{}\n", options.release, versions->size(),
                           versions->size() == 1 ? "" : "s");
        status = kExitUsage;
        return std::nullopt;
    }
    const AppVersionRow& row = (*versions)[static_cast<std::size_t>(options.release) - 1];
    plan.product_key = row.key;
    plan.product_value = row.value;
    if (!kit.dialog || kit.strings.find(IDS_TITLE) == kit.strings.end()) {
        print_error(err, options.kit, "the kit has no dialog or no title string: there is nothing to drive");
        status = kExitDataError;
        return std::nullopt;
    }
    plan.dialog_caption = kit.dialog->caption;
    plan.title = kit.strings.at(IDS_TITLE);
    if (kit.tables.registry)
        for (const RegistryRow& registry_row : *kit.tables.registry)
            plan.registry.push_back({registry_row.root, registry_row.key, registry_row.value});

    const std::optional<fs::path> driver = find_kit_driver(plan.arch);
    if (!driver) {
        err << fmt::format("upkit: kit-driver-{}.exe, which try runs beside the kit, is not beside upkit "
                           "(nor in $UPKIT_RUNTIME_DIR)\n",
                           plan.arch);
        status = kExitIoError;
        return std::nullopt;
    }
    plan.driver = *driver;
    return plan;
}

int run_try(const TryOptions& options, std::ostream& out, std::ostream& err)
{
    std::error_code ec;
    if (!fs::is_directory(options.installed, ec)) {
        err << fmt::format("upkit: --installed {}: no such folder\n", printable(options.installed));
        return kExitIoError;
    }
    for (const std::string& file : options.in_use)
        if (!fs::is_regular_file(fs::path(options.installed) / file, ec)) {
            err << fmt::format("upkit: --in-use {}: no such file in {}\n", printable(file),
                               printable(options.installed));
            return kExitUsage;
        }
    int status = kExitOk;
    std::optional<kittry::TrialPlan> plan = plan_from_kit(options, err, status);
    if (!plan)
        return status;
    plan->installed = fs::absolute(options.installed);
    plan->window_classes = options.windows;
    plan->in_use = options.in_use;
    plan->answer_yes = options.answer == "yes";
    plan->keep = options.keep;
    plan->screenshots = fs::absolute(options.screenshots);
    const char* display = std::getenv("DISPLAY");
    if (display && *display && !options.headless)
        plan->display = display;
    const char* path = std::getenv("PATH");
    plan->path_value = path ? path : "";

    kittry::TrialReport report;
    try {
        report = kittry::run_trial(*plan, err);
    } catch (const Interrupted&) {
        err << "upkit: try: interrupted; the prefix and its programs are gone\n";
        return kExitInterrupted;
    } catch (const kittry::TrialError& e) {
        err << "upkit: try: " << e.what() << '\n';
        return kExitIoError;
    } catch (const fs::filesystem_error& e) {
        err << "upkit: try: " << e.what() << '\n';
        return kExitIoError;
    }
    if (options.json)
        out << kittry::trial_report_json(report).dump(2, ' ', false, nlohmann::json::error_handler_t::replace) << '\n';
    else
        kittry::print_trial_report(out, report);
    return report.completed ? kExitOk : kExitDataError;
}

#else

int run_try(const TryOptions&, std::ostream&, std::ostream& err)
{
    err << "upkit: try runs kits under Wine, on Linux; on Windows, run the kit itself\n";
    return kExitUsage;
}

#endif

}  // namespace

void add_try_command(CLI::App& app, CommandRun& run)
{
    const auto options = std::make_shared<TryOptions>();
    CLI::App* command = app.add_subcommand("try", "Try a kit under Wine on an installed release, and report");
    command->add_option("KIT", options->kit, "Kit program to try")->required();
    command->add_option("--installed", options->installed, "Folder of the release to install and upgrade")->required();
    command->add_option("--release", options->release, "The AppVersions row that finds it (from 1; default 1)");
    command->add_option("--answer", options->answer, "The answer to the completion prompt (default no)")
        ->check(CLI::IsMember({"no", "yes"}));
    // One value for each time an option is given, so that a KIT after it
    // stays the kit.
    command->add_option("--window", options->windows, "A window of this class is open while the kit runs")
        ->allow_extra_args(false);
    command
        ->add_option("--in-use", options->in_use,
                     "A program or DLL of the release (a path below DIR) held in use while the kit runs")
        ->allow_extra_args(false);
    command->add_option("--screenshots", options->screenshots,
                        "Where the private display's screenshots go (default upkit-try-screenshots)");
    command->add_flag("--headless", options->headless, "Drive the kit on a private X server even with DISPLAY set");
    command->add_flag("--keep", options->keep, "Keep the Wine prefix and say where it is");
    command->add_flag("--json", options->json, "The report as one JSON object");
    command->footer(kTryFooter);
    command->callback([options, &run] {
        run = [options](const CommandStreams& streams) { return run_try(*options, streams.out, streams.err); };
    });
}

}  // namespace upkit
