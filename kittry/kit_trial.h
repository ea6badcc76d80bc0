// A kit tried as a user would meet it, in a throwaway Wine prefix: a release
// of the product installed where the kit looks for it, windows of running
// programs open if asked, the kit run on the user's display (the user clicks)
// or on a private one (Install pressed, every box answered), and afterwards
// what it showed and changed, and what a restart then did.
#pragma once

#include <cstdint>
#include <filesystem>
#include <nlohmann/json.hpp>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "prefix_files.h"

namespace upkit::kittry {

// A row of the kit's RegistryList: where it writes.
struct RegistryTarget {
    std::uint16_t root = 0;  // 1 HKCR, 2 HKLM, 3 HKCU, 4 HKU; others write nothing
    std::string key;
    std::string value;
};

struct TrialPlan {
    std::filesystem::path kit;
    std::string arch;              // win32 or win64, the kit's
    std::filesystem::path driver;  // kit-driver-<arch>.exe
    std::string dialog_caption;    // the kit's dialog
    std::string title;             // the caption of its message boxes

    // The release to install, and the AppVersions row that finds it.
    std::filesystem::path installed;
    std::string product_key;  // below HKLM
    std::string product_value;
    std::vector<RegistryTarget> registry;

    std::vector<std::string> window_classes;  // windows open while the kit runs
    std::vector<std::string> in_use;          // files of the release held in use (programs or DLLs)
    bool answer_yes = false;                  // the answer to the completion prompt
    std::string display;                      // the user's display; empty: a private one, driven
    bool keep = false;                        // keep the prefix
    std::filesystem::path screenshots;        // where the private display's pictures go
    std::string path_value;                   // PATH, to find Wine and Xvfb
};

struct BoxSeen {
    std::string caption;
    std::string text;
    std::vector<std::string> buttons;  // their texts, left to right
    std::string answered;              // the button pressed, when the trial pressed one
};

struct PendingOperation {
    std::string source;
    std::string target;  // empty: delete the source
};

struct RegistryReadBack {
    std::string key;  // with its root, "HKLM\Software\..."
    std::string value;
    bool exists = false;
    std::string type;
    nlohmann::json data;
};

struct TrialReport {
    std::string arch;
    std::string product_folder;  // where the release was installed (C:\...)
    std::vector<std::string> windows_open;
    std::vector<BoxSeen> boxes;
    std::vector<FileChange> files;
    std::vector<PendingOperation> pending;
    std::vector<std::string> wininit;  // the lines of WININIT.INI's [rename] section
    std::vector<RegistryReadBack> registry;
    std::optional<int> kit_exit;
    bool completed = false;  // the kit reached its completion prompt
    bool restarted = false;
    std::vector<FileChange> restart_files;
    std::vector<PendingOperation> pending_after_restart;
    std::vector<std::filesystem::path> screenshots;
    std::filesystem::path kept_prefix;  // with keep
};

// Runs the trial; `progress` hears of each step. Throws TrialError when a step
// fails (a missing program, a wait that ran out) and Interrupted on a signal;
// either way nothing is left running and the prefix is removed (unless kept).
TrialReport run_trial(const TrialPlan& plan, std::ostream& progress);

}  // namespace upkit::kittry
