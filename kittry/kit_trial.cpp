#include "kit_trial.h"

#include <cctype>
#include <chrono>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <thread>

#include "child_process.h"
#include "host_programs.h"
#include "interruption.h"
#include "private_display.h"
#include "temporary_folder.h"
#include "trial_error.h"
#include "wine_session.h"

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

namespace upkit::kittry {

namespace {

const char* const kSessionManager = "HKLM\\System\\CurrentControlSet\\Control\\Session Manager";
const int kIdOk = 1;
const int kIdYes = 6;
const int kIdNo = 7;
const int kInstallButton = 1;
const int kExitButton = 2;
// How long the kit may take: to show its dialog (a cold prefix starts a
// program in about a second), for one step of its install (archives are
// decoded within it), and for the user at the display.
const int kDialogSeconds = 60;
const int kStepSeconds = 300;
const int kExitSeconds = 60;
const int kUserSeconds = 3600;

std::string seconds_text(int seconds)
{
    return std::to_string(seconds) + " s";
}

// The folder of the installed release: the last part of the product's key,
// as a folder of Program Files.
std::string product_folder(const std::string& key)
{
    std::string name = key.substr(key.find_last_of('\\') + 1);
    std::string clean;
    for (char c : name)
        clean += std::string_view("<>:\"/\\|?*").find(c) == std::string_view::npos && c >= ' ' ? c : '_';
    if (clean.empty() || clean == "." || clean == "..")
        clean = "Product";
    return "C:\\Program Files\\" + clean;
}

// "&No" as the user reads it: No.
std::string button_text(const json& button)
{
    std::string text;
    for (char c : button.value("text", ""))
        if (c != '&')
            text += c;
    return text;
}

std::vector<std::string> view_option(const std::string& arch)
{
    return {"--view", arch == "win64" ? "64" : "32"};
}

const char* root_name(std::uint16_t root)
{
    switch (root) {
    case 1:
        return "HKCR";
    case 2:
        return "HKLM";
    case 3:
        return "HKCU";
    case 4:
        return "HKU";
    default:
        return nullptr;
    }
}

class Trial {
public:
    Trial(const TrialPlan& plan, std::ostream& progress) : plan_(plan), progress_(progress) { }

    TrialReport run()
    {
        report_.arch = plan_.arch;
        const HostPrograms programs = find_host_programs(plan_.arch, plan_.display.empty(), plan_.path_value);
        screenshot_program_ = programs.screenshot;
        folder_ = std::make_unique<TemporaryFolder>("upkit-try");
        const fs::path scratch = folder_->path() / "logs";
        fs::create_directories(scratch);
        session_ =
            std::make_unique<WineSession>(programs, plan_.arch, folder_->path() / "prefix", scratch, plan_.driver);
        try {
            run_in_session(programs, scratch);
        } catch (...) {
            stop_programs();
            if (plan_.keep) {
                keep_prefix();
                step("the Wine prefix is kept at " + report_.kept_prefix.string());
            }
            throw;
        }
        stop_programs();
        if (plan_.keep)
            keep_prefix();
        return report_;
    }

private:
    void step(const std::string& what) { progress_ << "upkit try: " << what << '\n' << std::flush; }

    void run_in_session(const HostPrograms& programs, const fs::path& scratch)
    {
        step("making a " + plan_.arch + " Wine prefix");
        session_->make_prefix();
        // Before any program of the session: the session's desktop takes the
        // display of its first program, and every later window shows there.
        if (plan_.display.empty()) {
            step("starting a private X display (Xvfb)");
            display_ = std::make_unique<PrivateDisplay>(programs.xvfb, scratch, session_->environment());
            session_->set_display(display_->name());
        } else {
            session_->set_display(plan_.display);
        }
        install_release();
        open_windows();

        before_ = snapshot_files(session_->drive_c());
        step("running the kit " + plan_.kit.filename().string());
        kit_ = session_->start({plan_.kit.string()}, "kit.log");
        if (plan_.display.empty())
            drive_kit();
        else
            attend_kit();
        if (!captured_)
            capture_results();

        if (!report_.pending.empty() || !report_.wininit.empty() || plan_.answer_yes) {
            step("restarting Wine to carry out what waits for a restart");
            stand_ins_.clear();
            session_->restart();
            report_.restarted = true;
            report_.restart_files = compare_snapshots(after_, snapshot_files(session_->drive_c()));
            report_.pending_after_restart = pending_operations();
        }
    }

