// What the kit driver's actions share: errors, text conversion, the command
// line's options, and finding and describing windows.
#pragma once

// <windows.h> comes before every other Windows header.
#include <windows.h>

#include <nlohmann/json.hpp>

#include <cstddef>
#include <cstdint>
#include <map>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

namespace kit_driver {

using json = nlohmann::json;

// Message boxes: the text static and the icon static.
constexpr int kBoxTextId = 0xFFFF;
constexpr int kBoxIconId = 0x440;
// Every button a message box may show, in id order.
constexpr int kBoxButtonIds[] = {IDOK, IDCANCEL, IDABORT, IDRETRY, IDIGNORE, IDYES, IDNO, 10, 11, 9};
constexpr DWORD kPollMs = 20;

// An action that could not be done: exit status 1, the JSON carries "error".
struct Failure : std::runtime_error {
    using std::runtime_error::runtime_error;
};
// A command line the action cannot take: exit status 2.
struct UsageError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

// ---------------------------------------------------------------- text

std::string to_utf8(const std::wstring& text);
std::wstring to_wide(const std::string& text);
std::string hex_bytes(const unsigned char* data, size_t size);
std::vector<unsigned char> parse_hex(const std::string& text);
// "error 5 (Access denied.)"
std::string last_error_text(DWORD code);

// One JSON object as one line on stdout, flushed at once: the caller may be
// reading while the action goes on.
void print(const json& value);

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
    static bool is_flag(const std::string& name)
    {
        return name == "bar" || name == "all" || name == "force" || name == "hidden" || name == "allow-idle" ||
               name == "wait-exit";
    }
    std::map<std::string, std::vector<std::string>> values_;
    std::vector<std::string> flags_;
    std::vector<std::string> rest_;
};

// ---------------------------------------------------------------- windows

json handle_json(HWND window);
std::string window_text(HWND window);
std::string class_name(HWND window);
json rect_json(const RECT& r);
DWORD window_pid(HWND window);
std::vector<HWND> top_windows();
// Direct children of a window, in z-order (for dialogs: template order).
std::vector<HWND> children(HWND parent);
// Control ids are compared as 16-bit values: a template's -1 and 0xFFFF are
// the same control id.
HWND child_by_id(HWND parent, int id);
bool is_message_box(HWND window);

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

    std::string describe() const;
};

Target target_from(const Options& options, Kind kind);
bool matches(const Target& target, HWND window, bool need_visible);
HWND find_target(const Target& target, bool need_visible = true);
HWND require_target(const Target& target);
// Polls every kPollMs until the window exists and is visible.
HWND wait_for(const Target& target, DWORD timeout_ms, ULONGLONG* elapsed = nullptr);
json window_json(HWND window);
json control_json(HWND control);
// The focus and active window of the thread that owns a window.
json thread_focus_json(HWND window);
// A message whose answer is needed, sent so that a busy window makes it wait
// no longer than the timeout: nullopt then.
std::optional<LRESULT> ask(HWND window, UINT message, WPARAM wparam, LPARAM lparam, UINT timeout_ms);
json optional_json(const std::optional<LRESULT>& value);
// Fails unless a user could reach the control: shown and enabled, in a window
// that is enabled itself (a window that owns a modal box is not). With
// `force`, anything goes.
void require_usable(HWND control, const std::string& what, bool force);

}  // namespace kit_driver
