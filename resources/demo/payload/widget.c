/* Widget: the demo kit's product. One top-level window of class
   BrightfieldWidget (BrightfieldWidgetMonitor when built with MONITOR) that
   shows the program's version, WIDGET_VERSION.

   An optional command-line argument gives a number of seconds after which
   the program closes by itself. */
#include <stdlib.h>
#include <windows.h>

#ifndef WIDGET_VERSION
#error "build with -DWIDGET_VERSION=\"x.y\""
#endif

#ifdef MONITOR
#define WIDGET_CLASS "BrightfieldWidgetMonitor"
#define WIDGET_NAME "Widget Monitor"
#else
#define WIDGET_CLASS "BrightfieldWidget"
#define WIDGET_NAME "Widget"
#endif

#define CLOSE_TIMER 1

static const char kText[] = WIDGET_NAME " " WIDGET_VERSION;

static LRESULT CALLBACK WidgetProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_PAINT: {
        PAINTSTRUCT paint;
        RECT client;
        HDC dc = BeginPaint(window, &paint);
        GetClientRect(window, &client);
        SetBkMode(dc, TRANSPARENT);
        DrawTextA(dc, kText, -1, &client, DT_CENTER | DT_VCENTER | DT_SINGLELINE);
        EndPaint(window, &paint);
        return 0;
    }
    case WM_TIMER:
        if (wParam == CLOSE_TIMER)
            DestroyWindow(window);
        return 0;
    case WM_DESTROY:
        PostQuitMessage(0);
        return 0;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

int WINAPI WinMain(HINSTANCE instance, HINSTANCE previous, LPSTR commandLine, int show)
{
    WNDCLASSA windowClass;
    HWND window;
    MSG message;
    int seconds;

    (void)previous;
    ZeroMemory(&windowClass, sizeof windowClass);
    windowClass.lpfnWndProc = WidgetProc;
    windowClass.hInstance = instance;
    windowClass.hCursor = LoadCursorA(NULL, (LPCSTR)IDC_ARROW);
    windowClass.hbrBackground = (HBRUSH)(COLOR_WINDOW + 1);
    windowClass.lpszClassName = WIDGET_CLASS;
    if (!RegisterClassA(&windowClass))
        return 1;

    window = CreateWindowA(WIDGET_CLASS, kText, WS_OVERLAPPEDWINDOW, CW_USEDEFAULT, CW_USEDEFAULT, 320, 160, NULL,
                           NULL, instance, NULL);
    if (!window)
        return 1;
    seconds = atoi(commandLine);
    if (seconds > 0)
        SetTimer(window, CLOSE_TIMER, (UINT)seconds * 1000, NULL);
    ShowWindow(window, show);
    UpdateWindow(window);

    while (GetMessageA(&message, NULL, 0, 0) > 0) {
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
    return (int)message.wParam;
}