    // What the kit did: taken at its completion prompt, before the answer (a
    // Yes restarts the session, which carries out what waits for a restart),
    // or once it has ended without one.
    void capture_results()
    {
        captured_ = true;
        after_ = snapshot_files(session_->drive_c());
        report_.files = compare_snapshots(before_, after_);
        report_.pending = pending_operations();
        report_.wininit = wininit_lines();
        read_registry();
    }

    void install_release()
    {
        report_.product_folder = product_folder(plan_.product_key);
        step("installing " + plan_.installed.string() + " as " + report_.product_folder);
        const fs::path target = session_->host_path(report_.product_folder);
        fs::create_directories(target);
        fs::copy(plan_.installed, target, fs::copy_options::recursive | fs::copy_options::overwrite_existing);
        std::vector<std::string> options = {"--key",   "HKLM\\" + plan_.product_key,
                                            "--value", plan_.product_value,
                                            "--type",  "sz",
                                            "--data",  report_.product_folder};
        const std::vector<std::string> view = view_option(plan_.arch);
        options.insert(options.end(), view.begin(), view.end());
        session_->driver("reg-set", options, 30000);
    }

    // The stand-ins: a shown window of each class, and one hidden window
    // whose process holds the files in use.
    void open_windows()
    {
        for (const std::string& window_class : plan_.window_classes) {
            start_stand_in({"--class", window_class, "--title", window_class}, "window " + window_class);
            report_.windows_open.push_back(window_class);
        }
        if (!plan_.in_use.empty()) {
            std::vector<std::string> options = {"--class", "UpkitTryFilesInUse", "--hidden"};
            for (const std::string& file : plan_.in_use) {
                std::string path = report_.product_folder + "\\" + file;
                for (char& c : path)
                    if (c == '/')
                        c = '\\';
                options.push_back("--map");
                options.push_back(path);
            }
            start_stand_in(options, "the files in use");
        }
    }

