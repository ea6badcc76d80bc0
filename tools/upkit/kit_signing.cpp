#include "kit_signing.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fmt/format.h>
#ifndef _WIN32
#include <sys/wait.h>
#endif

#include "diagnostics.h"

namespace fs = std::filesystem;
using upkit::kitbuild::KitError;

namespace upkit {

namespace {

// A path quoted for a POSIX shell or for cmd.exe.
std::string shell_quoted(const std::string& path)
{
#ifdef _WIN32
    return "\"" + path + "\"";
#else
    std::string out = "'";
    for (char c : path)
        out += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return out + "'";
#endif
}

}  // namespace

std::string command_failure(int status)
{
    if (status == -1)
        return fmt::format("could not be started: {}", std::strerror(errno));
#ifdef _WIN32
    return fmt::format("ended with exit status {}", status);
#else
    if (WIFSIGNALED(status))
        return fmt::format("was stopped by signal {} ({})", WTERMSIG(status), strsignal(WTERMSIG(status)));
    if (WIFEXITED(status)) {
        const int code = WEXITSTATUS(status);
        // The shell's own codes for a command it could not find or run.
        if (code == 127)
            return "ended with exit status 127: the shell did not find the command";
        if (code == 126)
            return "ended with exit status 126: the shell could not run the command";
        return fmt::format("ended with exit status {}", code);
    }
    return fmt::format("ended with wait status {}", status);
#endif
}

void sign_kit(const std::string& command, const fs::path& kit)
{
    std::string line = command;
    const std::string quoted = shell_quoted(kit.string());
    bool placed = false;
    for (std::size_t at = line.find("{}"); at != std::string::npos; at = line.find("{}", at + quoted.size())) {
        line.replace(at, 2, quoted);
        placed = true;
    }
    if (!placed)
        throw KitError("the signing command must name the kit as {}");
    const int status = std::system(line.c_str());
    if (status != 0) {
        std::error_code ignored;
        fs::remove(kit, ignored);
        throw KitError(fmt::format("the signing command {}; the unsigned kit was removed", command_failure(status)));
    }
}

}  // namespace upkit
