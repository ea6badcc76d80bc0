// Tests of the POSIX implementation of the Win32 subset: the conventions the
// archive engine depends on (path qualification, return values, last-error
// codes, time conversion), and the faults the tests inject into it.

#include "native_faults.h"
#include "native_win32.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <optional>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr std::uint64_t kTicksPerSecond = 10000000;

std::uint64_t ticks(const FILETIME& ft)
{
    return (static_cast<std::uint64_t>(ft.dwHighDateTime) << 32) | ft.dwLowDateTime;
}

FILETIME filetime(std::uint64_t t)
{
    return FILETIME{static_cast<DWORD>(t & 0xFFFFFFFFu), static_cast<DWORD>(t >> 32)};
}

WORD dos_date(unsigned year, unsigned month, unsigned day)
{
    return static_cast<WORD>(((year - 1980) << 9) | (month << 5) | day);
}

WORD dos_time(unsigned hour, unsigned minute, unsigned second)
{
    return static_cast<WORD>((hour << 11) | (minute << 5) | (second / 2));
}

std::string to_windows(std::string path)
{
    for (char& c : path)
        if (c == '/')
            c = '\\';
    return path;
}

// Each test runs inside its own fresh directory under /tmp, which is also the
// current directory, and starts with the last error in its neutral state.
class NativeWin32 : public ::testing::Test {
protected:
    void SetUp() override
    {
        char pattern[] = "/tmp/native_win32_XXXXXX";
        ASSERT_NE(::mkdtemp(pattern), nullptr);
        dir_ = pattern;
        old_cwd_ = std::filesystem::current_path();
        std::filesystem::current_path(dir_);
        SetLastError(ERROR_SUCCESS);
    }

    void TearDown() override
    {
        std::filesystem::current_path(old_cwd_);
        std::filesystem::remove_all(dir_);
    }

    // The Windows form of a path inside the test directory.
    std::string win(const std::string& relative) const { return to_windows(dir_ + "/" + relative); }

    void write_file(const std::string& relative, const std::string& content)
    {
        HANDLE h = CreateFileA(win(relative).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                               nullptr);
        ASSERT_NE(h, INVALID_HANDLE_VALUE);
        DWORD written = 0;
        ASSERT_TRUE(WriteFile(h, content.data(), static_cast<DWORD>(content.size()), &written, nullptr));
        ASSERT_EQ(written, content.size());
        ASSERT_TRUE(CloseHandle(h));
    }

    std::string read_file(const std::string& relative)
    {
        HFILE f = _lopen(win(relative).c_str(), OF_READ | OF_SHARE_DENY_WRITE);
        EXPECT_NE(f, HFILE_ERROR);
        if (f == HFILE_ERROR)
            return {};
        std::string content;
        char buffer[7];
        for (UINT n; (n = _lread(f, buffer, sizeof buffer)) != 0 && n != static_cast<UINT>(HFILE_ERROR);)
            content.append(buffer, n);
        EXPECT_EQ(_lclose(f), 0);
        return content;
    }

    std::string dir_;
    std::filesystem::path old_cwd_;
};

// ---- path qualification -----------------------------------------------------

// The qualified form of a path, as the output files are created from.
std::string full_path(const std::string& path)
{
    char buffer[MAX_PATH];
    const DWORD n = GetFullPathNameA(path.c_str(), sizeof buffer, buffer, nullptr);
    return n != 0 && n < sizeof buffer ? std::string(buffer) : std::string("(failed)");
}

TEST_F(NativeWin32, FullPathsAreQualifiedWithTheirDotsResolved)
{
    EXPECT_EQ(full_path("\\a\\\\b\\.\\c\\..\\d.txt"), "\\a\\b\\d.txt");
    EXPECT_EQ(full_path("/a/b//../c"), "\\a\\c");  // '/' separates too
    EXPECT_EQ(full_path("\\..\\..\\x"), "\\x");    // ".." stops at the root
    EXPECT_EQ(full_path("sub\\..\\.\\x.bin"), win("x.bin"));
    EXPECT_EQ(full_path("..\\y"), to_windows(std::filesystem::path(dir_).parent_path().string()) + "\\y");
    // Dot components are resolved before the length is judged.
    const std::string dotted = "\\" + std::string(200, 'd') + "\\..\\" + std::string(200, 'e');
    EXPECT_EQ(full_path(dotted), "\\" + std::string(200, 'e'));
    // Characters outside ASCII stay as they are: there is no OEM form here.
    EXPECT_EQ(full_path("\\Donn\xe9"
                        "es\\Th\xe8me.ini"),
              "\\Donn\xe9"
              "es\\Th\xe8me.ini");
}

