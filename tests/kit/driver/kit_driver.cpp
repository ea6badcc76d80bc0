// kit_driver: drives and inspects a running kit from outside, the way a user
// meets it. A windowless console program that runs in the kit's Wine prefix,
// one action per invocation, and prints one JSON object on stdout (the watch
// action prints one object per line).
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
// Exit status: 0 done, 1 the action failed (the JSON carries "error"),
// 2 a usage error.

// <windows.h> comes before every other Windows header.
#include <windows.h>

#include <commctrl.h>

#include <nlohmann/json.hpp>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <map>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "kit_resource_ids.h"

using json = nlohmann::json;

namespace {

// Message boxes: the text static and the icon static.
constexpr int kBoxTextId = 0xFFFF;
constexpr int kBoxIconId = 0x440;
// Every button a message box may show, in id order.
constexpr int kBoxButtonIds[] = {IDOK, IDCANCEL, IDABORT, IDRETRY, IDIGNORE, IDYES, IDNO, 10, 11, 9};
constexpr DWORD kPollMs = 20;

struct Failure : std::runtime_error {
    using std::runtime_error::runtime_error;
};
struct UsageError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

// ---------------------------------------------------------------- text

std::string to_utf8(const std::wstring& text)
{
    if (text.empty())
        return {};
    int size =
        WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<size_t>(size), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), size, nullptr, nullptr);
    return out;
}

std::wstring to_wide(const std::string& text)
{
    if (text.empty())
        return {};
    int size = MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring out(static_cast<size_t>(size), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), size);
    return out;
}

std::string hex_bytes(const unsigned char* data, size_t size)
{
    static const char digits[] = "0123456789abcdef";
    std::string out;
    for (size_t i = 0; i < size; ++i) {
        out += digits[data[i] >> 4];
        out += digits[data[i] & 15];
    }
    return out;
}

std::vector<unsigned char> parse_hex(const std::string& text)
{
    std::vector<unsigned char> out;
    auto nibble = [&](char c) -> int {
        if (c >= '0' && c <= '9')
            return c - '0';
        if (c >= 'a' && c <= 'f')
            return c - 'a' + 10;
        if (c >= 'A' && c <= 'F')
            return c - 'A' + 10;
        throw UsageError("not a hex digit in --data: " + text);
    };
    std::string digits;
    for (char c : text)
        if (c != ' ' && c != ',' && c != ':')
            digits += c;
    if (digits.size() % 2)
        throw UsageError("odd number of hex digits in --data");
    for (size_t i = 0; i < digits.size(); i += 2)
        out.push_back(static_cast<unsigned char>(nibble(digits[i]) * 16 + nibble(digits[i + 1])));
    return out;
}

std::string last_error_text(DWORD code)
{
    wchar_t* buffer = nullptr;
    FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                   code, 0, reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
    std::wstring text = buffer ? buffer : L"";
    if (buffer)
        LocalFree(buffer);
    while (!text.empty() && (text.back() == L'\n' || text.back() == L'\r' || text.back() == L' '))
        text.pop_back();
    return "error " + std::to_string(code) + (text.empty() ? "" : " (" + to_utf8(text) + ")");
}

// ---------------------------------------------------------------- options

class Options {
public:
    Options(const std::vector<std::string>& args, size_t first, bool stop_at_positional)
    {
        for (size_t i = first; i < args.size(); ++i) {
            const std::string& arg = args[i];
            if (arg == "--") {
                rest_.assign(args.begin() + static_cast<long>(i) + 1, args.end());
                return;
            }
            if (arg.rfind("--", 0) != 0) {
                if (stop_at_positional) {
                    rest_.assign(args.begin() + static_cast<long>(i), args.end());
                    return;
                }
                throw UsageError("unexpected argument: " + arg);
            }
            std::string name = arg.substr(2);
            if (is_flag(name)) {
                flags_.push_back(name);
            } else {
                if (i + 1 >= args.size())
                    throw UsageError("--" + name + " needs a value");
                values_[name].push_back(args[++i]);
            }
        }
    }

    bool has(const std::string& name) const { return values_.count(name) != 0; }
    bool flag(const std::string& name) const
    {
        for (const auto& f : flags_)
            if (f == name)
                return true;
        return false;
    }
    std::string get(const std::string& name) const
    {
        auto it = values_.find(name);
        if (it == values_.end())
            throw UsageError("--" + name + " is required");
        return it->second.back();
    }
    std::string get(const std::string& name, const std::string& fallback) const
    {
        return has(name) ? get(name) : fallback;
    }
    std::vector<std::string> all(const std::string& name) const
    {
        auto it = values_.find(name);
        return it == values_.end() ? std::vector<std::string>{} : it->second;
    }
    long long number(const std::string& name, long long fallback) const
    {
        return has(name) ? parse_number(name, get(name)) : fallback;
    }
    long long number(const std::string& name) const { return parse_number(name, get(name)); }
    const std::vector<std::string>& rest() const { return rest_; }

