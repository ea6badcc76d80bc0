#include "member_placement.h"

#include <cctype>
#include <charconv>
#include <fmt/format.h>
#ifdef _WIN32
#include <process.h>
#include <windows.h>
#else
#include <cerrno>
#include <signal.h>
#include <unistd.h>
#endif

#include "cli_output.h"
#include "engine_paths.h"
#include "member_names.h"
#include "text_codec.h"
#include "win32_api.h"

namespace fs = std::filesystem;

namespace upkit {

namespace {

long current_process_id()
{
#ifdef _WIN32
    return static_cast<long>(GetCurrentProcessId());
#else
    return static_cast<long>(::getpid());
#endif
}

// Whether process `id` may still run: only a process known to be gone is not.
bool process_may_run(long id)
{
#ifdef _WIN32
    HANDLE process = OpenProcess(SYNCHRONIZE, FALSE, static_cast<DWORD>(id));
    if (!process)
        return GetLastError() != ERROR_INVALID_PARAMETER;
    const bool running = WaitForSingleObject(process, 0) == WAIT_TIMEOUT;
    CloseHandle(process);
    return running;
#else
    return ::kill(static_cast<pid_t>(id), 0) == 0 || errno != ESRCH;
#endif
}

// The process id in a staging folder's name, ".upkit-partial-<id>-<8 hex>".
std::optional<long> staging_owner(const std::string& name)
{
    const std::string prefix = std::string(kStagingPrefix) + "-";
    if (!name.starts_with(prefix))
        return std::nullopt;
    const char* first = name.data() + prefix.size();
    const char* last = name.data() + name.size();
    long id = 0;
    const auto [end, ec] = std::from_chars(first, last, id);
    if (ec != std::errc() || end == first || id <= 0 || last - end != 9 || *end != '-')
        return std::nullopt;
    for (const char* p = end + 1; p != last; ++p)
        if (!std::isxdigit(static_cast<unsigned char>(*p)))
            return std::nullopt;
    return id;
}

}  // namespace

std::string staging_prefix()
{
    return fmt::format("{}-{}", kStagingPrefix, current_process_id());
}

void remove_stale_staging_folders(const fs::path& target)
{
    std::error_code ec;
    for (fs::directory_iterator it(target, ec); !ec && it != fs::directory_iterator(); it.increment(ec)) {
        const std::optional<long> owner = staging_owner(it->path().filename().string());
        std::error_code status_ec;
        if (!owner || *owner == current_process_id() || process_may_run(*owner) ||
            !fs::is_directory(it->symlink_status(status_ec)))
            continue;
        std::error_code ignored;
        fs::remove_all(it->path(), ignored);
    }
}

std::optional<fs::path> link_on_path(const fs::path& target, const fs::path& file)
{
    fs::path at = target;
    for (const fs::path& part : file.lexically_relative(target)) {
        at /= part;
        std::error_code ec;
        const fs::file_status status = fs::symlink_status(at, ec);
        if (fs::is_symlink(status))
            return at;
        // Below a missing folder there is nothing more to find.
        if (!fs::exists(status))
            return std::nullopt;
    }
    return std::nullopt;
}

std::optional<std::string> engine_directory(const fs::path& directory)
{
    std::error_code ec;
    const fs::path absolute = fs::absolute(directory, ec);
    if (ec)
        return std::nullopt;
    const std::optional<std::string> text = host_text_of(absolute.lexically_normal());
    return text ? to_engine_path(*text) : std::nullopt;
}

bool check_names(const std::vector<MemberEntry>& entries, const std::string& directory, const std::string& archive,
                 std::ostream& err)
{
    const bool add_separator = directory.empty() || directory.back() != '\\';
    for (const MemberEntry& entry : entries) {
        const std::string shown = printable(utf8_from_windows1252(entry.name));
        if (const char* reason = unsafe_name_reason(entry.name)) {
            print_error(err, archive,
                        fmt::format("{}: unsafe member name refused, nothing extracted: {}", shown, reason));
            return false;
        }
        const std::size_t length = directory.size() + (add_separator ? 1 : 0) + name_below_folder(entry.name).size();
        if (length >= MAX_PATH) {
            print_error(err, archive,
                        fmt::format("{}: the output path would be longer than {} characters, nothing extracted", shown,
                                    MAX_PATH - 1));
            return false;
        }
    }
    return true;
}

fs::path output_path(const fs::path& target, const std::string& name)
{
    const std::string relative = relative_utf8_path(name);
    return target / path_from_utf8(relative).make_preferred();
}

std::optional<fs::path> staged_file(const fs::path& staging)
{
    std::error_code ec;
    for (fs::recursive_directory_iterator it(staging, ec); !ec && it != fs::recursive_directory_iterator();
         it.increment(ec))
        if (it->is_regular_file(ec))
            return it->path();
    return std::nullopt;
}

std::string message_path(const fs::path& path)
{
    return utf8_from_path(path);
}

std::optional<std::string> move_into_place(const fs::path& from, const fs::path& to, bool overwrite)
{
    std::error_code ec;
    fs::create_directories(to.parent_path(), ec);
    if (!ec)
        fs::rename(from, to, ec);
    if (ec && overwrite && fs::is_regular_file(fs::symlink_status(to))) {
        // Some hosts do not rename over an existing file.
        ec.clear();
        fs::remove(to, ec);
        if (!ec)
            fs::rename(from, to, ec);
    }
    if (ec)
        return fmt::format("cannot write the output file: {}", ec.message());
    return std::nullopt;
}

}  // namespace upkit