TEST_F(NativeWin32, GetFullPathNameFollowsWin32ReturnConvention)
{
    const std::string expected = win("dir\\name.ext");
    const auto length = static_cast<DWORD>(expected.size());

    EXPECT_EQ(GetFullPathNameA("dir\\.\\name.ext", 0, nullptr, nullptr), length + 1);

    char small[8] = "keep";
    EXPECT_EQ(GetFullPathNameA("dir\\name.ext", length, small, nullptr), length + 1);  // no room for NUL
    EXPECT_STREQ(small, "keep");

    std::string buffer(length + 1, '#');
    LPSTR part = nullptr;
    EXPECT_EQ(GetFullPathNameA("dir\\name.ext", length + 1, buffer.data(), &part), length);
    EXPECT_EQ(std::string(buffer.c_str()), expected);
    ASSERT_NE(part, nullptr);
    EXPECT_EQ(part, buffer.data() + expected.rfind('\\') + 1);
    EXPECT_STREQ(part, "name.ext");

    char dir_buffer[MAX_PATH];
    part = dir_buffer;
    EXPECT_GT(GetFullPathNameA("\\top\\sub\\", sizeof dir_buffer, dir_buffer, &part), 0u);
    EXPECT_STREQ(dir_buffer, "\\top\\sub\\");
    EXPECT_EQ(part, nullptr);  // no file part after a trailing separator

    EXPECT_EQ(GetFullPathNameA("", sizeof dir_buffer, dir_buffer, nullptr), 0u);
    EXPECT_NE(GetLastError(), static_cast<DWORD>(ERROR_SUCCESS));
}

// ---- files and directories --------------------------------------------------

TEST_F(NativeWin32, CreateFileWritesTruncatesAndReportsErrors)
{
    write_file("data.bin", "0123456789abcdef");
    EXPECT_EQ(read_file("data.bin"), "0123456789abcdef");

    // CREATE_ALWAYS truncates an existing file and says it existed.
    HANDLE h =
        CreateFileA(win("data.bin").c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ALREADY_EXISTS));
    DWORD written = 0;
    EXPECT_TRUE(WriteFile(h, "xyz", 3, &written, nullptr));
    EXPECT_TRUE(CloseHandle(h));
    EXPECT_EQ(read_file("data.bin"), "xyz");

    EXPECT_TRUE(CreateDirectoryA(win("folder").c_str(), nullptr));
    auto create = [&](const std::string& path, DWORD disposition) {
        SetLastError(ERROR_SUCCESS);
        HANDLE handle =
            CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, disposition, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (handle != INVALID_HANDLE_VALUE)
            CloseHandle(handle);
        return handle == INVALID_HANDLE_VALUE ? GetLastError() : ERROR_SUCCESS;
    };
    EXPECT_EQ(create(win("folder"), CREATE_ALWAYS), static_cast<DWORD>(ERROR_ACCESS_DENIED));
    EXPECT_EQ(create(win("data.bin"), CREATE_NEW), static_cast<DWORD>(ERROR_FILE_EXISTS));
    EXPECT_EQ(create(win("missing.bin"), OPEN_EXISTING), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
    EXPECT_EQ(create(win("nodir\\out.bin"), CREATE_ALWAYS), static_cast<DWORD>(ERROR_PATH_NOT_FOUND));

    // Lexical resolution: the missing directory is cancelled by "..".
    EXPECT_EQ(create("nodir\\..\\folder\\rel.bin", CREATE_NEW), static_cast<DWORD>(ERROR_SUCCESS));
    struct stat st;
    EXPECT_EQ(::stat((dir_ + "/folder/rel.bin").c_str(), &st), 0);
}