    static long long parse_number(const std::string& name, const std::string& text)
    {
        try {
            size_t used = 0;
            long long value = std::stoll(text, &used, 0);
            if (used != text.size())
                throw std::invalid_argument(text);
            return value;
        } catch (const std::exception&) {
            throw UsageError("--" + name + " needs a number, not '" + text + "'");
        }
    }

private:
    static bool is_flag(const std::string& name) { return name == "bar" || name == "all" || name == "force"; }
    std::map<std::string, std::vector<std::string>> values_;
    std::vector<std::string> flags_;
    std::vector<std::string> rest_;
};

// ---------------------------------------------------------------- windows

json handle_json(HWND window)
{
    return static_cast<std::uint64_t>(reinterpret_cast<std::uintptr_t>(window));
}

std::string window_text(HWND window)
{
    int length = GetWindowTextLengthW(window);
    std::wstring text(static_cast<size_t>(length) + 1, L'\0');
    int got = GetWindowTextW(window, text.data(), length + 1);
    text.resize(static_cast<size_t>(got > 0 ? got : 0));
    return to_utf8(text);
}

std::string class_name(HWND window)
{
    wchar_t name[256] = {};
    GetClassNameW(window, name, 256);
    return to_utf8(name);
}

json rect_json(const RECT& r)
{
    return {{"left", r.left},
            {"top", r.top},
            {"right", r.right},
            {"bottom", r.bottom},
            {"width", r.right - r.left},
            {"height", r.bottom - r.top}};
}

DWORD window_pid(HWND window)
{
    DWORD pid = 0;
    GetWindowThreadProcessId(window, &pid);
    return pid;
}

// An enumeration callback has the system's calling convention (stdcall on
// 32-bit Windows), which a lambda cannot be given.
BOOL CALLBACK add_top_window(HWND window, LPARAM context)
{
    reinterpret_cast<std::vector<HWND>*>(context)->push_back(window);
    return TRUE;
}

std::vector<HWND> top_windows()
{
    std::vector<HWND> found;
    EnumWindows(add_top_window, reinterpret_cast<LPARAM>(&found));
    return found;
}

// Direct children of a window, in z-order (for dialogs: template order).
std::vector<HWND> children(HWND parent)
{
    std::vector<HWND> found;
    for (HWND child = GetWindow(parent, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT))
        found.push_back(child);
    return found;
}

// Control ids are compared as 16-bit values: a template's -1 and 0xFFFF are
// the same control id.
HWND child_by_id(HWND parent, int id)
{
    for (HWND child : children(parent))
        if ((GetDlgCtrlID(child) & 0xFFFF) == (id & 0xFFFF))
            return child;
    return nullptr;
}

bool is_message_box(HWND window)
{
    return class_name(window) == "#32770" && child_by_id(window, kBoxTextId) && child_by_id(window, kBoxIconId);
}

enum class Kind {
    any,
    dialog,
    message_box
};

struct Target {
    std::optional<HWND> hwnd;
    std::string caption;
    std::optional<std::string> window_class;
    Kind kind = Kind::any;

    std::string describe() const
    {
        std::string what = kind == Kind::message_box ? "message box" : kind == Kind::dialog ? "dialog" : "window";
        if (hwnd)
            return what + " " + std::to_string(reinterpret_cast<std::uintptr_t>(*hwnd));
        return what + " '" + caption + "'" + (window_class ? " of class '" + *window_class + "'" : "");
    }
};

Target target_from(const Options& options, Kind kind)
{
    Target target;
    target.kind = kind;
    if (options.has("hwnd")) {
        target.hwnd = reinterpret_cast<HWND>(static_cast<std::uintptr_t>(options.number("hwnd")));
    } else {
        target.caption = options.get("caption");
    }
    if (options.has("class"))
        target.window_class = options.get("class");
    return target;
}

bool matches(const Target& target, HWND window, bool need_visible)
{
    if (need_visible && !IsWindowVisible(window))
        return false;
    if (target.hwnd) {
        if (window != *target.hwnd)
            return false;
    } else if (window_text(window) != target.caption) {
        return false;
    }
    if (target.window_class && class_name(window) != *target.window_class)
        return false;
    if (target.kind == Kind::message_box && !is_message_box(window))
        return false;
    if (target.kind == Kind::dialog && is_message_box(window))
        return false;
    return true;
}

HWND find_target(const Target& target, bool need_visible = true)
{
    if (target.hwnd) {
        if (!IsWindow(*target.hwnd))
            return nullptr;
        return matches(target, *target.hwnd, need_visible) ? *target.hwnd : nullptr;
    }
    for (HWND window : top_windows())
        if (matches(target, window, need_visible))
            return window;
    return nullptr;
}

