// The actions on windows: waiting for them, reading the dialog, pressing its
// buttons and keys, listing windows, and following the dialog or recording
// what windows are told while the kit installs.
#include "driver_support.h"

#include <commctrl.h>

#include <cstdio>

#include "driver_actions.h"
#include "kit_resource_ids.h"

namespace kit_driver {

namespace {

constexpr int kDialogControls[] = {IDC_PROGRESS_GROUP, IDC_PROGRESS_LINE1, IDC_PROGRESS_LINE2,
                                   IDC_PROGRESS_BAR,   IDC_INSTALL,        IDC_EXIT};

}  // namespace

json act_wait_window(const Options& options)
{
    Target target = target_from(options, Kind::any);
    ULONGLONG elapsed = 0;
    HWND window = wait_for(target, static_cast<DWORD>(options.number("timeout", 10000)), &elapsed);
    return {{"hwnd", handle_json(window)},
            {"class", class_name(window)},
            {"pid", window_pid(window)},
            {"elapsed_ms", elapsed}};
}

json act_wait_gone(const Options& options)
{
    Target target = target_from(options, Kind::any);
    DWORD timeout = static_cast<DWORD>(options.number("timeout", 10000));
    ULONGLONG start = GetTickCount64();
    while (find_target(target)) {
        if (GetTickCount64() - start >= timeout)
            throw Failure("timed out after " + std::to_string(timeout) + " ms waiting for " + target.describe() +
                          " to go away");
        Sleep(kPollMs);
    }
    return {{"elapsed_ms", GetTickCount64() - start}};
}

json act_dialog_state(const Options& options)
{
    HWND dialog = require_target(target_from(options, Kind::dialog));
    RECT rect{}, client{};
    GetWindowRect(dialog, &rect);
    GetClientRect(dialog, &client);
    json state = window_json(dialog);
    state["client"] = rect_json(client);
    state["screen"] = {{"width", GetSystemMetrics(SM_CXSCREEN)}, {"height", GetSystemMetrics(SM_CYSCREEN)}};
    json focus = thread_focus_json(dialog);
    state["focus"] = focus["focus"];
    state["active"] = focus["active"];

    json controls = json::object();
    for (int id : kDialogControls) {
        HWND control = child_by_id(dialog, id);
        controls[std::to_string(id)] = control ? control_json(control) : json(nullptr);
    }
    state["controls"] = controls;
    json all = json::array();
    for (HWND child : children(dialog))
        all.push_back(control_json(child));
    state["children"] = all;

    if (options.flag("bar")) {
        UINT timeout = static_cast<UINT>(options.number("bar-timeout", 250));
        json bar = {{"low", nullptr}, {"high", nullptr}, {"pos", nullptr}, {"answered", false}};
        if (HWND control = child_by_id(dialog, IDC_PROGRESS_BAR)) {
            // Stop at the first unanswered message: a busy kit would make every
            // further one wait for the whole timeout again.
            auto low = ask(control, PBM_GETRANGE, TRUE, 0, timeout);
            auto high = low ? ask(control, PBM_GETRANGE, FALSE, 0, timeout) : std::nullopt;
            auto pos = high ? ask(control, PBM_GETPOS, 0, 0, timeout) : std::nullopt;
            bar = {{"low", optional_json(low)},
                   {"high", optional_json(high)},
                   {"pos", optional_json(pos)},
                   {"answered", pos.has_value()}};
        }
        state["bar"] = bar;
    }
    return state;
}

json act_press(const Options& options)
{
    HWND dialog = require_target(target_from(options, Kind::any));
    int id = static_cast<int>(options.number("id"));
    HWND button = child_by_id(dialog, id);
    if (!button)
        throw Failure("the window has no control " + std::to_string(id));
    require_usable(button, "control " + std::to_string(id), options.flag("force"));
    std::string via = options.get("via", "click");
    BOOL posted;
    if (via == "click") {
        posted = PostMessageW(button, BM_CLICK, 0, 0);
    } else if (via == "command") {
        posted = PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(button));
    } else {
        throw UsageError("--via is click or command");
    }
    if (!posted)
        throw Failure("PostMessage failed: " + last_error_text(GetLastError()));
    return {{"hwnd", handle_json(dialog)}, {"id", id}, {"via", via}, {"text", window_text(button)}};
}

