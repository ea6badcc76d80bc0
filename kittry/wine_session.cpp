#include "wine_session.h"

#include <algorithm>
#include <cctype>
#include <fstream>

#include "private_display.h"
#include "trial_error.h"

namespace fs = std::filesystem;

namespace upkit::kittry {

namespace {

const int kWinebootMs = 240000;
const int kServerMs = 60000;

std::string registry_settings()
{
    const std::string screen = std::to_string(PrivateDisplay::kWidth) + "x" + std::to_string(PrivateDisplay::kHeight);
    return "REGEDIT4\r\n\r\n"
           "[HKEY_CURRENT_USER\\Software\\Wine\\WineDbg]\r\n"
           "\"ShowCrashDialog\"=dword:00000000\r\n\r\n"
           "[HKEY_LOCAL_MACHINE\\Software\\Microsoft\\Windows NT\\CurrentVersion\\AeDebug]\r\n"
           "\"Debugger\"=\"upkit-try-no-debugger.exe %ld %ld\"\r\n"
           "\"Auto\"=\"1\"\r\n\r\n"
           "[HKEY_CURRENT_USER\\Software\\Wine\\Explorer]\r\n"
           "\"Desktop\"=\"Default\"\r\n\r\n"
           "[HKEY_CURRENT_USER\\Software\\Wine\\Explorer\\Desktops]\r\n"
           "\"Default\"=\"" +
           screen + "\"\r\n";
}

std::string last_line(const std::string& text)
{
    std::size_t end = text.find_last_not_of("\r\n");
    if (end == std::string::npos)
        return {};
    const std::size_t start = text.find_last_of('\n', end);
    return text.substr(start == std::string::npos ? 0 : start + 1,
                       end + 1 - (start == std::string::npos ? 0 : start + 1));
}

}  // namespace

WineSession::WineSession(HostPrograms programs, std::string arch, fs::path prefix, fs::path scratch, fs::path driver)
    : programs_(std::move(programs))
    , arch_(std::move(arch))
    , prefix_(std::move(prefix))
    , scratch_(std::move(scratch))
    , driver_(std::move(driver))
{
}

WineSession::~WineSession()
{
    try {
        if (fs::exists(prefix_))
            end_session();
    } catch (const std::exception&) {
        // Ending is best effort on the way out; the folder goes anyway.
    }
}

Environment WineSession::environment() const
{
    Environment environment = current_environment();
    environment["WINEPREFIX"] = prefix_.string();
    environment["WINEARCH"] = arch_;
    environment["WINEDEBUG"] = "-all";
    environment["WINEDLLOVERRIDES"] = "mscoree,mshtml=";
    environment["WINELOADER"] = programs_.loader.string();
    // Wine keeps its server's socket in a folder of TMPDIR and leaves that
    // folder behind: here it goes with the trial's folder.
    environment["TMPDIR"] = (prefix_.parent_path() / "tmp").string();
    // Kit, driver and report convert file times with one zone: with UTC, a
    // member's stored time is the file's last-write time as the report shows
    // it.
    if (!environment.contains("TZ"))
        environment["TZ"] = "UTC";
    if (display_.empty())
        environment.erase("DISPLAY");
    else
        environment["DISPLAY"] = display_;
    return environment;
}

Finished WineSession::wine(const std::vector<std::string>& args, int milliseconds, const std::string& what) const
{
    std::vector<std::string> argv = {programs_.loader.string()};
    argv.insert(argv.end(), args.begin(), args.end());
    return run_to_end(argv, environment(), milliseconds, what, scratch_);
}

std::unique_ptr<Child> WineSession::start(const std::vector<std::string>& args, const std::string& log_name) const
{
    std::vector<std::string> argv = {programs_.loader.string()};
    argv.insert(argv.end(), args.begin(), args.end());
    return std::make_unique<Child>(ChildSpec{argv, environment(), scratch_ / log_name, {}, drive_c()});
}

void WineSession::make_prefix()
{
    fs::create_directories(prefix_.parent_path() / "tmp");
    const Finished boot = wine({"wineboot", "-i"}, kWinebootMs, "Wine's prefix set-up (wineboot -i)");
    if (!fs::is_directory(drive_c() / "windows"))
        throw TrialError("wineboot -i made no prefix (exit " + std::to_string(boot.status) + "): " + boot.errors);
    // Wine draws dialogs in the face Windows shows them in (MS Sans Serif,
    // for the template's "Helv") only when the font lies in the prefix; the
    // screenshots then show the layout the kit's users will see.
    const fs::path dialog_font = "/usr/share/wine/fonts/sserife.fon";
    std::error_code ec;
    if (fs::is_regular_file(dialog_font, ec)) {
        fs::create_directories(drive_c() / "windows" / "Fonts", ec);
        fs::copy_file(dialog_font, drive_c() / "windows" / "Fonts" / "sserife.fon",
                      fs::copy_options::overwrite_existing, ec);
    }
    const fs::path settings = drive_c() / "upkit-try.reg";
    std::ofstream(settings, std::ios::binary) << registry_settings();
    wine({"regedit", "/S", "C:\\upkit-try.reg"}, kServerMs, "regedit of the prefix's settings");
    fs::remove(settings);
    // The registry is saved when the wineserver ends; the restart's
    // wineboot -r reads it back.
    run_to_end({programs_.wineserver.string(), "-w"}, environment(), kServerMs, "the wineserver's end (wineserver -w)",
               scratch_);
}

json WineSession::driver(const std::string& action, const std::vector<std::string>& options, int milliseconds,
                         bool check) const
{
    std::vector<std::string> args = {driver_.string(), action};
    args.insert(args.end(), options.begin(), options.end());
    // Rarely Wine does not start a program at all (no output, exit 1): then
    // the action is run again; once the driver has started, it may have acted.
    Finished done;
    json result;
    for (int attempt = 0; attempt < 3; ++attempt) {
        done = wine(args, milliseconds + 30000, "kit driver " + action);
        const std::string line = last_line(done.output);
        result = json::parse(line, nullptr, false);
        if (!line.empty() && !result.is_discarded())
            break;
        if (done.errors.find("kit_driver: started") != std::string::npos)
            throw TrialError("kit driver " + action + " ended with " + std::to_string(done.status) +
                             " and no answer: " + last_line(done.errors));
    }
    if (result.is_discarded())
        throw TrialError("kit driver " + action + " did not start (exit " + std::to_string(done.status) + ")");
    if (check && done.status != 0)
        throw TrialError("kit driver " + action + ": " + result.value("error", "exit " + std::to_string(done.status)));
    return result;
}

std::unique_ptr<Child> WineSession::start_driver(const std::string& action, const std::vector<std::string>& options,
                                                 const std::string& log_name) const
{
    std::vector<std::string> args = {driver_.string(), action};
    args.insert(args.end(), options.begin(), options.end());
    return start(args, log_name);
}

void WineSession::end_session() const
{
    // Also on the way out of an interruption: not interruptible itself.
    run_to_end({programs_.wineserver.string(), "-k"}, environment(), kServerMs, "the session's end (wineserver -k)",
               scratch_, false);
}

void WineSession::restart() const
{
    end_session();
    const Finished boot = wine({"wineboot", "-r"}, kWinebootMs, "Wine's restart (wineboot -r)");
    if (boot.status != 0)
        throw TrialError("Wine's restart (wineboot -r) failed with " + std::to_string(boot.status));
}

fs::path WineSession::host_path(const std::string& windows_path) const
{
    if (windows_path.size() < 2 || (windows_path[0] != 'C' && windows_path[0] != 'c') || windows_path[1] != ':')
        throw TrialError("only paths on drive C lie in the prefix: " + windows_path);
    fs::path path = drive_c();
    std::size_t start = 2;
    while (start < windows_path.size()) {
        std::size_t end = windows_path.find_first_of("\\/", start);
        if (end == std::string::npos)
            end = windows_path.size();
        const std::string part = windows_path.substr(start, end - start);
        start = end + 1;
        if (part.empty())
            continue;
        fs::path next = path / part;
        std::error_code ec;
        if (!fs::exists(next, ec) && fs::is_directory(path, ec)) {
            for (const fs::directory_entry& entry : fs::directory_iterator(path, ec)) {
                const std::string name = entry.path().filename().string();
                if (name.size() == part.size() &&
                    std::equal(name.begin(), name.end(), part.begin(), [](char a, char b) {
                        return std::tolower(static_cast<unsigned char>(a)) ==
                               std::tolower(static_cast<unsigned char>(b));
                    })) {
                    next = entry.path();
                    break;
                }
            }
        }
        path = next;
    }
    return path;
}

std::string WineSession::windows_path_of(const fs::path& host)
{
    std::string text = "Z:" + fs::absolute(host).lexically_normal().string();
    for (char& c : text)
        if (c == '/')
            c = '\\';
    return text;
}

}  // namespace upkit::kittry