    void start_stand_in(const std::vector<std::string>& options, const std::string& what)
    {
        const std::string log = "stand-in-" + std::to_string(stand_ins_.size() + 1) + ".log";
        stand_ins_.push_back(session_->start_driver("stand-in", options, log));
        const fs::path log_path = folder_->path() / "logs" / log;
        // The stand-in prints its line once its window is there and the files
        // are held.
        const auto deadline = Clock::now() + std::chrono::seconds(30);
        for (;;) {
            const std::string text = read_text(log_path);
            if (text.find("\"hwnd\"") != std::string::npos)
                return;
            if (auto status = stand_ins_.back()->poll())
                throw TrialError("the stand-in for " + what + " ended with " + std::to_string(*status) + ": " + text);
            check_interrupted();
            if (Clock::now() >= deadline)
                throw TrialError("the stand-in for " + what + " did not open its window within 30 s");
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
    }

    bool kit_running() { return !kit_->poll(); }

    // Presses Install and answers every box: OK to a refusal or failure (and
    // then Exit on the idle dialog), the --answer to the completion prompt.
    void drive_kit()
    {
        const auto shown_by = Clock::now() + std::chrono::seconds(kDialogSeconds);
        for (;;) {
            const json found =
                session_->driver("wait-window", {"--caption", plan_.dialog_caption, "--timeout", "1000"}, 10000, false);
            if (!found.contains("error"))
                break;
            if (!kit_running())
                throw TrialError("the kit ended with exit status " + std::to_string(*kit_->poll()) +
                                 " before its dialog \"" + plan_.dialog_caption + "\" was shown");
            if (Clock::now() >= shown_by)
                throw TrialError("the kit's dialog \"" + plan_.dialog_caption + "\" was not shown within " +
                                 seconds_text(kDialogSeconds));
        }
        // The window exists before its controls are drawn: a question the
        // dialog must answer shows it has come through its start, and a
        // moment more lets the paint messages, which come last, be handled.
        session_->driver("dialog-state", {"--caption", plan_.dialog_caption}, 10000, false);
        std::this_thread::sleep_for(std::chrono::milliseconds(500));
        screenshot("dialog");
        step("pressing Install");
        session_->driver("press", {"--caption", plan_.dialog_caption, "--id", std::to_string(kInstallButton)}, 10000);
        bool allow_idle = false;
        for (;;) {
            std::vector<std::string> options = {"--dialog",  plan_.dialog_caption, "--box",
                                                plan_.title, "--timeout",          std::to_string(kStepSeconds * 1000)};
            if (allow_idle)
                options.push_back("--allow-idle");
            const json next = session_->driver("next", options, kStepSeconds * 1000, false);
            if (next.contains("error")) {
                if (!kit_running())
                    break;
                throw TrialError("the kit showed no box, did not end and did not return to its dialog within " +
                                 seconds_text(kStepSeconds) + " (" + next["error"].get<std::string>() + ")");
            }
            if (next.contains("box")) {
                answer_box(next["box"]);
                allow_idle = true;
                continue;
            }
            if (next.value("dialog", "") == "idle") {
                step("the kit is back at its dialog: pressing Exit");
                screenshot("back at the dialog");
                session_->driver("press", {"--caption", plan_.dialog_caption, "--id", std::to_string(kExitButton)},
                                 10000);
            }
            break;
        }
        wait_kit_end(kExitSeconds, "to end");
    }

    void answer_box(const json& box)
    {
        BoxSeen seen{box.value("caption", ""), box.value("text", ""), {}, {}};
        bool yes_no = false;
        for (const json& button : box["buttons"]) {
            seen.buttons.push_back(button_text(button));
            if (button.value("id", 0) == kIdYes)
                yes_no = true;
        }
        step("the kit says: " + seen.text);
        screenshot("box " + std::to_string(report_.boxes.size() + 1));
        int id = kIdOk;
        if (yes_no) {
            report_.completed = true;
            capture_results();
            id = plan_.answer_yes ? kIdYes : kIdNo;
        }
        for (const json& button : box["buttons"])
            if (button.value("id", 0) == id)
                seen.answered = button_text(button);
        report_.boxes.push_back(seen);
        session_->driver("answer", {"--caption", seen.caption, "--id", std::to_string(id)}, 10000);
    }

    // The user clicks; every box is listed by a driver that watches.
    void attend_kit()
    {
        const fs::path stop_file = folder_->path() / "logs" / "stop-boxes";
        auto watcher =
            session_->start_driver("boxes",
                                   {"--caption", plan_.title, "--stop-file", WineSession::windows_path_of(stop_file)},
                                   "boxes.log");
        step("the kit is on your display (" + plan_.display + "): click through it; waiting up to " +
             seconds_text(kUserSeconds) + " for it to end");
        const auto deadline = Clock::now() + std::chrono::seconds(kUserSeconds);
        while (!kit_->wait_for(200)) {
            if (!captured_ && completion_prompt_seen(folder_->path() / "logs" / "boxes.log"))
                capture_results();
            if (Clock::now() >= deadline)
                throw TrialError("the kit did not end within " + seconds_text(kUserSeconds) +
                                 " (waited for it to be clicked through)");
        }
        report_.kit_exit = *kit_->poll();
        step("the kit ended with exit status " + std::to_string(*report_.kit_exit));
        {
            std::ofstream touch(stop_file);
        }
        watcher->wait_for(10000);
        watcher->kill();
        for (const json& box : boxes_listed(folder_->path() / "logs" / "boxes.log")) {
            BoxSeen seen{box.value("caption", ""), box.value("text", ""), {}, {}};
            for (const json& button : box["buttons"]) {
                seen.buttons.push_back(button_text(button));
                if (button.value("id", 0) == kIdYes)
                    report_.completed = true;
            }
            report_.boxes.push_back(seen);
        }
    }

    static std::vector<json> boxes_listed(const fs::path& log)
    {
        std::vector<json> boxes;
        for (const std::string& line : lines(read_text(log))) {
            const json record = json::parse(line, nullptr, false);
            if (!record.is_discarded() && record.contains("box"))
                boxes.push_back(record["box"]);
        }
        return boxes;
    }

    static bool completion_prompt_seen(const fs::path& log)
    {
        for (const json& box : boxes_listed(log))
            for (const json& button : box["buttons"])
                if (button.value("id", 0) == kIdYes)
                    return true;
        return false;
    }

    static std::vector<std::string> lines(const std::string& text)
    {
        std::vector<std::string> out;
        std::size_t start = 0;
        while (start < text.size()) {
            std::size_t end = text.find('\n', start);
            if (end == std::string::npos)
                end = text.size();
            out.push_back(text.substr(start, end - start));
            start = end + 1;
        }
        return out;
    }

    void wait_kit_end(int seconds, const std::string& what)
    {
        const std::optional<int> status = kit_->wait_for(seconds * 1000);
        if (!status)
            throw TrialError("the kit did not end within " + seconds_text(seconds) + " (waited for it " + what + ")");
        report_.kit_exit = *status;
        step("the kit ended with exit status " + std::to_string(*status));
    }

    std::vector<PendingOperation> pending_operations()
    {
        std::vector<std::string> options = {"--key", kSessionManager, "--value", "PendingFileRenameOperations"};
        const std::vector<std::string> view = view_option(plan_.arch);
        options.insert(options.end(), view.begin(), view.end());
        const json got = session_->driver("reg-get", options, 30000);
        std::vector<PendingOperation> pending;
        if (!got.value("exists", false) || !got["data"].is_array())
            return pending;
        const json& data = got["data"];
        for (std::size_t k = 0; k + 1 < data.size(); k += 2)
            pending.push_back({data[k].get<std::string>(), data[k + 1].get<std::string>()});
        return pending;
    }

    // Windows 95's list of what waits for a restart, when the kit wrote one.
    std::vector<std::string> wininit_lines()
    {
        std::vector<std::string> out;
        bool in_rename = false;
        for (std::string line : lines(read_text(session_->host_path("C:\\windows\\wininit.ini")))) {
            if (!line.empty() && line.back() == '\r')
                line.pop_back();
            if (!line.empty() && line.front() == '[') {
                in_rename = line.size() == 8 && std::equal(line.begin(), line.end(), "[rename]", [](char a, char b) {
                                return std::tolower(static_cast<unsigned char>(a)) == b;
                            });
                continue;
            }
            if (in_rename && !line.empty())
                out.push_back(line);
        }
        return out;
    }

    void read_registry()
    {
        for (const RegistryTarget& row : plan_.registry) {
            const char* root = root_name(row.root);
            RegistryReadBack back{(root ? std::string(root) + "\\" : "?\\") + row.key, row.value, false, {}, nullptr};
            if (root) {
                std::vector<std::string> options = {"--key", back.key, "--value", row.value};
                const std::vector<std::string> view = view_option(plan_.arch);
                options.insert(options.end(), view.begin(), view.end());
                const json got = session_->driver("reg-get", options, 30000);
                back.exists = got.value("exists", false);
                if (back.exists) {
                    back.type = got.value("type", "");
                    back.data = got["data"];
                }
            }
            report_.registry.push_back(back);
        }
    }

    void screenshot(const std::string& what)
    {
        if (!display_ || screenshot_program_.empty() || plan_.screenshots.empty())
            return;
        std::string name = std::to_string(report_.screenshots.size() + 1);
        if (name.size() < 2)
            name = "0" + name;
        name += "-";
        for (char c : what)
            name += std::isalnum(static_cast<unsigned char>(c)) ? c : '-';
        const fs::path path = plan_.screenshots / (name + ".png");
        std::error_code ec;
        fs::create_directories(plan_.screenshots, ec);
        const Finished shot =
            run_to_end({screenshot_program_.string(), "-display", display_->name(), "-window", "root", path.string()},
                       session_->environment(), 30000, "the screenshot (import)", folder_->path() / "logs");
        if (shot.status == 0 && fs::is_regular_file(path, ec))
            report_.screenshots.push_back(path);
    }

    // Ends the kit, the stand-ins and the session's other programs, then the
    // display.
    void stop_programs()
    {
        if (session_) {
            try {
                session_->end_session();
            } catch (const std::exception&) {
                // The programs are killed below all the same.
            }
        }
        // Not wait_for: this runs on the way out of an interruption too.
        const auto deadline = Clock::now() + std::chrono::seconds(5);
        while (kit_ && !kit_->poll() && Clock::now() < deadline)
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        kit_.reset();
        stand_ins_.clear();
        display_.reset();
    }

    // The whole trial folder, under a name of its own: the prefix, and the
    // logs of the kit, the driver and Xvfb beside it.
    void keep_prefix()
    {
        const fs::path kept = folder_->path().parent_path() / (folder_->path().filename().string() + "-kept");
        session_.reset();
        fs::rename(folder_->path(), kept);
        report_.kept_prefix = kept / "prefix";
    }

    const TrialPlan& plan_;
    std::ostream& progress_;
    TrialReport report_;
    FileSnapshot before_;
    FileSnapshot after_;
    bool captured_ = false;
    fs::path screenshot_program_;
    std::unique_ptr<TemporaryFolder> folder_;
    std::unique_ptr<WineSession> session_;
    std::unique_ptr<PrivateDisplay> display_;
    std::unique_ptr<Child> kit_;
    std::vector<std::unique_ptr<Child>> stand_ins_;
};

}  // namespace

TrialReport run_trial(const TrialPlan& plan, std::ostream& progress)
{
    const InterruptionGuard guard;
    Trial trial(plan, progress);
    return trial.run();
}

}  // namespace upkit::kittry
