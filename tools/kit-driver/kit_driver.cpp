// kit_driver: drives and inspects a running kit from outside, the way a user
// meets it. A windowless console program that runs in the kit's Wine prefix,
// one action per invocation, and prints one JSON object on stdout (watch,
// record and boxes print one object per line; stand-in prints one line and
// stays, a window of its own, until that window is closed). `upkit try` runs
// it beside a kit under trial, installed beside upkit as
// kit-driver-win32.exe and kit-driver-win64.exe; the end-to-end tests of
// tests/kit drive their kits with it too.
//
//   kit_driver ACTION [--option value]... [--flag]...
//
// Windows are found by their exact caption (case-sensitive, unlike
// FindWindowA), optionally narrowed by --class, or given directly by --hwnd.
// Texts are read with GetWindowTextW, which another process gets from the
// window manager without sending a message, so reading works while the kit is
// busy. Only the progress bar needs messages; those go through
// SendMessageTimeout and come back as null when the kit does not answer.
//
// The driver itself has no window (but in stand-in): when a kit restarts the
// system, the session's end closes every program that has one.
//
// Exit status: 0 done, 1 the action failed (the JSON carries "error"),
// 2 a usage error.

#include "driver_support.h"

#include <shellapi.h>

#include <cstdio>

#include "driver_actions.h"

using namespace kit_driver;

namespace {

const char kUsage[] =
    "usage: kit_driver ACTION [options]\n"
    "  wait-window  --caption T [--class C] [--timeout MS]\n"
    "  wait-gone    --caption T [--class C] [--timeout MS]\n"
    "  dialog-state --caption T [--bar] [--bar-timeout MS]\n"
    "  press        --caption T --id N [--via click|command] [--force]\n"
    "  key          --caption T --key enter|escape|space|tab [--force]\n"
    "  close        --caption T [--force] [--wait-exit [--timeout MS]]\n"
    "  message-box  --caption T [--timeout MS] [--icon-timeout MS]\n"
    "  answer       --caption T --id N [--force]\n"
    "  watch        --caption T [--interval MS] [--timeout MS] [--stop-file PATH]\n"
    "  record       --dll message_recorder.dll [--timeout MS] [--stop-file PATH]\n"
    "  list-windows [--all]\n"
    "  reg-get      --key 'HKLM\\...' [--value NAME] [--view 32|64]\n"
    "  reg-set      --key 'HKLM\\...' [--value NAME] --type sz|expand_sz|multi_sz|dword|qword|binary --data D\n"
    "  reg-delete   --key 'HKLM\\...' [--value NAME]\n"
    "  file-info    --path PATH\n"
    "  spawn        [--cwd DIR] PROGRAM [ARGS...]\n"
    "  kill         --pid N [--exit-code N]\n"
    "  wait-exit    --pid N [--timeout MS]\n"
    "  next         --dialog T --box T [--allow-idle] [--timeout MS] [--gone-grace MS]\n"
    "  boxes        [--caption T] [--interval MS] [--timeout MS] [--stop-file PATH]\n"
    "  reg-dump     --key 'HKLM\\...' [--key ...] [--view 32|64]\n"
    "  stand-in     [--class C] [--title T] [--hidden] [--map PATH]...\n"
    "Windows may be given by --hwnd N instead of --caption.\n";

int run(const std::vector<std::string>& args)
{
    if (args.size() < 2 || args[1] == "--help" || args[1] == "help") {
        std::fputs(kUsage, args.size() < 2 ? stderr : stdout);
        return args.size() < 2 ? 2 : 0;
    }
    const std::string& action = args[1];
    Options options(args, 2, action == "spawn");

    using Action = json (*)(const Options&);
    static const std::map<std::string, Action> actions = {
        {"wait-window", act_wait_window},
        {"wait-gone", act_wait_gone},
        {"dialog-state", act_dialog_state},
        {"press", act_press},
        {"key", act_key},
        {"close", act_close},
        {"message-box", act_message_box},
        {"answer", act_answer},
        {"list-windows", act_list_windows},
        {"reg-get", act_reg_get},
        {"reg-set", act_reg_set},
        {"reg-delete", act_reg_delete},
        {"file-info", act_file_info},
        {"spawn", act_spawn},
        {"kill", act_kill},
        {"wait-exit", act_wait_exit},
        {"next", act_next},
        {"reg-dump", act_reg_dump},
    };
    if (action == "watch")
        return act_watch(options);
    if (action == "record")
        return act_record(options);
    if (action == "boxes")
        return act_boxes(options);
    if (action == "stand-in")
        return act_stand_in(options);
    auto it = actions.find(action);
    if (it == actions.end())
        throw UsageError("unknown action: " + action);
    print(it->second(options));
    return 0;
}

}  // namespace

int main()
{
    // Tells the caller that the program got as far as running: if it then ends
    // without an answer, it may have acted; if not even this appears, Wine did
    // not start it and the action can safely be run again.
    std::fputs("kit_driver: started\n", stderr);
    std::fflush(stderr);
    int argc = 0;
    wchar_t** wide = CommandLineToArgvW(GetCommandLineW(), &argc);
    std::vector<std::string> args;
    for (int i = 0; i < argc; ++i)
        args.push_back(to_utf8(wide[i]));
    LocalFree(wide);
    try {
        return run(args);
    } catch (const UsageError& e) {
        print({{"error", e.what()}, {"usage", true}});
        std::fputs(kUsage, stderr);
        return 2;
    } catch (const std::exception& e) {
        print({{"error", e.what()}});
        return 1;
    }
}