TEST_F(NativeWin32, LreadReportsEndOfFileAndErrors)
{
    write_file("ten.txt", "0123456789");
    HFILE f = _lopen(win("ten.txt").c_str(), OF_READ | OF_SHARE_DENY_WRITE);
    ASSERT_NE(f, HFILE_ERROR);
    char buffer[32];
    EXPECT_EQ(_lread(f, buffer, sizeof buffer), 10u);
    EXPECT_EQ(_lread(f, buffer, sizeof buffer), 0u);
    EXPECT_EQ(_lclose(f), 0);

    HFILE write_only = _lopen(win("ten.txt").c_str(), OF_WRITE);
    ASSERT_NE(write_only, HFILE_ERROR);
    SetLastError(ERROR_SUCCESS);
    EXPECT_EQ(_lread(write_only, buffer, sizeof buffer), static_cast<UINT>(HFILE_ERROR));
    EXPECT_NE(GetLastError(), static_cast<DWORD>(ERROR_SUCCESS));
    EXPECT_EQ(_lclose(write_only), 0);

    EXPECT_EQ(_lopen(win("absent.txt").c_str(), OF_READ), HFILE_ERROR);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
    EXPECT_EQ(_lopen(win("absent\\x.txt").c_str(), OF_READ), HFILE_ERROR);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_PATH_NOT_FOUND));
    EXPECT_EQ(_lopen(to_windows(dir_).c_str(), OF_READ), HFILE_ERROR);  // a directory is no file
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
}

TEST_F(NativeWin32, DirectoriesAttributesAndDeletion)
{
    EXPECT_TRUE(CreateDirectoryA(win("out").c_str(), nullptr));
    EXPECT_TRUE(CreateDirectoryA("out\\inner", nullptr));
    struct stat st;
    ASSERT_EQ(::stat((dir_ + "/out/inner").c_str(), &st), 0);  // backslashes became '/'
    EXPECT_TRUE(S_ISDIR(st.st_mode));

    EXPECT_FALSE(CreateDirectoryA(win("out").c_str(), nullptr));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ALREADY_EXISTS));
    EXPECT_FALSE(CreateDirectoryA(win("no\\such").c_str(), nullptr));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_PATH_NOT_FOUND));

    write_file("out\\f.txt", "x");
    EXPECT_EQ(GetFileAttributesA(win("out").c_str()), FILE_ATTRIBUTE_DIRECTORY);
    // Relative paths may climb out of the current directory (/tmp/<test dir>).
    const std::string climbing = "..\\..\\" + to_windows(dir_.substr(1)) + "\\out\\f.txt";
    EXPECT_EQ(GetFileAttributesA(climbing.c_str()), FILE_ATTRIBUTE_NORMAL);
    EXPECT_EQ(GetFileAttributesA(win("out\\f.txt").c_str()), FILE_ATTRIBUTE_NORMAL);
    EXPECT_EQ(GetFileAttributesA(win("out\\g.txt").c_str()), INVALID_FILE_ATTRIBUTES);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));

    EXPECT_FALSE(DeleteFileA(win("out\\inner").c_str()));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
    EXPECT_TRUE(DeleteFileA(win("out\\f.txt").c_str()));
    EXPECT_EQ(GetFileAttributesA(win("out\\f.txt").c_str()), INVALID_FILE_ATTRIBUTES);
    EXPECT_FALSE(DeleteFileA(win("out\\f.txt").c_str()));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
}

