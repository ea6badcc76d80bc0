// POSIX implementation of the Win32 subset declared in native_win32.h.
//
// Paths: both '\' and '/' separate components, a leading separator makes a
// path absolute, and "." / ".." / doubled separators are resolved lexically
// before anything touches the file system, as Windows does. What reaches the
// POSIX calls is the resolved path with '/' separators.
//
// Handles: a HANDLE or HFILE is the file descriptor itself.
//
// Errors: a failing call stores a Win32 error code in a thread-local "last
// error", translated from errno where the failure came from the system.

#include "native_win32.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <limits>
#include <string>
#include <string_view>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {

thread_local DWORD t_last_error = ERROR_SUCCESS;

// ---- errors -----------------------------------------------------------------

BOOL fail(DWORD code)
{
    t_last_error = code;
    return FALSE;
}

bool is_directory(const std::string& posix_path)
{
    struct stat st;
    return ::stat(posix_path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

// The directory holding the last component of a '/'-separated path.
std::string parent_of(const std::string& posix_path)
{
    std::string p = posix_path;
    while (p.size() > 1 && p.back() == '/')
        p.pop_back();
    const auto slash = p.rfind('/');
    if (slash == std::string::npos)
        return ".";
    if (slash == 0)
        return "/";
    return p.substr(0, slash);
}

// Translates an errno value from an operation on `posix_path` (may be empty
// when no path is involved). A missing entry is "file not found" when its
// directory exists and "path not found" when the directory part is missing.
DWORD win32_error(int err, const std::string& posix_path = std::string())
{
    switch (err) {
    case ENOENT:
        if (!posix_path.empty() && !is_directory(parent_of(posix_path)))
            return ERROR_PATH_NOT_FOUND;
        return ERROR_FILE_NOT_FOUND;
    case ENOTDIR:
        return ERROR_PATH_NOT_FOUND;
    case EACCES:
    case EPERM:
    case EISDIR:
        return ERROR_ACCESS_DENIED;
    case EEXIST:
        return ERROR_ALREADY_EXISTS;
    case EROFS:
        return ERROR_WRITE_PROTECT;
    case ENOSPC:
    case EDQUOT:
        return ERROR_DISK_FULL;
    case ENAMETOOLONG:
        return ERROR_FILENAME_EXCED_RANGE;
    case EBUSY:
    case ETXTBSY:
        return ERROR_SHARING_VIOLATION;
    case ENOMEM:
        return ERROR_NOT_ENOUGH_MEMORY;
    default:
        return ERROR_GEN_FAILURE;
    }
}

BOOL fail_errno(int err, const std::string& posix_path = std::string())
{
    return fail(win32_error(err, posix_path));
}

// ---- paths ------------------------------------------------------------------

bool is_separator(char c)
{
    return c == '\\' || c == '/';
}

struct ResolvedPath {
    bool absolute = false;
    bool trailing_separator = false;
    std::vector<std::string> parts;  // a relative path may start with ".."
};

// Splits a Windows path into components and resolves "." and ".." lexically.
// ".." at the root of an absolute path stays at the root.
ResolvedPath resolve(std::string_view path)
{
    ResolvedPath r;
    r.absolute = !path.empty() && is_separator(path.front());
    r.trailing_separator = !path.empty() && is_separator(path.back());
    std::size_t i = 0;
    while (i < path.size()) {
        while (i < path.size() && is_separator(path[i]))
            ++i;
        std::size_t end = i;
        while (end < path.size() && !is_separator(path[end]))
            ++end;
        const std::string_view part = path.substr(i, end - i);
        i = end;
        if (part.empty() || part == ".")
            continue;
        if (part == "..") {
            if (!r.parts.empty() && r.parts.back() != "..")
                r.parts.pop_back();
            else if (!r.absolute)
                r.parts.emplace_back("..");
            continue;
        }
        r.parts.emplace_back(part);
    }
    return r;
}

std::string join(const ResolvedPath& r, char separator)
{
    std::string out;
    if (r.absolute)
        out += separator;
    for (std::size_t i = 0; i < r.parts.size(); ++i) {
        if (i)
            out += separator;
        out += r.parts[i];
    }
    if (r.trailing_separator && !r.parts.empty())
        out += separator;
    if (out.empty())
        out = ".";
    return out;
}

// The POSIX form of a Windows path, ready for a system call. Fails (last error
// set) for a null or empty path.
bool to_posix(LPCSTR path, std::string& out)
{
    if (!path)
        return fail(ERROR_INVALID_PARAMETER);
    if (!*path)
        return fail(ERROR_PATH_NOT_FOUND);
    out = join(resolve(path), '/');
    return true;
}

bool current_directory(std::string& out)
{
    std::vector<char> buffer(256);
    for (;;) {
        if (::getcwd(buffer.data(), buffer.size())) {
            out = buffer.data();
            return true;
        }
        if (errno != ERANGE)
            return fail_errno(errno);
        buffer.resize(buffer.size() * 2);
    }
}

// The fully qualified Windows form of `path` ('\' separators, rooted), with
// relative paths taken from the current directory.
bool qualify(LPCSTR path, std::string& out)
{
    if (!path)
        return fail(ERROR_INVALID_PARAMETER);
    if (!*path)
        return fail(ERROR_INVALID_NAME);
    std::string full;
    if (!is_separator(path[0])) {
        if (!current_directory(full))
            return false;
        // A backslash inside a directory name cannot be told apart from a
        // separator once the path is in Windows form; refuse rather than name
        // a different directory.
        if (full.find('\\') != std::string::npos)
            return fail(ERROR_INVALID_NAME);
        full += '/';
    }
    full += path;
    out = join(resolve(full), '\\');
    return true;
}

// ---- descriptors ------------------------------------------------------------

int open_retrying(const std::string& posix_path, int flags, mode_t mode = 0)
{
    int fd;
    do {
        fd = ::open(posix_path.c_str(), flags | O_CLOEXEC, mode);
    } while (fd < 0 && errno == EINTR);
    // Descriptor 0 would become a null HANDLE, which callers may take for a
    // failure; move it out of the way.
    if (fd == 0) {
        const int moved = ::fcntl(fd, F_DUPFD_CLOEXEC, 3);
        const int saved = errno;
        ::close(fd);
        errno = saved;
        fd = moved;
    }
    return fd;
}

// Windows refuses to open a directory as a file; POSIX allows reading one.
bool reject_directory(int fd)
{
    struct stat st;
    if (::fstat(fd, &st) != 0) {
        const int err = errno;
        ::close(fd);
        return fail_errno(err);
    }
    if (S_ISDIR(st.st_mode)) {
        ::close(fd);
        return fail(ERROR_ACCESS_DENIED);
    }
    return true;
}

HANDLE handle_from_fd(int fd)
{
    return reinterpret_cast<HANDLE>(static_cast<std::intptr_t>(fd));
}

bool fd_from_handle(HANDLE handle, int& fd)
{
    const auto value = reinterpret_cast<std::intptr_t>(handle);
    if (value < 0 || value > INT_MAX)
        return false;
    fd = static_cast<int>(value);
    return true;
}

// ---- time -------------------------------------------------------------------

constexpr std::uint64_t kTicksPerSecond = 10000000;
constexpr long long kSecondsFrom1601To1970 = 11644473600LL;

// Days from 1970-01-01 to the given proleptic Gregorian date.
constexpr long long days_from_civil(long long y, unsigned m, unsigned d)
{
    y -= m <= 2;
    const long long era = (y >= 0 ? y : y - 399) / 400;
    const auto yoe = static_cast<unsigned>(y - era * 400);
    const unsigned doy = (153 * (m > 2 ? m - 3 : m + 9) + 2) / 5 + d - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + static_cast<long long>(doe) - 719468;
}

bool is_leap(unsigned year)
{
    return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
}

unsigned days_in_month(unsigned year, unsigned month)
{
    static constexpr unsigned kDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return month == 2 && is_leap(year) ? 29 : kDays[month - 1];
}

std::uint64_t ticks_of(const FILETIME& ft)
{
    return (static_cast<std::uint64_t>(ft.dwHighDateTime) << 32) | ft.dwLowDateTime;
}

void store_ticks(std::uint64_t ticks, FILETIME& ft)
{
    ft.dwLowDateTime = static_cast<DWORD>(ticks & 0xFFFFFFFFu);
    ft.dwHighDateTime = static_cast<DWORD>(ticks >> 32);
}

// Seconds since 1601 (may be negative) and a sub-second tick count back to a
// FILETIME tick count; false when the result does not fit.
bool ticks_from_seconds(long long seconds_since_1601, std::uint64_t sub_ticks, std::uint64_t& out)
{
    if (seconds_since_1601 < 0)
        return false;
    const auto s = static_cast<std::uint64_t>(seconds_since_1601);
    if (s > (std::numeric_limits<std::uint64_t>::max() - sub_ticks) / kTicksPerSecond)
        return false;
    out = s * kTicksPerSecond + sub_ticks;
    return true;
}

// ---- memory -----------------------------------------------------------------

void* allocate(UINT flags, SIZE_T bytes, UINT zeroinit_flag)
{
    if (flags & ~zeroinit_flag) {  // movable or discardable blocks: not supported
        t_last_error = ERROR_INVALID_PARAMETER;
        return nullptr;
    }
    // A zero-byte fixed block is still a distinct, freeable pointer on Windows.
    const std::size_t size = bytes ? bytes : 1;
    void* block = (flags & zeroinit_flag) ? std::calloc(1, size) : std::malloc(size);
    if (!block)
        t_last_error = ERROR_NOT_ENOUGH_MEMORY;
    return block;
}

}  // namespace

// ---- files ------------------------------------------------------------------

HFILE _lopen(LPCSTR path, int style)
{
    std::string posix;
    if (!to_posix(path, posix))
        return HFILE_ERROR;
    int flags;
    switch (style & 0x3) {
    case OF_READ:
        flags = O_RDONLY;
        break;
    case OF_WRITE:
        flags = O_WRONLY;
        break;
    case OF_READWRITE:
        flags = O_RDWR;
        break;
    default:
        fail(ERROR_INVALID_PARAMETER);
        return HFILE_ERROR;
    }
    const int fd = open_retrying(posix, flags);
    if (fd < 0) {
        fail_errno(errno, posix);
        return HFILE_ERROR;
    }
    if (!reject_directory(fd))
        return HFILE_ERROR;
    return fd;
}

UINT _lread(HFILE file, LPVOID buffer, UINT count)
{
    // Like the Windows call, keep reading until `count` bytes or end of file,
    // so a short result always means end of file.
    auto* out = static_cast<char*>(buffer);
    UINT done = 0;
    while (done < count) {
        const ssize_t n = ::read(file, out + done, count - done);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            fail_errno(errno);
            return static_cast<UINT>(HFILE_ERROR);
        }
        if (n == 0)
            break;
        done += static_cast<UINT>(n);
    }
    return done;
}

