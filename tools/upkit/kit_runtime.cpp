#include "kit_runtime.h"

#include <fmt/format.h>
#include <fstream>
#include <iterator>

#include "diagnostics.h"
#include "kit_runtime_location.h"

namespace fs = std::filesystem;
using upkit::kitbuild::KitError;

namespace upkit {

namespace {

const std::uint16_t kMachineI386 = 0x014C;
const std::uint16_t kMachineAmd64 = 0x8664;

std::vector<std::uint8_t> read_file(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    if (!in)
        throw KitError(fmt::format("{}: cannot open the file", path.string()));
    std::vector<std::uint8_t> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (in.bad())
        throw KitError(fmt::format("{}: cannot read the file", path.string()));
    return bytes;
}

// The machine a PE image is built for, or 0 when the bytes are no PE image.
std::uint16_t image_machine(const std::vector<std::uint8_t>& image)
{
    if (image.size() < 0x40 || image[0] != 'M' || image[1] != 'Z')
        return 0;
    const std::uint32_t pe = image[0x3C] | image[0x3D] << 8 | image[0x3E] << 16 | std::uint32_t(image[0x3F]) << 24;
    if (pe > image.size() || image.size() - pe < 6 || image[pe] != 'P' || image[pe + 1] != 'E' || image[pe + 2] ||
        image[pe + 3])
        return 0;
    return static_cast<std::uint16_t>(image[pe + 4] | image[pe + 5] << 8);
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
        throw KitError(fmt::format("no {} kit runtime ({}) in {}; give one with --runtime",
                                   arch, kit_runtime_file_name(arch),
                                   searched.empty() ? "any known folder" : searched));
    }
    std::vector<std::uint8_t> runtime = read_file(used);
    const std::uint16_t expected = arch == "win64" ? kMachineAmd64 : kMachineI386;
    const std::uint16_t machine = image_machine(runtime);
    if (machine == 0)
        throw KitError(fmt::format("{}: not a Windows program", used.string()));
    if (machine != expected)
        throw KitError(fmt::format("{}: a runtime for {}, not for {}", used.string(),
                                   machine == kMachineAmd64 ? "win64" : machine == kMachineI386 ? "win32" : "another machine",
                                   arch));
    return runtime;
}

}  // namespace upkit