TEST_F(NativeWin32, SetFileTimeChangesOnlyModificationTime)
{
    write_file("t.bin", "data");
    const std::string path = dir_ + "/t.bin";
    const timespec old_times[2] = {{1000000000, 0}, {1000000000, 0}};
    ASSERT_EQ(::utimensat(AT_FDCWD, path.c_str(), old_times, 0), 0);

    HANDLE h =
        CreateFileA(win("t.bin").c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    EXPECT_TRUE(SetFileTime(h, nullptr, nullptr, nullptr));  // nothing to change

    // 2000-01-01 12:00:00.1234567 and, separately, a time before 1970.
    const FILETIME creation = filetime(1), access = filetime(2);
    const FILETIME noon = filetime(125912016000000000ULL + 1234567);
    EXPECT_TRUE(SetFileTime(h, &creation, &access, &noon));
    struct stat st;
    ASSERT_EQ(::stat(path.c_str(), &st), 0);
    EXPECT_EQ(st.st_mtim.tv_sec, 946728000);
    EXPECT_EQ(st.st_mtim.tv_nsec, 123456700);
    EXPECT_EQ(st.st_atim.tv_sec, 1000000000);
    EXPECT_EQ(st.st_atim.tv_nsec, 0);

    const FILETIME before_1970 = filetime(116444735990000000ULL + 5000000);  // 1969-12-31 23:59:59.5
    EXPECT_TRUE(SetFileTime(h, nullptr, nullptr, &before_1970));
    ASSERT_EQ(::stat(path.c_str(), &st), 0);
    EXPECT_EQ(st.st_mtim.tv_sec, -1);
    EXPECT_EQ(st.st_mtim.tv_nsec, 500000000);
    EXPECT_TRUE(CloseHandle(h));
}

// ---- time -------------------------------------------------------------------

TEST_F(NativeWin32, DosDateTimeToFileTimeConvertsValidFields)
{
    FILETIME ft;
    ASSERT_TRUE(DosDateTimeToFileTime(0x2821, 0x6000, &ft));  // 2000-01-01 12:00:00
    EXPECT_EQ(ticks(ft), 125912016000000000ULL);
    ASSERT_TRUE(DosDateTimeToFileTime(0x0021, 0x0000, &ft));  // 1980-01-01 00:00:00
    EXPECT_EQ(ticks(ft), 119600064000000000ULL);
    ASSERT_TRUE(DosDateTimeToFileTime(dos_date(2000, 2, 29), dos_time(23, 59, 58), &ft));
    EXPECT_EQ(ticks(ft), 125963423980000000ULL);
    ASSERT_TRUE(DosDateTimeToFileTime(dos_date(2107, 12, 31), dos_time(23, 59, 58), &ft));
    EXPECT_EQ(ticks(ft), 159992927980000000ULL);
}

TEST_F(NativeWin32, DosDateTimeToFileTimeRejectsInvalidFields)
{
    const struct {
        WORD date, time;
        const char* what;
    } invalid[] = {
        {static_cast<WORD>((20 << 9) | (0 << 5) | 1), 0, "month 0"},
        {static_cast<WORD>((20 << 9) | (13 << 5) | 1), 0, "month 13"},
        {static_cast<WORD>((20 << 9) | (1 << 5) | 0), 0, "day 0"},
        {dos_date(2001, 4, 31), 0, "April 31"},
        {dos_date(1999, 2, 29), 0, "Feb 29 in a common year"},
        {dos_date(2100, 2, 29), 0, "Feb 29 in a century year"},
        {dos_date(2000, 1, 1), static_cast<WORD>(24 << 11), "hour 24"},
        {dos_date(2000, 1, 1), static_cast<WORD>(60 << 5), "minute 60"},
        {dos_date(2000, 1, 1), 30, "seconds field 30"},
    };
    for (const auto& c : invalid) {
        FILETIME ft = filetime(42);
        SetLastError(ERROR_SUCCESS);
        EXPECT_FALSE(DosDateTimeToFileTime(c.date, c.time, &ft)) << c.what;
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER)) << c.what;
    }
}

// Sets TZ for the lifetime of the object and restores the previous value.
class ScopedTimeZone {
public:
    explicit ScopedTimeZone(const char* zone)
    {
        if (const char* old = std::getenv("TZ"))
            old_ = old;
        ::setenv("TZ", zone, 1);
        ::tzset();
    }
    ~ScopedTimeZone()
    {
        if (old_)
            ::setenv("TZ", old_->c_str(), 1);
        else
            ::unsetenv("TZ");
        ::tzset();
    }
    ScopedTimeZone(const ScopedTimeZone&) = delete;
    ScopedTimeZone& operator=(const ScopedTimeZone&) = delete;

private:
    std::optional<std::string> old_;
};

