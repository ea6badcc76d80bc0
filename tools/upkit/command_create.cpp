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
#include "dos_time.h"
#include "engine_paths.h"
#include "member_names.h"
#include "progress.h"

namespace fs = std::filesystem;

namespace upkit {

namespace {

// A failure already worth one error line: the file it concerns and what.
struct CreateError : std::runtime_error {
    CreateError(std::string file_in, const std::string& what, int status_in = kExitDataError)
        : std::runtime_error(what), file(std::move(file_in)), status(status_in)
    {
    }
    std::string file;
    int status;  // exit_status.h
};

struct Source {
    fs::path path;
    std::string display;  // host text, for messages
    std::string stored;   // stored name
};

std::string display_of(const fs::path& path)
{
    return host_text_of(path).value_or(path.string());
}

// The stored name of a file below a folder: its relative path, components
// joined with backslashes.
std::string stored_name_of(const fs::path& relative, const fs::path& file)
{
    std::string name;
    for (const fs::path& component : relative) {
        // Stored names are Windows-1252; the host's names are UTF-8 (natively
        // by convention, on Windows from UTF-16).
#ifdef _WIN32
        const std::u8string utf8 = component.u8string();
        const std::optional<std::string> text = windows1252_from_utf8(std::string(utf8.begin(), utf8.end()));
#else
        const std::optional<std::string> text = windows1252_from_utf8(component.native());
#endif
        if (!text)
            throw CreateError(display_of(file),
                              "the name cannot be stored: it is not UTF-8, or holds a character that Windows-1252, "
                              "the archive's character set, lacks");
        if (text->find('\\') != std::string::npos)
            throw CreateError(display_of(file), "a backslash in a file or folder name cannot be stored");
        if (!name.empty())
            name += '\\';
        name += *text;
    }
    return name;
}

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
            if (folded_name(display_of(own.filename())) == folded_name(display_of(file.filename())) &&
                fs::equivalent(own, file, ec))
                return true;
        }
        return false;
    }

private:
    std::vector<fs::path> paths_;
};

void add_folder(const fs::path& folder, const OwnOutputs& own, std::vector<Source>& sources, std::ostream& err)
{
    std::error_code ec;
    fs::recursive_directory_iterator it(folder, ec);
    for (; !ec && it != fs::recursive_directory_iterator(); it.increment(ec)) {
        const fs::directory_entry& entry = *it;
        std::error_code type_ec;
        if (entry.is_directory(type_ec)) {
            if (entry.is_symlink(type_ec))
                print_warning(err,
                              fmt::format("{}: link to a folder not followed", printable(display_of(entry.path()))));
            continue;
        }
        if (!entry.is_regular_file(type_ec)) {
            print_warning(err, fmt::format("{}: not a regular file, skipped", printable(display_of(entry.path()))));
            continue;
        }
        if (own.contains(entry.path())) {
            print_warning(err,
                          fmt::format("{}: the archive being written, skipped", printable(display_of(entry.path()))));
            continue;
        }
        sources.push_back(Source{entry.path(), display_of(entry.path()),
                                 stored_name_of(entry.path().lexically_relative(folder), entry.path())});
    }
    // A folder that could not be read would silently leave files out.
    if (ec)
        throw CreateError(display_of(folder), fmt::format("cannot read the folder: {}", ec.message()), kExitIoError);
}

std::vector<Source> gather_sources(const CreateOptions& options, std::ostream& err)
{
    const OwnOutputs own(options.archive);
    std::vector<Source> sources;
    for (const std::string& input : options.inputs) {
        const fs::path path = host_path_of(input);
        std::error_code ec;
        const fs::file_status status = fs::status(path, ec);
        if (fs::is_directory(status)) {
            add_folder(path, own, sources, err);
        } else if (fs::is_regular_file(status)) {
            if (own.contains(path))
                throw CreateError(input, "the archive cannot be one of its own inputs", kExitUsage);
            sources.push_back(Source{path, input, stored_name_of(path.filename(), path)});
        } else if (fs::exists(status)) {
            throw CreateError(input, "neither a file nor a folder", kExitIoError);
        } else {
            throw CreateError(input, "no such file or folder", kExitIoError);
        }
    }
    return sources;
}

