// message_recorder.dll: a hook procedure that records what windows are told
// to show. kit_driver's `record` action installs it for the whole desktop;
// the system then loads this DLL into every program that handles a message,
// the kit included, and calls RecordMessage after each window procedure.
//
// Recorded, after the window has handled it: WM_SETTEXT (with the window's
// new text), PBM_SETRANGE and PBM_SETPOS (with the bar's range and position).
// One JSON object per line is appended to C:\upkit-e2e-messages.jsonl of the
// prefix. Unlike polling, this sees every change however briefly it lasts.
//
// Plain Win32 calls only, and nothing that waits: the recorded program goes
// on as before, a file append slower per message.

// <windows.h> comes before every other Windows header.
#include <windows.h>

#include <commctrl.h>

namespace {

const char kOutput[] = "C:\\upkit-e2e-messages.jsonl";

struct Line {
    char text[2048];
    int length = 0;

    void add(const char* s)
    {
        while (*s && length < static_cast<int>(sizeof text) - 1)
            text[length++] = *s++;
    }
    void add_number(unsigned long long value, bool negative = false)
    {
        char digits[24];
        int n = 0;
        do {
            digits[n++] = static_cast<char>('0' + value % 10);
            value /= 10;
        } while (value);
        if (negative)
            add("-");
        while (n) {
            char one[2] = {digits[--n], 0};
            add(one);
        }
    }
    void add_signed(long long value)
    {
        add_number(value < 0 ? 0ULL - static_cast<unsigned long long>(value) : static_cast<unsigned long long>(value),
                   value < 0);
    }
    // A JSON string from UTF-16 text.
    void add_string(const wchar_t* s)
    {
        char utf8[1200];
        int size = WideCharToMultiByte(CP_UTF8, 0, s, -1, utf8, sizeof utf8, nullptr, nullptr);
        if (size <= 0)
            utf8[0] = 0;
        add("\"");
        for (const char* p = utf8; *p; ++p) {
            unsigned char c = static_cast<unsigned char>(*p);
            if (c == '"' || c == '\\') {
                char escaped[3] = {'\\', static_cast<char>(c), 0};
                add(escaped);
            } else if (c < 0x20) {
                static const char hex[] = "0123456789abcdef";
                char escaped[7] = {'\\', 'u', '0', '0', hex[c >> 4], hex[c & 15], 0};
                add(escaped);
            } else {
                char one[2] = {static_cast<char>(c), 0};
                add(one);
            }
        }
        add("\"");
    }
};

void append(const Line& line)
{
    HANDLE file = CreateFileA(kOutput, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return;
    DWORD written;
    WriteFile(file, line.text, static_cast<DWORD>(line.length), &written, nullptr);
    CloseHandle(file);
}

void record(const CWPRETSTRUCT& message)
{
    Line line;
    line.add("{\"t_ms\": ");
    line.add_number(GetTickCount());
    line.add(", \"pid\": ");
    line.add_number(GetCurrentProcessId());
    line.add(", \"hwnd\": ");
    line.add_number(reinterpret_cast<ULONG_PTR>(message.hwnd));
    // A child's parent; 0 for a top-level window (GetParent would give its
    // owner).
    const bool child = (GetWindowLongW(message.hwnd, GWL_STYLE) & WS_CHILD) != 0;
    line.add(", \"parent\": ");
    line.add_number(child ? reinterpret_cast<ULONG_PTR>(GetAncestor(message.hwnd, GA_PARENT)) : 0);
    line.add(", \"id\": ");
    line.add_number(static_cast<unsigned>(GetDlgCtrlID(message.hwnd)) & 0xFFFF);
    if (message.message == WM_SETTEXT) {
        wchar_t text[512] = {};
        GetWindowTextW(message.hwnd, text, 512);
        line.add(", \"kind\": \"text\", \"text\": ");
        line.add_string(text);
    } else {
        // Asked in this process, on the window's own thread: answered at once.
        line.add(message.message == PBM_SETRANGE ? ", \"kind\": \"range\"" : ", \"kind\": \"pos\"");
        line.add(", \"low\": ");
        line.add_signed(static_cast<int>(SendMessageW(message.hwnd, PBM_GETRANGE, TRUE, 0)));
        line.add(", \"high\": ");
        line.add_signed(static_cast<int>(SendMessageW(message.hwnd, PBM_GETRANGE, FALSE, 0)));
        line.add(", \"pos\": ");
        line.add_signed(static_cast<int>(SendMessageW(message.hwnd, PBM_GETPOS, 0, 0)));
    }
    line.add("}\r\n");
    append(line);
}

}  // namespace

extern "C" __declspec(dllexport) LRESULT CALLBACK RecordMessage(int code, WPARAM wparam, LPARAM lparam)
{
    if (code == HC_ACTION) {
        const CWPRETSTRUCT& message = *reinterpret_cast<const CWPRETSTRUCT*>(lparam);
        if (message.message == WM_SETTEXT || message.message == PBM_SETRANGE || message.message == PBM_SETPOS)
            record(message);
    }
    return CallNextHookEx(nullptr, code, wparam, lparam);
}