// UTC minus local, in seconds, for a local wall-clock time in the current zone.
long long utc_minus_local(unsigned year, unsigned month, unsigned day, unsigned hour)
{
    FILETIME local, utc;
    EXPECT_TRUE(DosDateTimeToFileTime(dos_date(year, month, day), dos_time(hour, 0, 0), &local));
    const std::uint64_t sub_second = 4321;  // must survive the conversion
    local = filetime(ticks(local) + sub_second);
    EXPECT_TRUE(LocalFileTimeToFileTime(&local, &utc));
    EXPECT_EQ(ticks(utc) % kTicksPerSecond, sub_second);
    return (static_cast<long long>(ticks(utc)) - static_cast<long long>(ticks(local))) /
           static_cast<long long>(kTicksPerSecond);
}

TEST_F(NativeWin32, LocalFileTimeToFileTimeUsesZoneAndDaylightSaving)
{
    {
        ScopedTimeZone zone("UTC0");
        EXPECT_EQ(utc_minus_local(2021, 7, 1, 12), 0);
        EXPECT_EQ(utc_minus_local(2021, 1, 15, 12), 0);
    }
    {
        ScopedTimeZone zone("CET-1CEST,M3.5.0,M10.5.0/3");  // central Europe
        EXPECT_EQ(utc_minus_local(2021, 7, 1, 12), -2 * 3600);
        EXPECT_EQ(utc_minus_local(2021, 1, 15, 12), -1 * 3600);
    }
    {
        ScopedTimeZone zone("EST5EDT,M3.2.0,M11.1.0");  // eastern North America
        EXPECT_EQ(utc_minus_local(2021, 7, 1, 12), 4 * 3600);
        EXPECT_EQ(utc_minus_local(2021, 1, 15, 12), 5 * 3600);
    }
    {
        // A zone east of UTC at the start of the FILETIME epoch has no UTC value.
        ScopedTimeZone zone("CET-1CEST,M3.5.0,M10.5.0/3");
        const FILETIME epoch = filetime(0);
        FILETIME utc;
        EXPECT_FALSE(LocalFileTimeToFileTime(&epoch, &utc));
    }
}

// ---- text -------------------------------------------------------------------

TEST_F(NativeWin32, TextHelpersStayInsideTheirStrings)
{
    const char text[] = "ab";
    EXPECT_EQ(CharNextA(text), text + 1);
    EXPECT_EQ(CharNextA(text + 2), text + 2);  // never past the NUL
    EXPECT_EQ(CharPrevA(text, text + 2), text + 1);
    EXPECT_EQ(CharPrevA(text, text), text);  // never before the start

    char buffer[8];
    std::memset(buffer, 'Z', sizeof buffer);
    EXPECT_EQ(lstrcpynA(buffer, "abcdef", 4), buffer);
    EXPECT_STREQ(buffer, "abc");
    EXPECT_EQ(buffer[4], 'Z');
    lstrcpynA(buffer, "xyz", 1);
    EXPECT_STREQ(buffer, "");
    lstrcpynA(buffer, "xy", 8);
    EXPECT_STREQ(buffer, "xy");
    const char unterminated[3] = {'p', 'q', 'r'};  // only count-1 bytes may be read
    lstrcpynA(buffer, unterminated, 3);
    EXPECT_STREQ(buffer, "pq");

    EXPECT_STREQ(lstrcatA(lstrcpyA(buffer, "ab"), "cd"), "abcd");
    EXPECT_EQ(lstrlenA(buffer), 4);
    EXPECT_EQ(lstrlenA(nullptr), 0);
}

// ---- memory and injected faults ---------------------------------------------