// Names that cannot all be extracted side by side: equal names (ignoring
// case), and a name that is also a folder of another.
void check_stored_names(const std::vector<Source>& sources)
{
    std::map<std::string, const Source*> files;
    std::map<std::string, const Source*> folders;
    for (const Source& source : sources) {
        if (const char* reason = unsafe_name_reason(source.stored))
            throw CreateError(source.display,
                              fmt::format("cannot be stored as {}: {}",
                                          printable(utf8_from_engine_text(source.stored)), reason));
        const std::string key = folded_name(source.stored);
        const auto [existing, inserted] = files.emplace(key, &source);
        if (!inserted)
            throw CreateError(
                source.display,
                fmt::format("stored as {}, which clashes with {}{}", printable(utf8_from_engine_text(source.stored)),
                            printable(existing->second->display),
                            existing->second->stored == source.stored ? "" : " (Windows does not tell case apart)"));
        for (std::size_t at = key.find('\\'); at != std::string::npos; at = key.find('\\', at + 1))
            folders.emplace(key.substr(0, at), &source);
    }
    for (const auto& [key, source] : files) {
        const auto folder = folders.find(key);
        if (folder != folders.end())
            throw CreateError(source->display,
                              fmt::format("stored as {}, which is also a folder in the stored name of {}",
                                          printable(utf8_from_engine_text(source->stored)),
                                          printable(folder->second->display)));
    }
}

std::vector<std::uint8_t> read_file(const Source& source, const std::function<void(std::uint64_t)>& read_more)
{
    std::ifstream in(source.path, std::ios::binary);
    if (!in)
        throw CreateError(source.display, "cannot open the file", kExitIoError);
    std::vector<std::uint8_t> data;
    char buffer[65536];
    while (in.read(buffer, sizeof buffer) || in.gcount() > 0) {
        data.insert(data.end(), buffer, buffer + in.gcount());
        read_more(static_cast<std::uint64_t>(in.gcount()));
        if (data.size() > 0x7FFFFFFFu)
            throw CreateError(source.display, "the file is larger than 2 GiB");
    }
    if (in.bad())
        throw CreateError(source.display, "cannot read the file", kExitIoError);
    return data;
}

std::vector<MemberInput> read_members(const std::vector<Source>& sources, ProgressLine& progress)
{
    std::uint64_t expected = 0;
    for (const Source& source : sources) {
        std::error_code ec;
        const std::uintmax_t size = fs::file_size(source.path, ec);
        expected += ec ? 0 : size;
    }
    std::uint64_t done = 0;
    std::string current;
    const auto read_more = [&](std::uint64_t n) {
        done += n;
        progress.update(done, std::max(done, expected), current);
    };
    std::vector<MemberInput> members;
    members.reserve(sources.size());
    std::uint64_t total = 0;
    for (const Source& source : sources) {
        MemberInput member;
        member.name = source.stored;
        const std::optional<DosStamp> stamp = file_dos_stamp(source.path);
        if (!stamp)
            throw CreateError(source.display, "cannot read the file's time", kExitIoError);
        member.dos_time = stamp->time;
        member.dos_date = stamp->date;
        current = source.display;
        member.data = read_file(source, read_more);
        total += member.data.size();
        if (total > 0x7FFFFFFFu)
            throw CreateError(source.display, "the input adds up to more than 2 GiB");
        members.push_back(std::move(member));
    }
    return members;
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
            throw CreateError(archive,
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
        throw CreateError(path, "cannot write the file", kExitIoError);
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
            throw CreateError(options.archive,
                              "a backslash in a path cannot be passed on (it would be read as a separator)",
                              kExitUsage);
        std::vector<Source> sources = gather_sources(options, err);
        if (sources.empty())
            throw CreateError(options.archive, "no files to store");
        std::sort(sources.begin(), sources.end(), [](const Source& a, const Source& b) { return a.stored < b.stored; });
        check_stored_names(sources);

        ProgressLine progress(err, options.console, !options.quiet);
        const std::vector<MemberInput> members = read_members(sources, progress);
        std::uint64_t total_in = 0;
        for (const MemberInput& member : members)
            total_in += member.data.size();

        const EncoderOptions encoder =
            level_options(options.level, options.window_bits.value_or(fitting_window_bits(total_in, kDefaultWindowBits)));
        std::vector<std::uint8_t> image;
        try {
            image = encode(members, encoder, total_in, progress);
        } catch (const std::invalid_argument& e) {
            throw CreateError(options.archive, e.what());
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
    } catch (const CreateError& e) {
        print_error(err, e.file, e.what());
        return e.status;
    }
}

}  // namespace upkit
