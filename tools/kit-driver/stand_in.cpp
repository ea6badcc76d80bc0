// A stand-in for a running program: one top-level window of a given class
// (and title), shown or hidden, whose process holds files mapped as program
// images, as a running program holds its own file and its DLLs. Such a file
// cannot be deleted while the stand-in runs: a kit replaces it at the next
// restart. The process ends when its window is closed, and when the session
// ends, as programs with windows do.
#include "driver_support.h"

#include "driver_actions.h"

#ifndef LOAD_LIBRARY_AS_IMAGE_RESOURCE
#define LOAD_LIBRARY_AS_IMAGE_RESOURCE 0x00000020
#endif

namespace kit_driver {

namespace {

LRESULT CALLBACK stand_in_procedure(HWND window, UINT message, WPARAM wparam, LPARAM lparam)
{
    if (message == WM_DESTROY) {
        PostQuitMessage(0);
        return 0;
    }
    return DefWindowProcW(window, message, wparam, lparam);
}

// Maps a file the way the loader maps a program: as an image. Any program or
// DLL maps so, whatever its processor; its code is neither run nor bound.
void map_as_image(const std::string& path)
{
    const std::wstring wide = to_wide(path);
    if (LoadLibraryExW(wide.c_str(), nullptr, LOAD_LIBRARY_AS_IMAGE_RESOURCE))
        return;
    const DWORD error = GetLastError();
    if (LoadLibraryExW(wide.c_str(), nullptr, DONT_RESOLVE_DLL_REFERENCES))
        return;
    throw Failure("cannot hold " + path +
                  " as a program in use (it must be a program or DLL): " + last_error_text(error));
}

}  // namespace

int act_stand_in(const Options& options)
{
    const std::wstring window_class = to_wide(options.get("class", "UpkitStandIn"));
    const std::wstring title = to_wide(options.get("title", ""));
    const std::vector<std::string> mapped = options.all("map");
    for (const std::string& path : mapped)
        map_as_image(path);

    HINSTANCE instance = GetModuleHandleW(nullptr);
    WNDCLASSW description{};
    description.lpfnWndProc = stand_in_procedure;
    description.hInstance = instance;
    description.hCursor = LoadCursorW(nullptr, MAKEINTRESOURCEW(32512));
    description.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
    description.lpszClassName = window_class.c_str();
    if (!RegisterClassW(&description))
        throw Failure("cannot register the window class: " + last_error_text(GetLastError()));
    HWND window = CreateWindowW(window_class.c_str(), title.c_str(), WS_OVERLAPPEDWINDOW, 40, 40, 320, 200, nullptr,
                                nullptr, instance, nullptr);
    if (!window)
        throw Failure("cannot create the window: " + last_error_text(GetLastError()));
    if (!options.flag("hidden"))
        ShowWindow(window, SW_SHOWNORMAL);
    // The caller waits for this line: from here on the window is there and
    // the files are held.
    print({{"hwnd", handle_json(window)}, {"class", to_utf8(window_class)}, {"mapped", mapped}});

    MSG message;
    while (GetMessageW(&message, nullptr, 0, 0) > 0) {
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
    return 0;
}

}  // namespace kit_driver
