#include "release_files.h"

#include <algorithm>
#include <fmt/format.h>
#include <fstream>

#include "exit_status.h"
#include "member_sources.h"
#include "name_folding.h"
#include "plan_error.h"
#include "text_codec.h"

namespace fs = std::filesystem;

namespace upkit::kitplan {

namespace {

std::string backslashed_name(const fs::path& relative)
{
    std::string name;
    for (const fs::path& component : relative)
        name += (name.empty() ? "" : "\\") + utf8_from_path(component);
    return name;
}

[[noreturn]] void cannot_read(const fs::path& file)
{
    throw PlanError(fmt::format("{}: cannot read the file", printable(shown_path(file))), kExitIoError);
}

}  // namespace

ReleaseFiles::ReleaseFiles(const fs::path& folder)
{
    std::error_code ec;
    fs::recursive_directory_iterator it(folder, ec);
    for (; !ec && it != fs::recursive_directory_iterator(); it.increment(ec)) {
        std::error_code type_ec;
        if (!it->is_regular_file(type_ec))
            continue;
        const std::string name = backslashed_name(it->path().lexically_relative(folder));
        files_[folded_utf8_name(name)].push_back(ReleaseFile{it->path(), name});
    }
    // A folder that could not be read would make its files look removed.
    if (ec)
        throw PlanError(fmt::format("{}: cannot read the folder: {}", printable(shown_path(folder)), ec.message()),
                        kExitIoError);
}

const std::vector<ReleaseFile>& ReleaseFiles::find(const std::u32string& folded) const
{
    static const std::vector<ReleaseFile> none;
    const auto found = files_.find(folded);
    return found != files_.end() ? found->second : none;
}

bool same_contents(const fs::path& a, const fs::path& b)
{
    std::error_code ec_a, ec_b;
    const std::uintmax_t size_a = fs::file_size(a, ec_a);
    if (ec_a)
        cannot_read(a);
    const std::uintmax_t size_b = fs::file_size(b, ec_b);
    if (ec_b)
        cannot_read(b);
    if (size_a != size_b)
        return false;
    std::ifstream in_a(a, std::ios::binary);
    if (!in_a)
        cannot_read(a);
    std::ifstream in_b(b, std::ios::binary);
    if (!in_b)
        cannot_read(b);
    std::vector<char> block_a(65536), block_b(65536);
    for (;;) {
        in_a.read(block_a.data(), static_cast<std::streamsize>(block_a.size()));
        in_b.read(block_b.data(), static_cast<std::streamsize>(block_b.size()));
        if (in_a.bad())
            cannot_read(a);
        if (in_b.bad())
            cannot_read(b);
        const std::streamsize count = in_a.gcount();
        // Equal sizes, yet one ended first: a file changed while it was read.
        if (count != in_b.gcount())
            return false;
        if (count == 0)
            return true;
        if (!std::equal(block_a.begin(), block_a.begin() + count, block_b.begin()))
            return false;
    }
}

}  // namespace upkit::kitplan
