#include "host_programs.h"

#include <unistd.h>

#include "child_process.h"
#include "trial_error.h"

namespace fs = std::filesystem;

namespace upkit::kittry {

namespace {

bool executable(const fs::path& path)
{
    std::error_code ec;
    return fs::is_regular_file(path, ec) && ::access(path.c_str(), X_OK) == 0;
}

// Debian installs the loaders in /usr/lib/wine and puts a `wine` script on
// PATH that picks one; the loader itself is what the trial runs, so that a
// 64-bit kit never goes through the 32-bit one.
std::optional<fs::path> loader_beside(const fs::path& wine, const std::string& name)
{
    std::error_code ec;
    const fs::path real = fs::canonical(wine, ec);
    for (const fs::path& folder :
         {real.parent_path().parent_path() / "lib" / "wine", wine.parent_path().parent_path() / "lib" / "wine"}) {
        if (executable(folder / name))
            return folder / name;
    }
    return std::nullopt;
}

// Elsewhere `wine` may be the loader itself rather than a script.
bool is_program(const fs::path& path)
{
    return read_text(path).starts_with("\x7f"
                                       "ELF");
}

}  // namespace

std::optional<fs::path> find_on_path(const std::string& name, const std::string& path_value)
{
    std::size_t start = 0;
    for (;;) {
        const std::size_t colon = path_value.find(':', start);
        const std::string folder = path_value.substr(start, colon == std::string::npos ? colon : colon - start);
        if (!folder.empty() && executable(fs::path(folder) / name))
            return fs::path(folder) / name;
        if (colon == std::string::npos)
            return std::nullopt;
        start = colon + 1;
    }
}

HostPrograms find_host_programs(const std::string& arch, bool need_xvfb, const std::string& path_value)
{
    HostPrograms programs;
    const std::optional<fs::path> wine = find_on_path("wine", path_value);
    if (arch == "win64") {
        std::optional<fs::path> loader = find_on_path("wine64", path_value);
        if (!loader && wine)
            loader = loader_beside(*wine, "wine64");
        if (!loader)
            throw TrialError("Wine is not on PATH: install the Debian packages wine and wine64");
        programs.loader = *loader;
    } else {
        if (!wine)
            throw TrialError("Wine is not on PATH: install the Debian package wine, and wine32:i386 for 32-bit kits");
        std::optional<fs::path> loader = loader_beside(*wine, "wine");
        if (!loader && is_program(*wine))
            loader = *wine;
        if (!loader)
            throw TrialError("32-bit Wine is missing, which a 32-bit kit needs: run scripts/install-wine32, or install "
                             "the Debian package wine32:i386");
        programs.loader = *loader;
    }
    if (auto server = find_on_path("wineserver", path_value))
        programs.wineserver = *server;
    else if (auto beside = loader_beside(programs.loader, "wineserver"))
        programs.wineserver = *beside;
    else
        throw TrialError("wineserver is not on PATH: install the Debian package wine");
    if (need_xvfb) {
        const std::optional<fs::path> xvfb = find_on_path("Xvfb", path_value);
        if (!xvfb)
            throw TrialError("Xvfb is not on PATH, and without a display the kit runs on one: install the Debian "
                             "package xvfb");
        programs.xvfb = *xvfb;
    }
    if (auto import = find_on_path("import", path_value))
        programs.screenshot = *import;
    return programs;
}

}  // namespace upkit::kittry
