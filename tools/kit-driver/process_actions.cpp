// Files and processes as a program in the prefix sees them: a file's
// attributes and times, starting, ending and waiting for programs.
#include "driver_support.h"

#include <cstdio>

#include "driver_actions.h"

namespace kit_driver {

namespace {

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

}  // namespace

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

namespace {

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

}  // namespace

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
    DWORD code = wait_for_exit(process, timeout, "process " + std::to_string(pid));
    return {{"pid", pid}, {"exit_code", code}};
}

DWORD wait_for_exit(HANDLE process, DWORD timeout, const std::string& what)
{
    DWORD waited = WaitForSingleObject(process, timeout);
    DWORD code = 0;
    GetExitCodeProcess(process, &code);
    CloseHandle(process);
    if (waited != WAIT_OBJECT_0)
        throw Failure(what + " still runs after " + std::to_string(timeout) + " ms");
    return code;
}

}  // namespace kit_driver