HFILE _lclose(HFILE file)
{
    if (::close(file) != 0) {
        fail_errno(errno);
        return HFILE_ERROR;
    }
    return 0;
}

DWORD GetFullPathNameA(LPCSTR path, DWORD size, LPSTR buffer, LPSTR* file_part)
{
    if (size != 0 && !buffer) {
        fail(ERROR_INVALID_PARAMETER);
        return 0;
    }
    std::string full;
    if (!qualify(path, full))
        return 0;
    if (full.size() >= std::numeric_limits<DWORD>::max()) {
        fail(ERROR_FILENAME_EXCED_RANGE);
        return 0;
    }
    const auto length = static_cast<DWORD>(full.size());
    if (size <= length)
        return length + 1;
    std::memcpy(buffer, full.c_str(), full.size() + 1);
    if (file_part)
        *file_part = full.back() == '\\' ? nullptr : buffer + full.rfind('\\') + 1;
    return length;
}

HANDLE CreateFileA(LPCSTR path, DWORD access, DWORD /*share*/, LPSECURITY_ATTRIBUTES /*security*/, DWORD disposition,
                   DWORD /*flags*/, HANDLE /*template_file*/)
{
    std::string posix;
    if (!to_posix(path, posix))
        return INVALID_HANDLE_VALUE;

    int flags;
    const DWORD rw = access & (GENERIC_READ | GENERIC_WRITE);
    if (rw == (GENERIC_READ | GENERIC_WRITE))
        flags = O_RDWR;
    else if (rw == GENERIC_WRITE)
        flags = O_WRONLY;
    else if (rw == GENERIC_READ)
        flags = O_RDONLY;
    else {
        fail(ERROR_INVALID_PARAMETER);
        return INVALID_HANDLE_VALUE;
    }

    int fd = -1;
    DWORD success_code = ERROR_SUCCESS;
    switch (disposition) {
    case CREATE_NEW:
        fd = open_retrying(posix, flags | O_CREAT | O_EXCL, 0666);
        if (fd < 0) {
            fail(errno == EEXIST ? static_cast<DWORD>(ERROR_FILE_EXISTS) : win32_error(errno, posix));
            return INVALID_HANDLE_VALUE;
        }
        break;
    case CREATE_ALWAYS:
        // Windows reports ERROR_ALREADY_EXISTS on success when it truncated an
        // existing file, so find out which of the two happened.
        for (;;) {
            fd = open_retrying(posix, flags | O_CREAT | O_EXCL, 0666);
            if (fd >= 0 || errno != EEXIST)
                break;
            fd = open_retrying(posix, flags | O_TRUNC);
            if (fd >= 0) {
                success_code = ERROR_ALREADY_EXISTS;
                break;
            }
            if (errno != ENOENT)  // ENOENT: removed meanwhile, create it after all
                break;
        }
        if (fd < 0) {
            fail_errno(errno, posix);
            return INVALID_HANDLE_VALUE;
        }
        break;
    case OPEN_EXISTING:
        fd = open_retrying(posix, flags);
        if (fd < 0) {
            fail_errno(errno, posix);
            return INVALID_HANDLE_VALUE;
        }
        break;
    default:
        fail(ERROR_INVALID_PARAMETER);
        return INVALID_HANDLE_VALUE;
    }
    if (!reject_directory(fd))
        return INVALID_HANDLE_VALUE;
    t_last_error = success_code;
    return handle_from_fd(fd);
}

