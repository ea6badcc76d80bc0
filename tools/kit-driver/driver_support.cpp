#include "driver_support.h"

#include <cstdio>

namespace kit_driver {

namespace {

// An enumeration callback has the system's calling convention (stdcall on
// 32-bit Windows), which a lambda cannot be given.
BOOL CALLBACK add_top_window(HWND window, LPARAM context)
{
    reinterpret_cast<std::vector<HWND>*>(context)->push_back(window);
    return TRUE;
}

}  // namespace

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

std::string Target::describe() const
{
    std::string what = kind == Kind::message_box ? "message box" : kind == Kind::dialog ? "dialog" : "window";
    if (hwnd)
        return what + " " + std::to_string(reinterpret_cast<std::uintptr_t>(*hwnd));
    return what + " '" + caption + "'" + (window_class ? " of class '" + *window_class + "'" : "");
}

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

HWND find_target(const Target& target, bool need_visible)
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
HWND wait_for(const Target& target, DWORD timeout_ms, ULONGLONG* elapsed)
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

void print(const json& value)
{
    std::printf("%s\n", value.dump(-1, ' ', false, json::error_handler_t::replace).c_str());
    std::fflush(stdout);
}

}  // namespace kit_driver
