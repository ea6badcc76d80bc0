#include <algorithm>
#include <condition_variable>
#include <exception>
#include <functional>
#include <mutex>
#include <thread>
#include <filesystem>
#include <fmt/format.h>
#include <fstream>
#include <map>
#include <stdexcept>

#include "archive_writer.h"
#include "cli_output.h"
#include "commands.h"
#include "engine_paths.h"
#include "member_names.h"
#include "member_sources.h"
#include "progress.h"
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

std::vector<MemberSource> gather_sources(const CreateOptions& options, std::ostream& err)
{
    const OwnOutputs own(options.archive);
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
    for (const std::string& input : options.inputs) {
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

// The members, read with the progress line showing how far.
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

// The archive's files: the first holds the image's start, the others follow
// as continuation files.
std::vector<std::vector<std::uint8_t>> volumes_of(std::vector<std::uint8_t> image,
                                                  std::optional<std::uint64_t> volume_size)
{
    if (!volume_size || *volume_size >= image.size()) {
        std::vector<std::vector<std::uint8_t>> one;
        one.push_back(std::move(image));
        return one;
    }
    return split_into_volumes(image, static_cast<std::size_t>(*volume_size));
}

std::vector<std::string> output_paths(const std::string& archive, std::size_t count)
{
    std::vector<std::string> paths = {archive};
    for (std::size_t n = 2; n <= count; ++n) {
        const std::optional<std::string> path = continuation_path(archive, static_cast<int>(n));
        if (!path)
            throw SourceError(archive,
                              "cannot be split: readers would look for its continuation files outside its "
                              "folder (a dot and a space in a folder name); choose another path",
                              kExitUsage);
        paths.push_back(*path);
    }
    return paths;
}

void write_file(const std::string& path, const std::vector<std::uint8_t>& data)
{
    std::ofstream file(host_path_of(path), std::ios::binary | std::ios::trunc);
    if (file)
        file.write(reinterpret_cast<const char*>(data.data()), static_cast<std::streamsize>(data.size()));
    if (file)
        file.close();
    if (!file)
        throw SourceError(path, "cannot write the file", kExitIoError);
}

// Writes every file, or on failure removes those written so far: a partly
// written archive would look whole to someone shipping it.
void write_volumes(const std::vector<std::string>& paths, const std::vector<std::vector<std::uint8_t>>& volumes)
{
    for (std::size_t i = 0; i < volumes.size(); ++i) {
        try {
            write_file(paths[i], volumes[i]);
        } catch (...) {
            for (std::size_t j = 0; j <= i; ++j) {
                std::error_code ec;
                fs::remove(host_path_of(paths[j]), ec);
            }
            throw;
        }
    }
}

// encode_archive, with a turning mark on the progress line while it works
// (the encoder tells nothing of how far it has come).
std::vector<std::uint8_t> encode(const std::vector<MemberInput>& members, const EncoderOptions& encoder,
                                 std::uint64_t total_in, ProgressLine& progress)
{
    if (!progress.active())
        return encode_archive(members, encoder);
    std::vector<std::uint8_t> image;
    std::exception_ptr failure;
    std::mutex mutex;
    std::condition_variable finished_changed;
    bool finished = false;
    std::thread worker([&] {
        try {
            image = encode_archive(members, encoder);
        } catch (...) {
            failure = std::current_exception();
        }
        const std::lock_guard<std::mutex> lock(mutex);
        finished = true;
        finished_changed.notify_one();
    });
    const std::string text = fmt::format("compressing {}", byte_count_text(total_in));
    unsigned tick = 0;
    {
        std::unique_lock<std::mutex> lock(mutex);
        while (!finished_changed.wait_for(lock, std::chrono::milliseconds(125), [&] { return finished; }))
            progress.update_activity(text, tick++);
    }
    worker.join();
    if (failure)
        std::rethrow_exception(failure);
    return image;
}

}  // namespace

int command_create(const CreateOptions& options, std::ostream& out, std::ostream& err)
{
    try {
        if (!to_engine_path(options.archive))
            throw SourceError(options.archive,
                              "a backslash in a path cannot be passed on (it would be read as a separator)",
                              kExitUsage);
        std::vector<MemberSource> sources = gather_sources(options, err);
        if (sources.empty())
            throw SourceError(options.archive, "no files to store");
        std::sort(sources.begin(), sources.end(),
                  [](const MemberSource& a, const MemberSource& b) { return a.stored < b.stored; });
        check_stored_names(sources);

        ProgressLine progress(err, options.console, !options.quiet);
        const std::vector<MemberInput> members = read_sources(sources, progress);
        std::uint64_t total_in = 0;
        for (const MemberInput& member : members)
            total_in += member.data.size();

        const EncoderOptions encoder =
            level_options(options.level, options.window_bits.value_or(fitting_window_bits(total_in, kDefaultWindowBits)));
        std::vector<std::uint8_t> image;
        try {
            image = encode(members, encoder, total_in, progress);
        } catch (const std::invalid_argument& e) {
            throw SourceError(options.archive, e.what());
        }
        progress.clear();

        const auto volumes = volumes_of(std::move(image), options.volume_size);
        const std::vector<std::string> paths = output_paths(options.archive, volumes.size());
        write_volumes(paths, volumes);

        // Continuation files of an earlier, longer archive of this name would
        // be taken for part of this one by anyone copying the set.
        if (const std::optional<std::string> next =
                continuation_path(options.archive, static_cast<int>(volumes.size() + 1))) {
            std::error_code ec;
            if (fs::exists(host_path_of(*next), ec))
                print_warning(err,
                              fmt::format("{} is left from an earlier archive and does not belong to {}; remove it",
                                          printable(*next), printable(options.archive)));
        }

        if (!options.quiet) {
            std::uint64_t total_out = 0;
            for (const auto& volume : volumes)
                total_out += volume.size();
            std::string line = fmt::format("{}: {} members, {} bytes in, {} bytes out", printable(options.archive),
                                           members.size(), total_in, total_out);
            if (total_in > 0)
                line +=
                    fmt::format(" ({:.1f}%)", 100.0 * static_cast<double>(total_out) / static_cast<double>(total_in));
            if (volumes.size() > 1)
                line += fmt::format(", {} files", volumes.size());
            out << line << '\n';
        }
        return 0;
    } catch (const SourceError& e) {
        print_error(err, e.file, e.what());
        return e.status;
    }
}

}  // namespace upkit