HWND require_target(const Target& target)
{
    HWND window = find_target(target);
    if (!window)
        throw Failure("no visible " + target.describe());
    return window;
}

// Polls every kPollMs until the window exists and is visible.
HWND wait_for(const Target& target, DWORD timeout_ms, ULONGLONG* elapsed = nullptr)
{
    ULONGLONG start = GetTickCount64();
    for (;;) {
        if (HWND window = find_target(target)) {
            if (elapsed)
                *elapsed = GetTickCount64() - start;
            return window;
        }
        if (GetTickCount64() - start >= timeout_ms)
            throw Failure("timed out after " + std::to_string(timeout_ms) + " ms waiting for " + target.describe());
        Sleep(kPollMs);
    }
}

json window_json(HWND window)
{
    RECT rect{};
    GetWindowRect(window, &rect);
    HWND owner = GetWindow(window, GW_OWNER);
    return {{"hwnd", handle_json(window)},
            {"class", class_name(window)},
            {"caption", window_text(window)},
            {"visible", IsWindowVisible(window) != 0},
            {"enabled", IsWindowEnabled(window) != 0},
            {"pid", window_pid(window)},
            {"owner", handle_json(owner)},
            {"rect", rect_json(rect)}};
}

json control_json(HWND control)
{
    RECT rect{};
    GetWindowRect(control, &rect);
    return {{"hwnd", handle_json(control)},
            {"id", GetDlgCtrlID(control) & 0xFFFF},
            {"class", class_name(control)},
            {"text", window_text(control)},
            {"visible", IsWindowVisible(control) != 0},
            {"enabled", IsWindowEnabled(control) != 0},
            {"rect", rect_json(rect)}};
}

// The focus and active window of the thread that owns a window.
json thread_focus_json(HWND window)
{
    GUITHREADINFO info{};
    info.cbSize = sizeof info;
    if (!GetGUIThreadInfo(GetWindowThreadProcessId(window, nullptr), &info))
        return {{"focus", nullptr}, {"active", nullptr}};
    json focus = nullptr;
    if (info.hwndFocus) {
        focus = {{"hwnd", handle_json(info.hwndFocus)},
                 {"id", info.hwndFocus == window ? nullptr : json(GetDlgCtrlID(info.hwndFocus) & 0xFFFF)},
                 {"class", class_name(info.hwndFocus)},
                 {"text", window_text(info.hwndFocus)}};
    }
    return {{"focus", focus}, {"active", info.hwndActive ? handle_json(info.hwndActive) : json(nullptr)}};
}

std::optional<LRESULT> ask(HWND window, UINT message, WPARAM wparam, LPARAM lparam, UINT timeout_ms)
{
    DWORD_PTR result = 0;
    if (!SendMessageTimeoutW(window, message, wparam, lparam, SMTO_ABORTIFHUNG, timeout_ms, &result))
        return std::nullopt;
    return static_cast<LRESULT>(result);
}

json optional_json(const std::optional<LRESULT>& value)
{
    return value ? json(static_cast<long long>(static_cast<int>(*value))) : json(nullptr);
}

void print(const json& value);

// ---------------------------------------------------------------- actions

constexpr int kDialogControls[] = {IDC_PROGRESS_GROUP, IDC_PROGRESS_LINE1, IDC_PROGRESS_LINE2,
                                   IDC_PROGRESS_BAR,   IDC_INSTALL,        IDC_EXIT};

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

// A user can reach only what is shown and enabled, in a window that is
// itself enabled (a window that owns a modal box is not).
void require_usable(HWND control, const std::string& what, bool force)
{
    if (force)
        return;
    HWND top = GetAncestor(control, GA_ROOT);
    if (top && top != control && !IsWindowEnabled(top))
        throw Failure("the window of " + what +
                      " is disabled (is a modal box in front?): a user cannot reach it "
                      "(use --force to post anyway)");
    if (!IsWindowVisible(control))
        throw Failure(what + " is hidden: a user cannot reach it (use --force to post anyway)");
    if (!IsWindowEnabled(control))
        throw Failure(what + " is disabled: a user cannot reach it (use --force to post anyway)");
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
    if (!PostMessageW(window, WM_SYSCOMMAND, SC_CLOSE, 0))
        throw Failure("PostMessage failed: " + last_error_text(GetLastError()));
    return {{"hwnd", handle_json(window)}};
}

// ---------------------------------------------------------------- icons

struct Pixels {
    int width = 0;
    int height = 0;
    std::vector<std::uint32_t> rgb;  // 0x00RRGGBB, top row first
};

