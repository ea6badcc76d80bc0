#include "kit_runtime_location.h"

#include <cstdlib>

#ifdef _WIN32
#include <windows.h>
#endif

namespace fs = std::filesystem;

namespace upkit {

std::string kit_runtime_file_name(std::string_view arch)
{
    return "kit-runtime-" + std::string(arch) + ".exe";
}

fs::path running_program_folder()
{
#ifdef _WIN32
    wchar_t buffer[32768];
    const DWORD length = GetModuleFileNameW(nullptr, buffer, static_cast<DWORD>(std::size(buffer)));
    if (length == 0 || length >= std::size(buffer))
        return {};
    return fs::path(std::wstring(buffer, length)).parent_path();
#else
    std::error_code ec;
    const fs::path self = fs::read_symlink("/proc/self/exe", ec);
    return ec ? fs::path() : self.parent_path();
#endif
}

std::vector<fs::path> kit_runtime_folders()
{
    std::vector<fs::path> folders;
    if (const char* dir = std::getenv("UPKIT_RUNTIME_DIR"); dir && *dir)
        folders.emplace_back(dir);
    const fs::path own = running_program_folder();
    if (!own.empty()) {
        folders.push_back(own);
        folders.push_back(own.parent_path() / "lib" / "upkit");
    }
    return folders;
}

std::optional<fs::path> find_kit_runtime(std::string_view arch)
{
    const std::string name = kit_runtime_file_name(arch);
    for (const fs::path& folder : kit_runtime_folders()) {
        std::error_code ec;
        if (fs::is_regular_file(folder / name, ec))
            return folder / name;
    }
    return std::nullopt;
}

}  // namespace upkit
