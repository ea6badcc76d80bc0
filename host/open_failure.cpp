#include "open_failure.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace upkit {

std::string open_failure_reason(const std::filesystem::path& path)
{
    std::error_code ec;
    const std::filesystem::file_status status = std::filesystem::status(path, ec);
    if (ec)
        return ec.message();
    if (std::filesystem::is_directory(status))
        return "a folder, not a file";
    errno = 0;
#ifdef _WIN32
    std::FILE* file = _wfopen(path.c_str(), L"rb");
#else
    std::FILE* file = std::fopen(path.c_str(), "rb");
#endif
    if (file) {
        std::fclose(file);
        return {};
    }
    return errno != 0 ? std::strerror(errno) : std::string();
}

std::string cannot_open_file(const std::filesystem::path& path)
{
    const std::string reason = open_failure_reason(path);
    return reason.empty() ? "cannot open the file" : "cannot open the file: " + reason;
}

}  // namespace upkit
