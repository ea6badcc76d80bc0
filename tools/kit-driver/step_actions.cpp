// Following a kit from outside while `upkit try` runs it: what it does next
// after a button was pressed or a box answered, and every message box it
// shows, for the report.
#include "driver_support.h"

#include <cstdio>
#include <set>
#include <utility>

#include "driver_actions.h"
#include "kit_resource_ids.h"

namespace kit_driver {

namespace {

// What the report and the caller need of a box: where it came from, what it
// says and which buttons it offers.
json box_json(HWND box)
{
    HWND owner = GetWindow(box, GW_OWNER);
    return {{"hwnd", handle_json(box)},
            {"caption", window_text(box)},
            {"text", window_text(child_by_id(box, kBoxTextId))},
            {"owner", handle_json(owner)},
            {"owner_caption", owner ? json(window_text(owner)) : json(nullptr)},
            {"buttons", buttons_json(box)},
            {"pid", window_pid(box)}};
}

HWND find_box(const std::string& caption)
{
    for (HWND window : top_windows())
        if (IsWindowVisible(window) && is_message_box(window) && (caption.empty() || window_text(window) == caption))
            return window;
    return nullptr;
}

// The kit's dialog waiting for the user: usable, progress hidden, Install
// enabled. While the kit installs, Install is disabled; while a box is shown,
// the whole dialog is.
bool dialog_idle(HWND dialog)
{
    HWND install = child_by_id(dialog, IDC_INSTALL);
    HWND bar = child_by_id(dialog, IDC_PROGRESS_BAR);
    return IsWindowEnabled(dialog) && install && IsWindowEnabled(install) && !(bar && IsWindowVisible(bar));
}

bool stop_file_exists(const std::wstring& path)
{
    return !path.empty() && GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

}  // namespace

// Waits for the kit's next step: a message box with the kit's caption, the
// dialog idle again (only with --allow-idle: right after Install is pressed
// the dialog still looks idle), or the dialog gone with no box following it
// within --gone-grace (the completion prompt comes a moment after the dialog
// has closed).
json act_next(const Options& options)
{
    const Target dialog_target{std::nullopt, options.get("dialog"), std::nullopt, Kind::dialog};
    const std::string box_caption = options.get("box");
    const bool allow_idle = options.flag("allow-idle");
    const DWORD timeout = static_cast<DWORD>(options.number("timeout", 10000));
    const DWORD gone_grace = static_cast<DWORD>(options.number("gone-grace", 2000));
    const ULONGLONG start = GetTickCount64();
    ULONGLONG gone_since = 0;
    for (;;) {
        const ULONGLONG now = GetTickCount64();
        if (HWND box = find_box(box_caption))
            return {{"box", box_json(box)}, {"elapsed_ms", now - start}};
        HWND dialog = find_target(dialog_target);
        if (dialog) {
            gone_since = 0;
            if (allow_idle && dialog_idle(dialog))
                return {{"dialog", "idle"}, {"elapsed_ms", now - start}};
        } else {
            if (gone_since == 0)
                gone_since = now;
            if (now - gone_since >= gone_grace)
                return {{"dialog", "gone"}, {"elapsed_ms", now - start}};
        }
        if (now - start >= timeout)
            throw Failure("timed out after " + std::to_string(timeout) + " ms waiting for a message box '" +
                          box_caption + "'" + (allow_idle ? ", the dialog to be idle" : "") + " or the dialog to end");
        Sleep(kPollMs);
    }
}

// Prints every message box (with --caption: of that caption) once, when it is
// first seen, until --stop-file exists or --timeout has passed. A box stays
// until it is answered, so polling sees every one.
int act_boxes(const Options& options)
{
    const std::string caption = options.get("caption", "");
    const DWORD interval = static_cast<DWORD>(options.number("interval", kPollMs));
    const DWORD timeout = static_cast<DWORD>(options.number("timeout", 3600000));
    const std::wstring stop_file = to_wide(options.get("stop-file", ""));
    const ULONGLONG start = GetTickCount64();
    // A window handle may come back for a later box: a box is told apart by
    // its handle and its text.
    std::set<std::pair<HWND, std::string>> seen;
    print({{"watching", true}});
    std::string why = "timeout";
    while (GetTickCount64() - start < timeout) {
        for (HWND window : top_windows()) {
            if (!IsWindowVisible(window) || !is_message_box(window))
                continue;
            if (!caption.empty() && window_text(window) != caption)
                continue;
            const std::string text = window_text(child_by_id(window, kBoxTextId));
            if (seen.insert({window, text}).second)
                print({{"box", box_json(window)}, {"t_ms", GetTickCount64() - start}});
        }
        if (stop_file_exists(stop_file)) {
            why = "stopped";
            break;
        }
        Sleep(interval);
    }
    print({{"end", why}, {"t_ms", GetTickCount64() - start}});
    return 0;
}

}  // namespace kit_driver