class Canvas {
public:
    Canvas(int width, int height) : width_(width), height_(height)
    {
        screen_ = GetDC(nullptr);
        dc_ = CreateCompatibleDC(screen_);
        BITMAPINFO info{};
        info.bmiHeader.biSize = sizeof info.bmiHeader;
        info.bmiHeader.biWidth = width;
        info.bmiHeader.biHeight = -height;
        info.bmiHeader.biPlanes = 1;
        info.bmiHeader.biBitCount = 32;
        info.bmiHeader.biCompression = BI_RGB;
        bitmap_ = CreateDIBSection(dc_, &info, DIB_RGB_COLORS, &bits_, nullptr, 0);
        if (!bitmap_)
            throw Failure("CreateDIBSection failed");
        old_ = SelectObject(dc_, bitmap_);
    }
    ~Canvas()
    {
        SelectObject(dc_, old_);
        DeleteObject(bitmap_);
        DeleteDC(dc_);
        ReleaseDC(nullptr, screen_);
    }
    Canvas(const Canvas&) = delete;
    Canvas& operator=(const Canvas&) = delete;

    void fill(std::uint32_t rgb)
    {
        HBRUSH brush = CreateSolidBrush(RGB((rgb >> 16) & 255, (rgb >> 8) & 255, rgb & 255));
        RECT all{0, 0, width_, height_};
        FillRect(dc_, &all, brush);
        DeleteObject(brush);
    }
    void draw_icon(HICON icon) { DrawIconEx(dc_, 0, 0, icon, width_, height_, 0, nullptr, DI_NORMAL); }
    void grab_screen(int left, int top) { BitBlt(dc_, 0, 0, width_, height_, screen_, left, top, SRCCOPY); }
    Pixels pixels()
    {
        GdiFlush();
        Pixels out{width_, height_, {}};
        auto* p = static_cast<const std::uint32_t*>(bits_);
        out.rgb.assign(p, p + static_cast<size_t>(width_) * static_cast<size_t>(height_));
        for (auto& value : out.rgb)
            value &= 0x00FFFFFF;
        return out;
    }

private:
    int width_, height_;
    HDC screen_ = nullptr;
    HDC dc_ = nullptr;
    HBITMAP bitmap_ = nullptr;
    HGDIOBJ old_ = nullptr;
    void* bits_ = nullptr;
};

Pixels icon_on(HICON icon, int width, int height, std::uint32_t background)
{
    Canvas canvas(width, height);
    canvas.fill(background);
    canvas.draw_icon(icon);
    return canvas.pixels();
}

struct IconVerdict {
    std::string kind;
    json mismatches;
};

// Compares what the screen shows in the icon static with each standard icon
// drawn here on the same background. Icon handles differ between processes,
// pixels do not.
IconVerdict classify_icon(HWND icon_static)
{
    if (!IsWindowVisible(icon_static))
        return {"none", json::object()};
    // A box without an icon keeps its icon static, empty. Whether it holds an
    // icon can be asked (the handle itself means nothing in this process).
    if (auto held = ask(icon_static, STM_GETICON, 0, 0, 500); held && *held == 0)
        return {"none", json::object()};
    RECT client{};
    GetClientRect(icon_static, &client);
    int width = client.right, height = client.bottom;
    if (width <= 0 || height <= 0)
        return {"none", json::object()};
    POINT origin{0, 0};
    ClientToScreen(icon_static, &origin);
    Canvas shot(width, height);
    shot.grab_screen(origin.x, origin.y);
    Pixels seen = shot.pixels();

    struct Candidate {
        const char* kind;
        LPCSTR id;
    };
    static const Candidate candidates[] = {{"hand", IDI_HAND},
                                           {"exclamation", IDI_EXCLAMATION},
                                           {"asterisk", IDI_ASTERISK},
                                           {"question", IDI_QUESTION}};
    IconVerdict verdict{"unknown", json::object()};
    for (const auto& candidate : candidates) {
        HICON icon = LoadIconA(nullptr, candidate.id);
        if (!icon)
            continue;
        // A pixel where the icon is fully transparent shows the background.
        Pixels on_black = icon_on(icon, width, height, 0x000000);
        Pixels on_white = icon_on(icon, width, height, 0xFFFFFF);
        std::uint32_t background = seen.rgb[0];
        for (size_t i = 0; i < seen.rgb.size(); ++i) {
            if (on_black.rgb[i] == 0x000000 && on_white.rgb[i] == 0xFFFFFF) {
                background = seen.rgb[i];
                break;
            }
        }
        Pixels expected = icon_on(icon, width, height, background);
        long long differing = 0;
        for (size_t i = 0; i < seen.rgb.size(); ++i)
            if (expected.rgb[i] != seen.rgb[i])
                ++differing;
        verdict.mismatches[candidate.kind] = differing;
        if (differing == 0)
            verdict.kind = candidate.kind;
    }
    return verdict;
}

// ---------------------------------------------------------------- message boxes

