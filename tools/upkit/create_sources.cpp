#include "create_sources.h"

#include <algorithm>
#include <filesystem>
#include <fmt/format.h>

#include "cli_output.h"
#include "engine_paths.h"
#include "member_names.h"
#include "text_codec.h"

namespace fs = std::filesystem;

namespace upkit {

namespace {

// The files this run writes, which must not be read as input: the archive
// and its continuation files as they exist now.
class OwnOutputs {
public:
    explicit OwnOutputs(const std::string& archive)
    {
        std::error_code ec;
        if (fs::is_regular_file(host_path_of(archive), ec))
            paths_.push_back(host_path_of(archive));
        for (int n = 2;; ++n) {
            const std::optional<std::string> next = continuation_path(archive, n);
            if (!next || !fs::is_regular_file(host_path_of(*next), ec))
                break;
            paths_.push_back(host_path_of(*next));
        }
    }

    bool contains(const fs::path& file) const
    {
        for (const fs::path& own : paths_) {
            std::error_code ec;
            if (folded_name(shown_path(own.filename())) == folded_name(shown_path(file.filename())) &&
                fs::equivalent(own, file, ec))
                return true;
        }
        return false;
    }

private:
    std::vector<fs::path> paths_;
};

}  // namespace

std::vector<MemberSource> gather_sources(const std::string& archive, const std::vector<std::string>& inputs,
                                         std::ostream& err)
{
    const OwnOutputs own(archive);
    SourceWalk walk;
    walk.skip = [&](const fs::path& path, std::string_view why) {
        print_warning(err, fmt::format("{}: {}, skipped", printable(shown_path(path)), why));
    };
    walk.exclude = [&](const fs::path& path) -> std::optional<std::string> {
        if (own.contains(path))
            return "the archive being written";
        return std::nullopt;
    };
    std::vector<MemberSource> sources;
    for (const std::string& input : inputs) {
        const fs::path path = host_path_of(input);
        std::error_code ec;
        const fs::file_status status = fs::status(path, ec);
        if (fs::is_directory(status)) {
            const std::vector<MemberSource> found = folder_sources(path, walk);
            sources.insert(sources.end(), found.begin(), found.end());
        } else if (fs::is_regular_file(status)) {
            if (own.contains(path))
                throw SourceError(input, "the archive cannot be one of its own inputs", kExitUsage);
            sources.push_back(MemberSource{path, input, stored_name_of(path.filename(), path)});
        } else if (fs::exists(status)) {
            throw SourceError(input, "neither a file nor a folder", kExitIoError);
        } else {
            throw SourceError(input, "no such file or folder", kExitIoError);
        }
    }
    return sources;
}

std::vector<MemberInput> read_sources(const std::vector<MemberSource>& sources, ProgressLine& progress)
{
    std::uint64_t expected = 0;
    for (const MemberSource& source : sources) {
        std::error_code ec;
        const std::uintmax_t size = fs::file_size(source.path, ec);
        expected += ec ? 0 : size;
    }
    std::uint64_t done = 0;
    return read_members(sources, std::nullopt, [&](const MemberSource& source, std::uint64_t n) {
        done += n;
        progress.update(done, std::max(done, expected), source.shown);
    });
}

}  // namespace upkit
