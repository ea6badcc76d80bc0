// A stand-in for a running program: one visible (or --hidden) top-level
// window of the given class and title. It ends when the window is closed,
// with --exit-code (default 0). --hold keeps a file open for reading all the
// while, shared for reading and writing but not for deletion, as a program
// that has its document open does (exit code 5 when it cannot be opened).
//
//   window_standin --class CLASS [--title TITLE] [--hidden] [--exit-code N] [--hold PATH]
#include <windows.h>

#include <cstdlib>
#include <cstring>

namespace {

int exit_code = 0;

LRESULT CALLBACK window_proc(HWND window, UINT message, WPARAM wparam, LPARAM lparam)
{
    if (message == WM_DESTROY) {
        PostQuitMessage(exit_code);
        return 0;
    }
    return DefWindowProcA(window, message, wparam, lparam);
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int)
{
    const char* class_name = nullptr;
    const char* title = "";
    const char* held_path = nullptr;
    bool hidden = false;
    for (int i = 1; i < __argc; ++i) {
        const char* name = __argv[i];
        if (!std::strcmp(name, "--hidden")) {
            hidden = true;
            continue;
        }
        if (i + 1 >= __argc)
            return 2;
        const char* value = __argv[++i];
        if (!std::strcmp(name, "--class"))
            class_name = value;
        else if (!std::strcmp(name, "--title"))
            title = value;
        else if (!std::strcmp(name, "--exit-code"))
            exit_code = std::atoi(value);
        else if (!std::strcmp(name, "--hold"))
            held_path = value;
        else
            return 2;
    }
    if (!class_name)
        return 2;
    HANDLE held = INVALID_HANDLE_VALUE;
    if (held_path) {
        held = CreateFileA(held_path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
        if (held == INVALID_HANDLE_VALUE)
            return 5;
    }

    WNDCLASSA window_class{};
    window_class.lpfnWndProc = window_proc;
    window_class.hInstance = instance;
    window_class.hCursor = LoadCursorA(nullptr, MAKEINTRESOURCEA(32512));
    window_class.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
    window_class.lpszClassName = class_name;
    if (!RegisterClassA(&window_class))
        return 3;
    HWND window =
        CreateWindowA(class_name, title, WS_OVERLAPPEDWINDOW, 20, 20, 320, 200, nullptr, nullptr, instance, nullptr);
    if (!window)
        return 4;
    if (!hidden)
        ShowWindow(window, SW_SHOWNORMAL);

    MSG message;
    while (GetMessageA(&message, nullptr, 0, 0) > 0) {
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
    if (held != INVALID_HANDLE_VALUE)
        CloseHandle(held);
    return static_cast<int>(message.wParam);
}