TEST_F(NativeWin32, AllocationZeroesAndHonoursTheLimit)
{
    auto* zeroed = static_cast<unsigned char*>(LocalAlloc(LMEM_FIXED | LMEM_ZEROINIT, 64));
    ASSERT_NE(zeroed, nullptr);
    for (int i = 0; i < 64; ++i)
        EXPECT_EQ(zeroed[i], 0) << i;
    EXPECT_EQ(LocalFree(zeroed), nullptr);

    {
        upkit::test::AllocationLimit limit(100);
        void* at_limit = GlobalAlloc(GMEM_FIXED, 100);
        EXPECT_NE(at_limit, nullptr);
        EXPECT_EQ(GlobalFree(at_limit), nullptr);
        EXPECT_EQ(LocalAlloc(LMEM_FIXED, 101), nullptr);
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NOT_ENOUGH_MEMORY));
        EXPECT_EQ(GlobalAlloc(GMEM_ZEROINIT, 101), nullptr);
    }
    void* unlimited = LocalAlloc(LMEM_FIXED, 101);
    EXPECT_NE(unlimited, nullptr);
    LocalFree(unlimited);
}

TEST_F(NativeWin32, WriteBudgetShortensWritesAndSizesAreRecorded)
{
    HANDLE h = CreateFileA(win("budget.bin").c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                           nullptr);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    upkit::test::WriteSizeLog log;

    DWORD written = 99;
    {
        upkit::test::WriteBudget budget(10);
        EXPECT_TRUE(WriteFile(h, "abcdef", 6, &written, nullptr));
        EXPECT_EQ(written, 6u);
        EXPECT_FALSE(WriteFile(h, "ghijkl", 6, &written, nullptr));  // only 4 bytes left
        EXPECT_EQ(written, 4u);
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_DISK_FULL));
        EXPECT_FALSE(WriteFile(h, "m", 1, &written, nullptr));
        EXPECT_EQ(written, 0u);
        EXPECT_TRUE(WriteFile(h, "", 0, &written, nullptr));  // an empty write still fits
    }
    EXPECT_TRUE(WriteFile(h, "XY", 2, &written, nullptr));
    EXPECT_EQ(written, 2u);
    EXPECT_TRUE(CloseHandle(h));
    EXPECT_EQ(read_file("budget.bin"), "abcdefghijXY");

    EXPECT_EQ(log.sizes(), (std::vector<unsigned long>{6, 6, 1, 0, 2}));
    log.clear();
    EXPECT_TRUE(log.sizes().empty());

    // A failed write is still recorded and reports nothing written.
    written = 99;
    EXPECT_FALSE(WriteFile(INVALID_HANDLE_VALUE, "Q", 1, &written, nullptr));
    EXPECT_EQ(written, 0u);
    EXPECT_EQ(log.sizes().size(), 1u);
}

TEST_F(NativeWin32, InjectedFaultsNestAndEndWithTheirScope)
{
    HANDLE h = CreateFileA(win("nested.bin").c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                           nullptr);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    DWORD written = 0;
    upkit::test::WriteSizeLog outer_log;
    {
        upkit::test::WriteBudget outer_budget(5);
        {
            // The innermost scope of a kind applies, and only it records.
            upkit::test::WriteBudget inner_budget(1);
            upkit::test::WriteSizeLog inner_log;
            EXPECT_FALSE(WriteFile(h, "ab", 2, &written, nullptr));
            EXPECT_EQ(written, 1u);
            EXPECT_EQ(inner_log.sizes(), (std::vector<unsigned long>{2}));
        }
        // The outer budget is as it was: the inner one's write did not count.
        EXPECT_TRUE(WriteFile(h, "cdefg", 5, &written, nullptr));
        EXPECT_FALSE(WriteFile(h, "h", 1, &written, nullptr));
    }
    EXPECT_TRUE(WriteFile(h, "ij", 2, &written, nullptr));
    EXPECT_TRUE(CloseHandle(h));
    EXPECT_EQ(read_file("nested.bin"), "acdefgij");
    EXPECT_EQ(outer_log.sizes(), (std::vector<unsigned long>{5, 1, 2}));

    {
        upkit::test::AllocationLimit outer_limit(1000);
        {
            upkit::test::AllocationLimit inner_limit(10);
            EXPECT_EQ(LocalAlloc(LMEM_FIXED, 11), nullptr);
        }
        void* block = LocalAlloc(LMEM_FIXED, 11);
        EXPECT_NE(block, nullptr);
        LocalFree(block);
        EXPECT_EQ(GlobalAlloc(GMEM_FIXED, 1001), nullptr);
    }
}

}  // namespace