// Keys go to the focused control of the window's thread as posted key
// messages, so that the window's own message loop (for a dialog: the dialog
// manager) handles them as it handles the keyboard.
json act_key(const Options& options)
{
    HWND window = require_target(target_from(options, Kind::any));
    std::string key = options.get("key");
    struct KeyInfo {
        const char* name;
        UINT vk;
        UINT scan;
    };
    static const KeyInfo keys[] = {{"enter", VK_RETURN, 0x1C},
                                   {"escape", VK_ESCAPE, 0x01},
                                   {"space", VK_SPACE, 0x39},
                                   {"tab", VK_TAB, 0x0F}};
    const KeyInfo* info = nullptr;
    for (const auto& k : keys)
        if (key == k.name)
            info = &k;
    if (!info)
        throw UsageError("--key is enter, escape, space or tab");

    require_usable(window, "the window", options.flag("force"));
    HWND to = window;
    GUITHREADINFO thread{};
    thread.cbSize = sizeof thread;
    if (GetGUIThreadInfo(GetWindowThreadProcessId(window, nullptr), &thread) && thread.hwndFocus &&
        (thread.hwndFocus == window || IsChild(window, thread.hwndFocus)))
        to = thread.hwndFocus;
    LPARAM down = 1 | (static_cast<LPARAM>(info->scan) << 16);
    LPARAM up = down | (1L << 30) | (1L << 31);
    if (!PostMessageW(to, WM_KEYDOWN, info->vk, down) || !PostMessageW(to, WM_KEYUP, info->vk, up))
        throw Failure("PostMessage failed: " + last_error_text(GetLastError()));
    return {{"hwnd", handle_json(window)},
            {"to", handle_json(to)},
            {"to_id", to == window ? json(nullptr) : json(GetDlgCtrlID(to) & 0xFFFF)},
            {"key", key}};
}

json act_close(const Options& options)
{
    HWND window = require_target(target_from(options, Kind::any));
    require_usable(window, "the window", options.flag("force"));
    // With --wait-exit the owner's process is opened before the window is
    // asked to close: a process that has ended and has no handle open is
    // gone, exit code and all, before a later driver run could ask for it.
    HANDLE process = nullptr;
    if (options.flag("wait-exit")) {
        DWORD pid = 0;
        GetWindowThreadProcessId(window, &pid);
        process = OpenProcess(SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION, FALSE, pid);
        if (!process)
            throw Failure("cannot open the window's process " + std::to_string(pid) + ": " +
                          last_error_text(GetLastError()));
    }
    if (!PostMessageW(window, WM_SYSCOMMAND, SC_CLOSE, 0)) {
        DWORD error = GetLastError();
        if (process)
            CloseHandle(process);
        throw Failure("PostMessage failed: " + last_error_text(error));
    }
    json out = {{"hwnd", handle_json(window)}};
    if (!process)
        return out;
    DWORD timeout = static_cast<DWORD>(options.number("timeout", 10000));
    out["exit_code"] = wait_for_exit(process, timeout, "the window's process");
    return out;
}

namespace {

json process_image(DWORD pid)
{
    HANDLE process = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, pid);
    if (!process)
        return nullptr;
    wchar_t path[MAX_PATH * 2];
    DWORD size = MAX_PATH * 2;
    BOOL got = QueryFullProcessImageNameW(process, 0, path, &size);
    CloseHandle(process);
    return got ? json(to_utf8(std::wstring(path, size))) : json(nullptr);
}

}  // namespace

json act_list_windows(const Options& options)
{
    bool all = options.flag("all");
    json out = json::array();
    for (HWND window : top_windows()) {
        if (!all && !IsWindowVisible(window))
            continue;
        json entry = window_json(window);
        entry["message_box"] = is_message_box(window);
        entry["image"] = process_image(window_pid(window));
        out.push_back(entry);
    }
    return {{"windows", out}};
}

