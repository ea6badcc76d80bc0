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

const char* const kMemberHelp = "Members to work on, by stored name or pattern (default: all)";

const char* const kMemberFooter =
    "MEMBER is a stored name or a pattern: * stands for any characters (\\ included),\n"
    "? for one. They are matched as Windows matches file names: case ignored, / and\n"
    "\\ alike. A folder's name selects the members below it. A MEMBER that matches\n"
    "nothing is an error (exit status 5) and nothing is done.\n";

const char* const kExitFooter =
    "Exit status:\n"
    "  0  all went well\n"
    "  1  data error: a damaged or truncated archive, a check value mismatch, a kit or\n"
    "     input files an archive cannot carry\n"
    "  2  command-line error\n"
    "  3  I/O error: an input cannot be opened or read, or an output cannot be written\n"
    "  4  extract left existing files alone (use --overwrite or --skip-existing)\n"
    "  5  a MEMBER matched no member (nothing was done)\n";

}  // namespace

int run_upkit(int argc, char** argv, std::ostream& out, std::ostream& err)
{
    return run_upkit(argc, argv, out, err, Console{});
}

int run_upkit(int argc, char** argv, std::ostream& out, std::ostream& err, const Console& console)
{
    CLI::App app{"Makes, lists, tests and unpacks KW archives; builds, inspects and dumps upgrade kits.", "upkit"};
    app.set_version_flag("--version", UPKIT_VERSION, "Show the version and exit");
    app.set_help_flag("-h,--help", "Show this help and exit");
    app.footer(std::string("Run upkit COMMAND --help for a command's options.\n\n") + kExitFooter);
    app.require_subcommand(1);
    // Paths may start with a slash on Windows too: no /option syntax.
    app.allow_windows_style_options(false);

    CreateOptions create;
    int window_bits = kDefaultWindowBits;
    std::uint64_t volume_size = 0;
    CLI::App* create_command = app.add_subcommand("create", "Make an archive from files and folders");
    create_command->footer(
        "A folder's files are stored below it, with backslashes between folders, a file\n"
        "argument under its own name; names are stored in Windows-1252. Members are\n"
        "sorted by name and keep each file's modification time. An existing archive of\n"
        "that name is replaced. A progress line shows on stderr when it is a terminal.\n");
    create_command->add_option("ARCHIVE", create.archive, "Archive to write (continuation files beside it: .002, ...)")
        ->required();
    create_command->add_option("PATH", create.inputs, "Files, and folders whose files are stored below them")
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
    create_command->add_flag("-q,--quiet", create.quiet, "No summary line and no progress line");

    ListOptions list;
    CLI::App* list_command = app.add_subcommand("list", "Show an archive's members");
    list_command->footer(
        "Shows size, time, name and note of each member (of every archive a kit carries),\n"
        "and the totals, with the archive's size on disk. Names are shown in UTF-8.\n\n" +
        std::string(kMemberFooter));
    list_command->add_option("ARCHIVE", list.archive, "Archive or kit program to read")->required();
    list_command->add_option("MEMBER", list.members, kMemberHelp);
    list_command->add_flag("--json", list.json,
                           "One JSON object instead of a table: names in UTF-8, times in ISO 8601, sizes in bytes");

    TestOptions test;
    CLI::App* test_command = app.add_subcommand("test", "Decode every member and check its check value");
    test_command->footer(
        "Decodes the members without writing them and compares each one's check value\n"
        "(every archive of a kit). With MEMBERs, every member up to the last one selected\n"
        "is decoded. A progress line shows on stderr when it is a terminal.\n\n" +
        std::string(kMemberFooter));
    test_command->add_option("ARCHIVE", test.archive, "Archive or kit program to read")->required();
    test_command->add_option("MEMBER", test.members, kMemberHelp);
    test_command->add_flag("-q,--quiet", test.quiet, "No OK line and no progress line");

    ExtractOptions extract;
    bool overwrite = false;
    bool skip_existing = false;
    CLI::App* extract_command = app.add_subcommand("extract", "Write an archive's members below a folder");
    extract_command->footer(
        "Writes the members below the folder with their stored times, under their names\n"
        "in UTF-8; a kit's archives go to archive-<id>/ each, or with --layout\n"
        "destinations to install/, windows/ and system/. An archive with a name that\n"
        "would land outside the folder is refused before anything is written. A member\n"
        "whose file exists is not written, with a message and exit status 4, unless\n"
        "--overwrite or --skip-existing is given. A progress line shows on stderr when\n"
        "it is a terminal.\n\n" +
        std::string(kMemberFooter));
    extract_command->add_option("ARCHIVE", extract.archive, "Archive or kit program to read")->required();
    extract_command->add_option("MEMBER", extract.members, kMemberHelp);
    extract_command->add_option("-d,--directory", extract.directory, "Target folder (default: the current one)");
    CLI::Option* overwrite_option =
        extract_command->add_flag("--overwrite", overwrite, "Replace files that exist already");
    extract_command->add_flag("--skip-existing", skip_existing, "Leave files that exist already alone, silently")
        ->excludes(overwrite_option);
    extract_command->add_option("--layout", extract.layout,
                                "A kit's archives: one folder each (archives, the default), or the install, "
                                "windows and system folders they install into (destinations)")
        ->check(CLI::IsMember({"archives", "destinations"}));
    extract_command->add_flag("-q,--quiet", extract.quiet, "Do not print member names, no progress line");

    BuildOptions build;
    CLI::App* build_command = app.add_subcommand("build", "Make a kit program from its manifest");
    build_command->add_option("MANIFEST", build.manifest, "The kit's manifest (TOML)")->required();
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
    inspect_command->add_option("KIT", inspect.kit, "Kit program to read")->required();
    inspect_command->add_flag("--json", inspect.json, "One JSON object instead of text");

    DumpOptions dump;
    CLI::App* dump_command = app.add_subcommand("dump", "Write a kit's manifest and the files it names");
    dump_command->add_option("KIT", dump.kit, "Kit program to read")->required();
    dump_command->add_option("-o,--output", dump.directory, "Folder to write kit.toml and its files into")
        ->required();
    dump_command->add_flag("-q,--quiet", dump.quiet, "No summary line");

    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& e) {
        // Help and version requests end here too, with status 0.
        return app.exit(e, out, err) == 0 ? kExitOk : kExitUsage;
    }
    create.console = console;
    test.console = console;
    extract.console = console;
    extract.existing = overwrite ? Existing::overwrite : skip_existing ? Existing::skip : Existing::refuse;

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
        return kExitDataError;
    }
}
