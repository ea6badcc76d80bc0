#include <CLI/CLI.hpp>
#include <charconv>
#include <exception>
#include <fmt/format.h>

#include "archive_writer.h"
#include "commands.h"
#include "upkit_cli.h"

using namespace upkit;

namespace {

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

}  // namespace

int run_upkit(int argc, char** argv, std::ostream& out, std::ostream& err)
{
    CLI::App app{"Builds, lists, tests and unpacks upgrade kit archives.", "upkit"};
    app.set_version_flag("--version", UPKIT_VERSION);
    app.require_subcommand(1);
    // Paths may start with a slash on Windows too: no /option syntax.
    app.allow_windows_style_options(false);

    CreateOptions create;
    int window_bits = kDefaultWindowBits;
    std::uint64_t volume_size = 0;
    CLI::App* create_command = app.add_subcommand("create", "Make an archive from files and folders");
    create_command->add_option("archive", create.archive, "Archive to write")->required();
    create_command->add_option("paths", create.inputs, "Files, and folders whose files are stored below them")
        ->required();
    CLI::Option* window_option =
        create_command
            ->add_option("-w,--window", window_bits,
                         "Window bits (default: the smallest that holds the input, at most 18)")
            ->check(CLI::Range(kMinEncoderWindowBits, kMaxEncoderWindowBits));
    create_command->add_option("-l,--level", create.level, "Compression level, 1 (fastest) to 9 (smallest); default 5")
        ->check(CLI::Range(kMinLevel, kMaxLevel));
    CLI::Option* volume_option =
        create_command->add_option("--volume-size", volume_size, "Split into files of at most this many bytes")
            ->check(volume_size_check());
    create_command->add_flag("-q,--quiet", create.quiet, "No summary line");

    ListOptions list;
    CLI::App* list_command = app.add_subcommand("list", "Show an archive's members");
    list_command->add_option("archive", list.archive, "Archive or kit program to read")->required();
    list_command->add_flag("--json", list.json, "One JSON object instead of a table");

    TestOptions test;
    CLI::App* test_command = app.add_subcommand("test", "Decode every member and check its check value");
    test_command->add_option("archive", test.archive, "Archive or kit program to read")->required();

    ExtractOptions extract;
    CLI::App* extract_command = app.add_subcommand("extract", "Write an archive's members below a folder");
    extract_command->add_option("archive", extract.archive, "Archive or kit program to read")->required();
    extract_command->add_option("-d,--directory", extract.directory, "Target folder (default: the current one)");
    extract_command->add_option("--layout", extract.layout,
                                "A kit's archives: one folder each (archives, the default), or the install, "
                                "windows and system folders they install into (destinations)")
        ->check(CLI::IsMember({"archives", "destinations"}));
    extract_command->add_flag("-q,--quiet", extract.quiet, "Do not print member names");

    BuildOptions build;
    CLI::App* build_command = app.add_subcommand("build", "Make a kit program from its manifest");
    build_command->add_option("manifest", build.manifest, "The kit's manifest (TOML)")->required();
    build_command->add_option("-o,--output", build.output, "Kit to write (default: the manifest's name, .exe)");
    build_command->add_option("--arch", build.arch, "The kit's Windows: win32 (default) or win64")
        ->check(CLI::IsMember({"win32", "win64"}));
    build_command->add_option("--runtime", build.runtime, "The prebuilt kit runtime to use");
    build_command->add_option("--files", build.files, "Folder of built inputs, for paths given with from = \"files\"");
    build_command->add_option("--sign-command", build.sign_command,
                              "Run this on the finished kit, {} standing for its path (e.g. a signing tool)");
    build_command->add_option("--depfile", build.depfile, "Also write a make-style list of the files read");
    build_command->add_flag("-q,--quiet", build.quiet, "No summary line");

    InspectOptions inspect;
    CLI::App* inspect_command =
        app.add_subcommand("inspect", "Show a kit's version block, strings, dialog, tables and archives");
    inspect_command->add_option("kit", inspect.kit, "Kit program to read")->required();
    inspect_command->add_flag("--json", inspect.json, "One JSON object instead of text");

    DumpOptions dump;
    CLI::App* dump_command = app.add_subcommand("dump", "Write a kit's manifest and the files it names");
    dump_command->add_option("kit", dump.kit, "Kit program to read")->required();
    dump_command->add_option("-o,--output", dump.directory, "Folder to write kit.toml and its files into")
        ->required();
    dump_command->add_flag("-q,--quiet", dump.quiet, "No summary line");

    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& e) {
        // Help and version requests end here too, with status 0.
        return app.exit(e, out, err) == 0 ? 0 : 2;
    }

    try {
        if (*create_command) {
            if (window_option->count())
                create.window_bits = window_bits;
            if (volume_option->count())
                create.volume_size = volume_size;
            return command_create(create, out, err);
        }
        if (*build_command)
            return command_build(build, out, err);
        if (*dump_command)
            return command_dump(dump, out, err);
        if (*list_command)
            return command_list(list, out, err);
        if (*test_command)
            return command_test(test, out, err);
        if (*inspect_command)
            return command_inspect(inspect, out, err);
        return command_extract(extract, out, err);
    } catch (const std::exception& e) {
        err << "upkit: " << e.what() << '\n';
        return 1;
    }
}