// Follows a dialog: every kPollMs (or --interval) takes the texts and states
// of its controls and the captions of the message boxes on screen, and prints
// a line whenever something changed. Ends when the dialog has gone, when
// --stop-file exists, or after --timeout.
int act_watch(const Options& options)
{
    Target target = target_from(options, Kind::dialog);
    DWORD interval = static_cast<DWORD>(options.number("interval", kPollMs));
    DWORD timeout = static_cast<DWORD>(options.number("timeout", 120000));
    std::wstring stop_file = to_wide(options.get("stop-file", ""));
    ULONGLONG start = GetTickCount64();
    bool seen = false;
    std::string last;
    std::string why = "timeout";
    for (;;) {
        HWND dialog = find_target(target);
        json record;
        record["exists"] = dialog != nullptr;
        if (dialog) {
            seen = true;
            record["enabled"] = IsWindowEnabled(dialog) != 0;
            json controls = json::object();
            for (int id : kDialogControls) {
                HWND control = child_by_id(dialog, id);
                if (!control)
                    continue;
                json c = {{"visible", IsWindowVisible(control) != 0}, {"enabled", IsWindowEnabled(control) != 0}};
                if (id == IDC_PROGRESS_LINE1 || id == IDC_PROGRESS_LINE2)
                    c["text"] = window_text(control);
                controls[std::to_string(id)] = c;
            }
            record["controls"] = controls;
        }
        json boxes = json::array();
        for (HWND window : top_windows())
            if (IsWindowVisible(window) && is_message_box(window))
                boxes.push_back(
                    {{"caption", window_text(window)}, {"text", window_text(child_by_id(window, kBoxTextId))}});
        record["boxes"] = boxes;
        std::string now = record.dump(-1, ' ', false, json::error_handler_t::replace);
        if (now != last) {
            record["t_ms"] = GetTickCount64() - start;
            std::printf("%s\n", record.dump(-1, ' ', false, json::error_handler_t::replace).c_str());
            std::fflush(stdout);
            last = now;
        }
        if (seen && !dialog) {
            why = "gone";
            break;
        }
        if (!stop_file.empty() && GetFileAttributesW(stop_file.c_str()) != INVALID_FILE_ATTRIBUTES) {
            why = "stopped";
            break;
        }
        if (GetTickCount64() - start >= timeout)
            break;
        Sleep(interval);
    }
    json end = {{"end", why}, {"t_ms", GetTickCount64() - start}};
    std::printf("%s\n", end.dump().c_str());
    std::fflush(stdout);
    return 0;
}

// Installs message_recorder.dll's hook for every program of the desktop
// (see that file) until --stop-file exists or --timeout has passed. Prints
// one line when the hook is in place and one when it is removed.
int act_record(const Options& options)
{
    std::wstring dll_path = to_wide(options.get("dll"));
    DWORD timeout = static_cast<DWORD>(options.number("timeout", 300000));
    std::wstring stop_file = to_wide(options.get("stop-file", ""));
    HMODULE dll = LoadLibraryW(dll_path.c_str());
    if (!dll)
        throw Failure("cannot load " + options.get("dll") + ": " + last_error_text(GetLastError()));
    auto procedure = reinterpret_cast<HOOKPROC>(reinterpret_cast<void*>(GetProcAddress(dll, "RecordMessage")));
    if (!procedure)
        throw Failure(options.get("dll") + " has no RecordMessage");
    HHOOK hook = SetWindowsHookExW(WH_CALLWNDPROCRET, procedure, dll, 0);
    if (!hook)
        throw Failure("SetWindowsHookEx failed: " + last_error_text(GetLastError()));
    print({{"recording", true}});
    ULONGLONG start = GetTickCount64();
    std::string why = "timeout";
    while (GetTickCount64() - start < timeout) {
        if (!stop_file.empty() && GetFileAttributesW(stop_file.c_str()) != INVALID_FILE_ATTRIBUTES) {
            why = "stopped";
            break;
        }
        MSG message;
        while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE))
            DispatchMessageW(&message);
        Sleep(kPollMs);
    }
    UnhookWindowsHookEx(hook);
    print({{"end", why}, {"t_ms", GetTickCount64() - start}});
    return 0;
}

}  // namespace kit_driver
