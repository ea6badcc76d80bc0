// Message boxes: reading one (caption, text, owner, buttons and which standard
// icon it shows) and answering it.
#include "driver_support.h"

#include <algorithm>

#include "driver_actions.h"

namespace kit_driver {

namespace {

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

}  // namespace

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

}  // namespace kit_driver