json buttons_json(HWND box)
{
    struct Shown {
        int left;
        json button;
    };
    std::vector<Shown> shown;
    for (int id : kBoxButtonIds) {
        HWND button = child_by_id(box, id);
        if (!button || !IsWindowVisible(button))
            continue;
        RECT rect{};
        GetWindowRect(button, &rect);
        shown.push_back(
            {rect.left, {{"id", id}, {"text", window_text(button)}, {"enabled", IsWindowEnabled(button) != 0}}});
    }
    // Left to right, as the user reads them.
    std::stable_sort(shown.begin(), shown.end(), [](const Shown& a, const Shown& b) { return a.left < b.left; });
    json out = json::array();
    for (auto& s : shown)
        out.push_back(s.button);
    return out;
}

json act_message_box(const Options& options)
{
    Target target = target_from(options, Kind::message_box);
    ULONGLONG elapsed = 0;
    HWND box = wait_for(target, static_cast<DWORD>(options.number("timeout", 10000)), &elapsed);

    HWND owner = GetWindow(box, GW_OWNER);
    json owner_json = 0;
    if (owner)
        owner_json = {{"hwnd", handle_json(owner)}, {"caption", window_text(owner)}, {"class", class_name(owner)}};

    // The box may not have painted its icon yet: look again until one
    // standard icon matches exactly or the time is up.
    IconVerdict icon;
    DWORD icon_timeout = static_cast<DWORD>(options.number("icon-timeout", 2000));
    ULONGLONG icon_start = GetTickCount64();
    for (;;) {
        icon = classify_icon(child_by_id(box, kBoxIconId));
        if (icon.kind != "unknown" || GetTickCount64() - icon_start >= icon_timeout)
            break;
        Sleep(kPollMs);
    }

    RECT rect{};
    GetWindowRect(box, &rect);
    json focus = thread_focus_json(box);
    return {{"hwnd", handle_json(box)},
            {"caption", window_text(box)},
            {"text", window_text(child_by_id(box, kBoxTextId))},
            {"owner", owner_json},
            {"owner_enabled", owner ? json(IsWindowEnabled(owner) != 0) : json(nullptr)},
            {"buttons", buttons_json(box)},
            {"icon", icon.kind},
            {"icon_mismatches", icon.mismatches},
            {"focus", focus["focus"]},
            {"pid", window_pid(box)},
            {"rect", rect_json(rect)},
            {"elapsed_ms", elapsed}};
}

json act_answer(const Options& options)
{
    HWND box = require_target(target_from(options, Kind::message_box));
    int id = static_cast<int>(options.number("id"));
    HWND button = child_by_id(box, id);
    if (!options.flag("force")) {
        if (!button)
            throw Failure("the message box has no button " + std::to_string(id));
        require_usable(button, "button " + std::to_string(id), false);
    }
    if (!PostMessageW(box, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(button)))
        throw Failure("PostMessage failed: " + last_error_text(GetLastError()));
    return {{"hwnd", handle_json(box)}, {"id", id}, {"text", button ? json(window_text(button)) : json(nullptr)}};
}

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

// ---------------------------------------------------------------- registry

struct KeyPath {
    HKEY root;
    std::wstring sub;
};

KeyPath parse_key(const std::string& text)
{
    static const std::pair<const char*, HKEY> roots[] = {
        {"HKLM", HKEY_LOCAL_MACHINE}, {"HKEY_LOCAL_MACHINE", HKEY_LOCAL_MACHINE},
        {"HKCU", HKEY_CURRENT_USER},  {"HKEY_CURRENT_USER", HKEY_CURRENT_USER},
        {"HKCR", HKEY_CLASSES_ROOT},  {"HKEY_CLASSES_ROOT", HKEY_CLASSES_ROOT},
        {"HKU", HKEY_USERS},          {"HKEY_USERS", HKEY_USERS},
    };
    size_t slash = text.find('\\');
    std::string root = text.substr(0, slash);
    for (const auto& [name, key] : roots) {
        if (_stricmp(root.c_str(), name) == 0)
            return {key, slash == std::string::npos ? std::wstring() : to_wide(text.substr(slash + 1))};
    }
    throw UsageError("--key must start with HKLM, HKCU, HKCR or HKU (or their long names): " + text);
}

REGSAM view_flag(const Options& options)
{
    std::string view = options.get("view", "");
    if (view.empty())
        return 0;
    if (view == "32")
        return KEY_WOW64_32KEY;
    if (view == "64")
        return KEY_WOW64_64KEY;
    throw UsageError("--view is 32 or 64");
}

const char* type_name(DWORD type)
{
    switch (type) {
    case REG_NONE:
        return "REG_NONE";
    case REG_SZ:
        return "REG_SZ";
    case REG_EXPAND_SZ:
        return "REG_EXPAND_SZ";
    case REG_BINARY:
        return "REG_BINARY";
    case REG_DWORD:
        return "REG_DWORD";
    case REG_DWORD_BIG_ENDIAN:
        return "REG_DWORD_BIG_ENDIAN";
    case REG_LINK:
        return "REG_LINK";
    case REG_MULTI_SZ:
        return "REG_MULTI_SZ";
    case REG_QWORD:
        return "REG_QWORD";
    default:
        return "unknown";
    }
}