BOOL WriteFile(HANDLE file, LPCVOID data, DWORD count, LPDWORD written, LPOVERLAPPED overlapped)
{
    if (written)
        *written = 0;
    int fd = -1;
    int err = 0;
    long long done = 0;
    if (overlapped)  // asynchronous writes are not supported
        err = EINVAL;
    else if (!fd_from_handle(file, fd))
        err = EBADF;
    const auto* bytes = static_cast<const char*>(data);
    while (!err && done < count) {
        const ssize_t n = ::write(fd, bytes + done, static_cast<std::size_t>(count - done));
        if (n < 0) {
            if (errno != EINTR)
                err = errno;
            continue;
        }
        if (n == 0)
            err = ENOSPC;
        done += n;
    }
    if (written)
        *written = static_cast<DWORD>(done);
    if (overlapped)
        return fail(ERROR_INVALID_PARAMETER);
    if (err)
        return fail_errno(err);
    return TRUE;
}

BOOL CloseHandle(HANDLE handle)
{
    int fd;
    if (!fd_from_handle(handle, fd))
        return fail_errno(EBADF);
    if (::close(fd) != 0)
        return fail_errno(errno);
    return TRUE;
}

BOOL DeleteFileA(LPCSTR path)
{
    std::string posix;
    if (!to_posix(path, posix))
        return FALSE;
    if (::unlink(posix.c_str()) != 0)
        return fail_errno(errno, posix);
    return TRUE;
}

