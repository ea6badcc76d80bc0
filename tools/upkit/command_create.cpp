#include <CLI/CLI.hpp>
#include <algorithm>
#include <charconv>
#include <condition_variable>
#include <exception>
#include <filesystem>
#include <fmt/format.h>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <thread>

#include "archive_volumes.h"
#include "archive_writer.h"
#include "cli_output.h"
#include "command.h"
#include "create_sources.h"
#include "engine_paths.h"
#include "exit_status.h"
#include "member_order.h"
#include "member_sources.h"
#include "progress.h"
#include "text_codec.h"

namespace fs = std::filesystem;

namespace upkit {

namespace {

// Smallest continuation file size --volume-size accepts.
const std::uint64_t kMinVolumeSize = 64;
// By default the window is the smallest that holds the input, at most this.
const int kDefaultWindowBits = 18;

struct CreateOptions {
    std::string archive;
    std::vector<std::string> inputs;  // files and folders
    std::optional<int> window_bits;   // default: fitted to the input, at most 18
    int level = kDefaultLevel;        // 1 (fastest) to 9 (smallest)
    std::optional<std::uint64_t> volume_size;
    MemberOrder order = MemberOrder::name;
    bool quiet = false;
};

// A whole number of bytes, at least kMinVolumeSize. Checked on the text: the
// number conversion would take "-5" for a huge unsigned value.
CLI::Validator volume_size_check()
{
    return CLI::Validator(
        [](std::string& text) -> std::string {
            const std::string message = fmt::format("must be a whole number of bytes, at least {}", kMinVolumeSize);
            if (text.empty() || text.find_first_not_of("0123456789") != std::string::npos)
                return message;
            std::uint64_t value = 0;
            const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
            if (ec != std::errc() || end != text.data() + text.size() || value < kMinVolumeSize)
                return message;
            return std::string();
        },
        "BYTES");
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

int run_create(const CreateOptions& options, const Console& console, std::ostream& out, std::ostream& err)
{
    try {
        if (!to_engine_path(options.archive))
            throw SourceError(options.archive,
                              "a backslash in a path cannot be passed on (it would be read as a separator)",
                              kExitUsage);
        std::vector<MemberSource> sources = gather_sources(options.archive, options.inputs, err);
        if (sources.empty())
            throw SourceError(options.archive, "no files to store");
        order_members(sources, options.order);
        check_stored_names(sources);

        ProgressLine progress(err, console, !options.quiet);
        const std::vector<MemberInput> members = read_sources(sources, progress);
        std::uint64_t total_in = 0;
        for (const MemberInput& member : members)
            total_in += member.data.size();

        const EncoderOptions encoder =
            level_options(options.level,
                          options.window_bits.value_or(fitting_window_bits(total_in, kDefaultWindowBits)));
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
        return kExitOk;
    } catch (const SourceError& e) {
        print_error(err, e.file, e.what());
        return e.status;
    }
}

}  // namespace

void add_create_command(CLI::App& app, CommandRun& run)
{
    // Parsed into these, then copied into the options: -w and --volume-size
    // count only when given.
    struct Parsed {
        CreateOptions options;
        int window_bits = kDefaultWindowBits;
        std::uint64_t volume_size = 0;
        std::string order = "name";
    };
    const auto parsed = std::make_shared<Parsed>();
    CreateOptions& options = parsed->options;
    CLI::App* command = app.add_subcommand("create", "Make an archive from files and folders");
    command->footer("A folder's files are stored below it, with backslashes between folders, a file\n"
                    "argument under its own name; names are stored in Windows-1252. Members are\n"
                    "sorted by name (or, with --order kind, grouped by extension, which can compress\n"
                    "better) and keep each file's modification time. An existing archive of that\n"
                    "name is replaced. A progress line shows on stderr when it is a terminal.\n");
    command->add_option("ARCHIVE", options.archive, "Archive to write (continuation files beside it: .002, ...)")
        ->required();
    command->add_option("PATH", options.inputs, "Files, and folders whose files are stored below them")->required();
    CLI::Option* window_option =
        command
            ->add_option("-w,--window", parsed->window_bits,
                         "Window bits (default: the smallest that holds the input, at most 18)")
            ->check(CLI::Range(kMinEncoderWindowBits, kMaxEncoderWindowBits));
    command->add_option("-l,--level", options.level, "Compression level, 1 (fastest) to 9 (smallest); default 5")
        ->check(CLI::Range(kMinLevel, kMaxLevel));
    CLI::Option* volume_option =
        command->add_option("--volume-size", parsed->volume_size, "Split into files of at most this many bytes")
            ->check(volume_size_check());
    command
        ->add_option("--order", parsed->order,
                     "Member order: name (the default), or kind (by extension, then name: like files together)")
        ->check(CLI::IsMember({"name", "kind"}));
    command->add_flag("-q,--quiet", options.quiet, "No summary line and no progress line");

    command->callback([parsed, window_option, volume_option, &run] {
        if (window_option->count())
            parsed->options.window_bits = parsed->window_bits;
        if (volume_option->count())
            parsed->options.volume_size = parsed->volume_size;
        parsed->options.order = *member_order_named(parsed->order);
        run = [parsed](const CommandStreams& streams) {
            return run_create(parsed->options, streams.console, streams.out, streams.err);
        };
    });
}

}  // namespace upkit
