// One throwaway Wine prefix and what runs in it: Wine programs, the kit
// driver (one action per run, one JSON object out), the wineserver that
// holds the session, and Wine's restart, which carries out the operations
// that wait for one.
#pragma once

#include <filesystem>
#include <memory>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "child_process.h"
#include "host_programs.h"

namespace upkit::kittry {

using json = nlohmann::json;

class WineSession {
public:
    // The prefix is made in `prefix` (which must not exist yet); `scratch` is
    // a folder for the programs' output; `display` may be empty until
    // programs with windows run.
    WineSession(HostPrograms programs, std::string arch, std::filesystem::path prefix, std::filesystem::path scratch,
                std::filesystem::path driver);
    ~WineSession();  // ends the session's programs
    WineSession(const WineSession&) = delete;
    WineSession& operator=(const WineSession&) = delete;

    void set_display(const std::string& display) { display_ = display; }
    const std::string& arch() const { return arch_; }
    const std::filesystem::path& prefix() const { return prefix_; }
    std::filesystem::path drive_c() const { return prefix_ / "drive_c"; }

    // wineboot -i, then the registry settings every trial needs: no crash
    // dialog and no debugger (a crashing kit ends with its exception code
    // rather than waiting for a click), and a virtual desktop the size of the
    // screen (windows with title bars in screenshots). Throws TrialError.
    void make_prefix();

    Environment environment() const;

    // Wine's loader with these arguments, to its end.
    Finished wine(const std::vector<std::string>& args, int milliseconds, const std::string& what) const;

    // Starts a Wine program that goes on running; its output goes to
    // `log_name` in the scratch folder.
    std::unique_ptr<Child> start(const std::vector<std::string>& args, const std::string& log_name) const;

    // One driver action; the JSON it printed. A driver error is a TrialError
    // with the driver's message, unless `check` is false.
    json driver(const std::string& action, const std::vector<std::string>& options, int milliseconds,
                bool check = true) const;
    std::unique_ptr<Child> start_driver(const std::string& action, const std::vector<std::string>& options,
                                        const std::string& log_name) const;

    // Ends every program of the session (wineserver -k).
    void end_session() const;

    // Wine's restart: ends the session, then starts the prefix again
    // (wineboot -r), which carries out the replace-on-restart operations.
    void restart() const;

    // The host file of C:\... in the prefix, found without regard to case as
    // Windows would; the parts that do not exist yet keep their spelling.
    std::filesystem::path host_path(const std::string& windows_path) const;

    // How Wine programs name a host path: through drive Z:.
    static std::string windows_path_of(const std::filesystem::path& host);

private:
    HostPrograms programs_;
    std::string arch_;
    std::filesystem::path prefix_;
    std::filesystem::path scratch_;
    std::filesystem::path driver_;
    std::string display_;
};

}  // namespace upkit::kittry