std::wstring wide_from_bytes(const std::vector<unsigned char>& data)
{
    std::wstring text(data.size() / sizeof(wchar_t), L'\0');
    if (!text.empty())
        std::memcpy(text.data(), data.data(), text.size() * sizeof(wchar_t));
    return text;
}

json value_json(const std::wstring& name, DWORD type, const std::vector<unsigned char>& data)
{
    json out = {{"name", to_utf8(name)}, {"type", type_name(type)}, {"type_code", type}, {"size", data.size()}};
    switch (type) {
    case REG_SZ:
    case REG_EXPAND_SZ: {
        std::wstring text = wide_from_bytes(data);
        // The stored size includes the terminating NUL; a value written
        // without one is shown as it is.
        out["terminated"] = !text.empty() && text.back() == L'\0';
        while (!text.empty() && text.back() == L'\0')
            text.pop_back();
        out["data"] = to_utf8(text);
        break;
    }
    case REG_MULTI_SZ: {
        std::wstring text = wide_from_bytes(data);
        json list = json::array();
        size_t begin = 0;
        while (begin < text.size()) {
            size_t end = text.find(L'\0', begin);
            if (end == std::wstring::npos)
                end = text.size();
            if (end == begin && end + 1 >= text.size())
                break;  // the closing empty string
            list.push_back(to_utf8(text.substr(begin, end - begin)));
            begin = end + 1;
        }
        out["data"] = list;
        break;
    }
    case REG_DWORD:
        if (data.size() == 4) {
            std::uint32_t v;
            std::memcpy(&v, data.data(), 4);
            out["data"] = v;
        } else {
            out["data"] = hex_bytes(data.data(), data.size());
        }
        break;
    case REG_QWORD:
        if (data.size() == 8) {
            std::uint64_t v;
            std::memcpy(&v, data.data(), 8);
            out["data"] = v;
        } else {
            out["data"] = hex_bytes(data.data(), data.size());
        }
        break;
    default:
        out["data"] = hex_bytes(data.data(), data.size());
    }
    return out;
}