BOOL CreateDirectoryA(LPCSTR path, LPSECURITY_ATTRIBUTES /*security*/)
{
    std::string posix;
    if (!to_posix(path, posix))
        return FALSE;
    if (::mkdir(posix.c_str(), 0777) != 0)
        return fail_errno(errno, posix);
    return TRUE;
}

DWORD GetFileAttributesA(LPCSTR path)
{
    std::string posix;
    if (!to_posix(path, posix))
        return INVALID_FILE_ATTRIBUTES;
    struct stat st;
    if (::stat(posix.c_str(), &st) != 0) {
        fail_errno(errno, posix);
        return INVALID_FILE_ATTRIBUTES;
    }
    return S_ISDIR(st.st_mode) ? FILE_ATTRIBUTE_DIRECTORY : FILE_ATTRIBUTE_NORMAL;
}

BOOL SetFileTime(HANDLE file, const FILETIME* /*creation*/, const FILETIME* /*access*/, const FILETIME* write)
{
    // Only the last-write time is applied; creation and access times are left
    // as the file system keeps them.
    int fd;
    if (!fd_from_handle(file, fd))
        return fail_errno(EBADF);
    if (!write) {
        struct stat st;
        if (::fstat(fd, &st) != 0)  // still report a bad handle
            return fail_errno(errno);
        return TRUE;
    }
    const std::uint64_t ticks = ticks_of(*write);
    timespec times[2];
    times[0].tv_sec = 0;
    times[0].tv_nsec = UTIME_OMIT;
    // Unsigned division floors, so pre-1970 times keep a non-negative tv_nsec.
    times[1].tv_sec = static_cast<time_t>(static_cast<long long>(ticks / kTicksPerSecond) - kSecondsFrom1601To1970);
    times[1].tv_nsec = static_cast<long>(ticks % kTicksPerSecond) * 100;
    if (::futimens(fd, times) != 0)
        return fail_errno(errno);
    return TRUE;
}

DWORD GetLastError()
{
    return t_last_error;
}

void SetLastError(DWORD code)
{
    t_last_error = code;
}

// ---- time -------------------------------------------------------------------

