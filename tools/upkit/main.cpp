#include <iostream>

#include "interruption.h"
#include "upkit_cli.h"

#ifdef _WIN32
#include <io.h>
#include <windows.h>
#else
#include <sys/ioctl.h>
#include <unistd.h>
#endif

namespace {

// Whether stderr is a terminal, and its width, for the progress line.
upkit::Console stderr_console()
{
    upkit::Console console;
#ifdef _WIN32
    console.err_is_terminal = _isatty(_fileno(stderr)) != 0;
    CONSOLE_SCREEN_BUFFER_INFO info;
    if (console.err_is_terminal && GetConsoleScreenBufferInfo(GetStdHandle(STD_ERROR_HANDLE), &info))
        console.width = info.srWindow.Right - info.srWindow.Left + 1;
#else
    console.err_is_terminal = ::isatty(STDERR_FILENO) != 0;
    struct winsize size { };
    if (console.err_is_terminal && ::ioctl(STDERR_FILENO, TIOCGWINSZ, &size) == 0 && size.ws_col > 0)
        console.width = size.ws_col;
#endif
    return console;
}

}  // namespace

int main(int argc, char** argv)
{
#ifdef _WIN32
    // Member names are printed in UTF-8: have the console show them so, and
    // give it back its code page afterwards.
    const UINT console_code_page = GetConsoleOutputCP();
    SetConsoleOutputCP(CP_UTF8);
    const int status = run_upkit(argc, argv, std::cout, std::cerr, stderr_console());
    if (console_code_page != 0)
        SetConsoleOutputCP(console_code_page);
#else
    const int status = run_upkit(argc, argv, std::cout, std::cerr, stderr_console());
#endif
    // A command that caught Ctrl-C or SIGTERM has cleaned up: end as the
    // signal would have ended it.
    std::cout.flush();
    upkit::end_by_caught_signal();
    return status;
}
