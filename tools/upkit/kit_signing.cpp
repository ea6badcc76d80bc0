#include "kit_signing.h"

#include <cstdlib>
#include <fmt/format.h>

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
        throw KitError(fmt::format("the signing command failed (status {}); the unsigned kit was removed", status));
    }
}

}  // namespace upkit