BOOL DosDateTimeToFileTime(WORD dos_date, WORD dos_time, LPFILETIME result)
{
    if (!result)
        return fail(ERROR_INVALID_PARAMETER);
    const unsigned year = 1980u + (dos_date >> 9);
    const unsigned month = (dos_date >> 5) & 0x0Fu;
    const unsigned day = dos_date & 0x1Fu;
    const unsigned hour = dos_time >> 11;
    const unsigned minute = (dos_time >> 5) & 0x3Fu;
    const unsigned second = (dos_time & 0x1Fu) * 2;
    if (month < 1 || month > 12 || day < 1 || day > days_in_month(year, month) || hour > 23 || minute > 59 ||
        second > 59)
        return fail(ERROR_INVALID_PARAMETER);

    const long long seconds =
        days_from_civil(year, month, day) * 86400LL + hour * 3600LL + minute * 60LL + second + kSecondsFrom1601To1970;
    std::uint64_t ticks;
    if (!ticks_from_seconds(seconds, 0, ticks))
        return fail(ERROR_INVALID_PARAMETER);
    store_ticks(ticks, *result);
    return TRUE;
}

BOOL LocalFileTimeToFileTime(const FILETIME* local, LPFILETIME utc)
{
    if (!local || !utc)
        return fail(ERROR_INVALID_PARAMETER);
    const std::uint64_t ticks = ticks_of(*local);
    const std::uint64_t sub_ticks = ticks % kTicksPerSecond;

    // Break the local value into calendar fields as if it were UTC, then let
    // mktime read those fields as wall-clock time in the process's zone.
    const time_t as_if_utc =
        static_cast<time_t>(static_cast<long long>(ticks / kTicksPerSecond) - kSecondsFrom1601To1970);
    std::tm fields{};
    if (!::gmtime_r(&as_if_utc, &fields))
        return fail(ERROR_INVALID_PARAMETER);
    fields.tm_isdst = -1;
    fields.tm_wday = -1;  // mktime sets it on success; -1 is a valid time_t result
    const time_t converted = std::mktime(&fields);
    if (converted == static_cast<time_t>(-1) && fields.tm_wday == -1)
        return fail(ERROR_INVALID_PARAMETER);

    std::uint64_t result;
    if (!ticks_from_seconds(static_cast<long long>(converted) + kSecondsFrom1601To1970, sub_ticks, result))
        return fail(ERROR_INVALID_PARAMETER);
    store_ticks(result, *utc);
    return TRUE;
}

// ---- text -------------------------------------------------------------------

LPSTR CharNextA(LPCSTR position)
{
    if (!position || !*position)
        return const_cast<LPSTR>(position);
    return const_cast<LPSTR>(position + 1);
}

LPSTR CharPrevA(LPCSTR start, LPCSTR position)
{
    if (!position || position <= start)
        return const_cast<LPSTR>(start);
    return const_cast<LPSTR>(position - 1);
}

int lstrlenA(LPCSTR text)
{
    if (!text)
        return 0;
    const std::size_t length = std::strlen(text);
    return length > static_cast<std::size_t>(INT_MAX) ? INT_MAX : static_cast<int>(length);
}

LPSTR lstrcpyA(LPSTR destination, LPCSTR source)
{
    if (!destination || !source)
        return nullptr;
    std::memmove(destination, source, std::strlen(source) + 1);
    return destination;
}

LPSTR lstrcpynA(LPSTR destination, LPCSTR source, int count)
{
    if (!destination || !source)
        return nullptr;
    if (count <= 0)
        return destination;
    // Never reads more of `source` than could be copied: it need not be
    // terminated within `count` bytes.
    int i = 0;
    for (; i < count - 1 && source[i]; ++i)
        destination[i] = source[i];
    destination[i] = '\0';
    return destination;
}

LPSTR lstrcatA(LPSTR destination, LPCSTR source)
{
    if (!destination || !source)
        return nullptr;
    std::memmove(destination + std::strlen(destination), source, std::strlen(source) + 1);
    return destination;
}

// ---- memory -----------------------------------------------------------------

HLOCAL LocalAlloc(UINT flags, SIZE_T bytes)
{
    return allocate(flags, bytes, LMEM_ZEROINIT);
}

HLOCAL LocalFree(HLOCAL memory)
{
    std::free(memory);
    return nullptr;
}

HGLOBAL GlobalAlloc(UINT flags, SIZE_T bytes)
{
    return allocate(flags, bytes, GMEM_ZEROINIT);
}

HGLOBAL GlobalFree(HGLOBAL memory)
{
    std::free(memory);
    return nullptr;
}
