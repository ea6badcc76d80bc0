#include "kit_runtime.h"

#include <fmt/format.h>
#include <fstream>
#include <iterator>

#include "diagnostics.h"
#include "kit_runtime_location.h"
#include "open_failure.h"
#include "pe_image.h"

namespace fs = std::filesystem;
using upkit::kitbuild::KitError;

namespace upkit {

namespace {

std::vector<std::uint8_t> read_file(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    if (!in)
        throw KitError(fmt::format("{}: {}", path.string(), cannot_open_file(path)));
    std::vector<std::uint8_t> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (in.bad())
        throw KitError(fmt::format("{}: cannot read the file", path.string()));
    return bytes;
}

}  // namespace

std::vector<std::uint8_t> load_kit_runtime(const std::optional<std::string>& given, const std::string& arch,
                                           fs::path& used)
{
    if (given) {
        used = *given;
    } else if (const std::optional<fs::path> found = find_kit_runtime(arch)) {
        used = *found;
    } else {
        std::string searched;
        for (const fs::path& folder : kit_runtime_folders())
            searched += (searched.empty() ? "" : ", ") + folder.string();
        throw KitError(fmt::format("no {} kit runtime ({}) in {}; give one with --runtime", arch,
                                   kit_runtime_file_name(arch), searched.empty() ? "any known folder" : searched));
    }
    std::vector<std::uint8_t> runtime = read_file(used);
    std::uint16_t machine = 0;
    try {
        machine = pe::PeImage(runtime).coff().machine;
    } catch (const pe::PeError& e) {
        throw KitError(fmt::format("{}: not a Windows program ({})", used.string(), e.what()));
    }
    const std::uint16_t expected = arch == "win64" ? pe::kMachineAmd64 : pe::kMachineI386;
    if (machine != expected)
        throw KitError(fmt::format("{}: a runtime for {}, not for {}", used.string(),
                                   machine == pe::kMachineAmd64  ? "win64"
                                   : machine == pe::kMachineI386 ? "win32"
                                                                 : "another machine",
                                   arch));
    return runtime;
}

}  // namespace upkit