json act_reg_get(const Options& options)
{
    std::string key_text = options.get("key");
    KeyPath path = parse_key(key_text);
    HKEY key;
    LONG status = RegOpenKeyExW(path.root, path.sub.c_str(), 0, KEY_READ | view_flag(options), &key);
    if (status == ERROR_FILE_NOT_FOUND)
        return {{"key", key_text}, {"exists", false}};
    if (status != ERROR_SUCCESS)
        throw Failure("cannot open " + key_text + ": " + last_error_text(status));

    json out = {{"key", key_text}};
    if (options.has("value")) {
        std::wstring name = to_wide(options.get("value"));
        DWORD type = 0, size = 0;
        status = RegQueryValueExW(key, name.c_str(), nullptr, &type, nullptr, &size);
        if (status == ERROR_FILE_NOT_FOUND) {
            RegCloseKey(key);
            out["exists"] = false;
            out["key_exists"] = true;
            return out;
        }
        std::vector<unsigned char> data(size);
        if (status == ERROR_SUCCESS)
            status = RegQueryValueExW(key, name.c_str(), nullptr, &type, data.data(), &size);
        RegCloseKey(key);
        if (status != ERROR_SUCCESS)
            throw Failure("cannot read " + options.get("value") + ": " + last_error_text(status));
        data.resize(size);
        out.update(value_json(name, type, data));
        out["exists"] = true;
        return out;
    }

    json values = json::array();
    for (DWORD i = 0;; ++i) {
        wchar_t name[16384];
        DWORD name_length = 16384, type = 0, size = 0;
        status = RegEnumValueW(key, i, name, &name_length, nullptr, &type, nullptr, &size);
        if (status != ERROR_SUCCESS)
            break;
        std::vector<unsigned char> data(size);
        name_length = 16384;
        if (RegEnumValueW(key, i, name, &name_length, nullptr, &type, data.data(), &size) != ERROR_SUCCESS)
            break;
        data.resize(size);
        values.push_back(value_json(std::wstring(name, name_length), type, data));
    }
    json subkeys = json::array();
    for (DWORD i = 0;; ++i) {
        wchar_t name[256];
        DWORD name_length = 256;
        if (RegEnumKeyExW(key, i, name, &name_length, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS)
            break;
        subkeys.push_back(to_utf8(std::wstring(name, name_length)));
    }
    RegCloseKey(key);
    out["exists"] = true;
    out["values"] = values;
    out["subkeys"] = subkeys;
    return out;
}

json act_reg_set(const Options& options)
{
    std::string key_text = options.get("key");
    KeyPath path = parse_key(key_text);
    std::wstring name = to_wide(options.get("value", ""));
    std::string type_text = options.get("type", "sz");
    std::vector<unsigned char> data;
    DWORD type;
    auto append_wide = [&](const std::wstring& text) {
        const auto* bytes = reinterpret_cast<const unsigned char*>(text.c_str());
        data.insert(data.end(), bytes, bytes + (text.size() + 1) * sizeof(wchar_t));
    };
    if (type_text == "sz" || type_text == "expand_sz") {
        type = type_text == "sz" ? REG_SZ : REG_EXPAND_SZ;
        append_wide(to_wide(options.get("data")));
    } else if (type_text == "multi_sz") {
        type = REG_MULTI_SZ;
        for (const auto& item : options.all("data"))
            append_wide(to_wide(item));
        append_wide(L"");
    } else if (type_text == "dword") {
        type = REG_DWORD;
        auto v = static_cast<std::uint32_t>(Options::parse_number("data", options.get("data")));
        data.resize(4);
        std::memcpy(data.data(), &v, 4);
    } else if (type_text == "qword") {
        type = REG_QWORD;
        auto v = static_cast<std::uint64_t>(Options::parse_number("data", options.get("data")));
        data.resize(8);
        std::memcpy(data.data(), &v, 8);
    } else if (type_text == "binary") {
        type = REG_BINARY;
        data = parse_hex(options.get("data", ""));
    } else {
        throw UsageError("--type is sz, expand_sz, multi_sz, dword, qword or binary");
    }
    HKEY key;
    LONG status = RegCreateKeyExW(path.root, path.sub.c_str(), 0, nullptr, 0, KEY_WRITE | view_flag(options), nullptr,
                                  &key, nullptr);
    if (status != ERROR_SUCCESS)
        throw Failure("cannot create " + key_text + ": " + last_error_text(status));
    status = RegSetValueExW(key, name.c_str(), 0, type, data.data(), static_cast<DWORD>(data.size()));
    RegCloseKey(key);
    if (status != ERROR_SUCCESS)
        throw Failure("cannot write the value: " + last_error_text(status));
    return {{"key", key_text}, {"value", to_utf8(name)}, {"type", type_name(type)}, {"size", data.size()}};
}

json act_reg_delete(const Options& options)
{
    std::string key_text = options.get("key");
    KeyPath path = parse_key(key_text);
    REGSAM view = view_flag(options);
    if (options.has("value")) {
        HKEY key;
        LONG status = RegOpenKeyExW(path.root, path.sub.c_str(), 0, KEY_SET_VALUE | view, &key);
        if (status == ERROR_FILE_NOT_FOUND)
            return {{"key", key_text}, {"existed", false}};
        if (status != ERROR_SUCCESS)
            throw Failure("cannot open " + key_text + ": " + last_error_text(status));
        status = RegDeleteValueW(key, to_wide(options.get("value")).c_str());
        RegCloseKey(key);
        if (status == ERROR_FILE_NOT_FOUND)
            return {{"key", key_text}, {"existed", false}};
        if (status != ERROR_SUCCESS)
            throw Failure("cannot delete the value: " + last_error_text(status));
        return {{"key", key_text}, {"existed", true}};
    }
    if (path.sub.empty())
        throw UsageError("will not delete a root key");
    HKEY key;
    LONG status = RegOpenKeyExW(path.root, path.sub.c_str(), 0, KEY_ALL_ACCESS | view, &key);
    if (status == ERROR_FILE_NOT_FOUND)
        return {{"key", key_text}, {"existed", false}};
    if (status != ERROR_SUCCESS)
        throw Failure("cannot open " + key_text + ": " + last_error_text(status));
    status = RegDeleteTreeW(key, nullptr);
    RegCloseKey(key);
    if (status == ERROR_SUCCESS)
        status = RegDeleteKeyExW(path.root, path.sub.c_str(), view, 0);
    if (status != ERROR_SUCCESS)
        throw Failure("cannot delete " + key_text + ": " + last_error_text(status));
    return {{"key", key_text}, {"existed", true}};
}

// ---------------------------------------------------------------- files and processes

json filetime_json(const FILETIME& utc)
{
    SYSTEMTIME st{};
    FileTimeToSystemTime(&utc, &st);
    char text[32];
    std::snprintf(text, sizeof text, "%04u-%02u-%02uT%02u:%02u:%02uZ", st.wYear, st.wMonth, st.wDay, st.wHour,
                  st.wMinute, st.wSecond);
    WORD dos_date = 0, dos_time = 0;
    FILETIME local{};
    FileTimeToLocalFileTime(&utc, &local);
    FileTimeToDosDateTime(&local, &dos_date, &dos_time);
    return {{"utc", text}, {"dos_date", dos_date}, {"dos_time", dos_time}};
}

json act_file_info(const Options& options)
{
    std::string path = options.get("path");
    WIN32_FILE_ATTRIBUTE_DATA data{};
    if (!GetFileAttributesExW(to_wide(path).c_str(), GetFileExInfoStandard, &data)) {
        DWORD error = GetLastError();
        return {{"path", path}, {"exists", false}, {"error", error}};
    }
    // The 8.3 form, as a program that asks for it gets it.
    wchar_t short_path[MAX_PATH * 2] = {};
    DWORD short_length = GetShortPathNameW(to_wide(path).c_str(), short_path, MAX_PATH * 2);
    return {{"path", path},
            {"exists", true},
            {"short_path", short_length ? json(to_utf8(short_path)) : json(nullptr)},
            {"directory", (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0},
            {"readonly", (data.dwFileAttributes & FILE_ATTRIBUTE_READONLY) != 0},
            {"attributes", data.dwFileAttributes},
            {"size", (static_cast<std::uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow},
            {"last_write", filetime_json(data.ftLastWriteTime)}};
}

std::wstring quote_argument(const std::wstring& arg)
{
    if (!arg.empty() && arg.find_first_of(L" \t\"") == std::wstring::npos)
        return arg;
    std::wstring out = L"\"";
    size_t backslashes = 0;
    for (wchar_t c : arg) {
        if (c == L'\\') {
            ++backslashes;
        } else if (c == L'"') {
            out.append(backslashes * 2 + 1, L'\\');
            out += c;
            backslashes = 0;
        } else {
            out.append(backslashes, L'\\');
            out += c;
            backslashes = 0;
        }
    }
    out.append(backslashes * 2, L'\\');
    return out + L"\"";
}

// Starts a program that outlives the driver. It gets no handles of ours, so
// the driver's output ends when the driver does.
json act_spawn(const Options& options)
{
    const auto& rest = options.rest();
    if (rest.empty())
        throw UsageError("spawn needs a program");
    std::wstring command_line;
    for (const auto& arg : rest) {
        if (!command_line.empty())
            command_line += L' ';
        command_line += quote_argument(to_wide(arg));
    }
    std::wstring directory = to_wide(options.get("cwd", ""));
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    PROCESS_INFORMATION process{};
    if (!CreateProcessW(nullptr, command_line.data(), nullptr, nullptr, FALSE, DETACHED_PROCESS, nullptr,
                        directory.empty() ? nullptr : directory.c_str(), &startup, &process))
        throw Failure("cannot start " + rest[0] + ": " + last_error_text(GetLastError()));
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return {{"pid", process.dwProcessId}, {"command_line", to_utf8(command_line)}};
}

json act_kill(const Options& options)
{
    DWORD pid = static_cast<DWORD>(options.number("pid"));
    HANDLE process = OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, pid);
    if (!process)
        throw Failure("no process " + std::to_string(pid) + ": " + last_error_text(GetLastError()));
    UINT code = static_cast<UINT>(options.number("exit-code", 1));
    BOOL done = TerminateProcess(process, code);
    DWORD error = GetLastError();
    if (done)
        WaitForSingleObject(process, 5000);
    CloseHandle(process);
    if (!done)
        throw Failure("cannot end process " + std::to_string(pid) + ": " + last_error_text(error));
    return {{"pid", pid}, {"exit_code", code}};
}

json act_wait_exit(const Options& options)
{
    DWORD pid = static_cast<DWORD>(options.number("pid"));
    HANDLE process = OpenProcess(SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION, FALSE, pid);
    if (!process)
        throw Failure("no process " + std::to_string(pid) + ": " + last_error_text(GetLastError()));
    DWORD timeout = static_cast<DWORD>(options.number("timeout", 10000));
    DWORD waited = WaitForSingleObject(process, timeout);
    DWORD code = 0;
    GetExitCodeProcess(process, &code);
    CloseHandle(process);
    if (waited != WAIT_OBJECT_0)
        throw Failure("process " + std::to_string(pid) + " still runs after " + std::to_string(timeout) + " ms");
    return {{"pid", pid}, {"exit_code", code}};
}

// ---------------------------------------------------------------- main

const char kUsage[] =
    "usage: kit_driver ACTION [options]\n"
    "  wait-window  --caption T [--class C] [--timeout MS]\n"
    "  wait-gone    --caption T [--class C] [--timeout MS]\n"
    "  dialog-state --caption T [--bar] [--bar-timeout MS]\n"
    "  press        --caption T --id N [--via click|command] [--force]\n"
    "  key          --caption T --key enter|escape|space|tab [--force]\n"
    "  close        --caption T [--force]\n"
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
    "Windows may be given by --hwnd N instead of --caption.\n";

void print(const json& value)
{
    std::printf("%s\n", value.dump(-1, ' ', false, json::error_handler_t::replace).c_str());
    std::fflush(stdout);
}

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
    };
    if (action == "watch")
        return act_watch(options);
    if (action == "record")
        return act_record(options);
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
