#include <CLI/CLI.hpp>
#include <algorithm>
#include <exception>
#include <fmt/format.h>
#include <optional>
#include <string_view>
#include <vector>

#include "command.h"
#include "exit_status.h"
#include "text_codec.h"
#include "upkit_cli.h"

using namespace upkit;

namespace {

const char* const kExitFooter = "Exit status:\n"
                                "  0  all went well\n"
                                "  1  data error: a damaged or truncated archive, a check value mismatch, a kit\n"
                                "     that cannot be read, input files an archive cannot carry\n"
                                "  2  command-line error\n"
                                "  3  I/O error: an input cannot be opened or read, or an output cannot be written\n"
                                "  4  extract left existing files alone (use --overwrite or --skip-existing)\n"
                                "  5  a MEMBER matched no member (nothing was done)\n";

// After a failed parse that found no command: the first word that is no
// option, which names none of the commands (CLI11 only says that a command
// is missing). Nullopt when there is none.
std::optional<std::string> unknown_command(const CLI::App& app)
{
    if (!app.get_subcommands().empty())
        return std::nullopt;
    for (const std::string& word : app.remaining())
        if (!word.empty() && word.front() != '-')
            return word;
    return std::nullopt;
}

// "create, list, ... and dump", in the order of the help.
std::string command_names(CLI::App& app)
{
    const std::vector<CLI::App*> commands = app.get_subcommands([](CLI::App*) { return true; });
    std::string names;
    for (std::size_t k = 0; k < commands.size(); ++k) {
        if (k > 0)
            names += k + 1 == commands.size() ? " and " : ", ";
        names += commands[k]->get_name();
    }
    return names;
}

// The number of single-letter edits (insert, delete, replace, swap two
// neighbours) between two words.
std::size_t edit_distance(std::string_view a, std::string_view b)
{
    std::vector<std::vector<std::size_t>> d(a.size() + 1, std::vector<std::size_t>(b.size() + 1));
    for (std::size_t i = 0; i <= a.size(); ++i)
        d[i][0] = i;
    for (std::size_t j = 0; j <= b.size(); ++j)
        d[0][j] = j;
    for (std::size_t i = 1; i <= a.size(); ++i) {
        for (std::size_t j = 1; j <= b.size(); ++j) {
            const std::size_t change = a[i - 1] == b[j - 1] ? 0 : 1;
            d[i][j] = std::min({d[i - 1][j] + 1, d[i][j - 1] + 1, d[i - 1][j - 1] + change});
            if (i > 1 && j > 1 && a[i - 1] == b[j - 2] && a[i - 2] == b[j - 1])
                d[i][j] = std::min(d[i][j], d[i - 2][j - 2] + 1);
        }
    }
    return d[a.size()][b.size()];
}

// The command a mistyped word most likely meant: the nearest one within two
// edits (and fewer edits than the word has letters), or one the word starts.
std::optional<std::string> nearest_command(CLI::App& app, std::string_view typed)
{
    std::string word(typed);
    for (char& c : word)
        c = static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
    std::optional<std::string> best;
    std::size_t best_distance = 3;
    for (const CLI::App* command : app.get_subcommands([](CLI::App*) { return true; })) {
        const std::string& name = command->get_name();
        const std::size_t distance = name.starts_with(word) && word.size() >= 2 ? 0 : edit_distance(word, name);
        if (distance < best_distance && distance < word.size()) {
            best = name;
            best_distance = distance;
        }
    }
    return best;
}

}  // namespace

int run_upkit(int argc, char** argv, std::ostream& out, std::ostream& err)
{
    return run_upkit(argc, argv, out, err, Console{});
}

int run_upkit(int argc, char** argv, std::ostream& out, std::ostream& err, const Console& console)
{
    CLI::App app{"Makes, lists, tests and unpacks KW archives; plans, builds, inspects, dumps and tries upgrade kits.",
                 "upkit"};
    app.set_version_flag("--version", UPKIT_VERSION, "Show the version and exit");
    app.set_help_flag("-h,--help", "Show this help and exit");
    app.footer(std::string("Run upkit COMMAND --help for a command's options.\n\n") + kExitFooter);
    app.require_subcommand(1);
    // Paths may start with a slash on Windows too: no /option syntax.
    app.allow_windows_style_options(false);

    CommandRun run;
    add_create_command(app, run);
    add_list_command(app, run);
    add_test_command(app, run);
    add_extract_command(app, run);
    add_checksum_command(app, run);
    add_plan_command(app, run);
    add_build_command(app, run);
    add_inspect_command(app, run);
    add_dump_command(app, run);
    add_try_command(app, run);

    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& e) {
        const std::optional<std::string> word = e.get_exit_code() != 0 ? unknown_command(app) : std::nullopt;
        if (word) {
            const std::optional<std::string> meant = nearest_command(app, *word);
            err << fmt::format("upkit: unknown command \"{}\"{}; the commands are {}\n", printable(*word),
                               meant ? fmt::format(" (did you mean \"{}\"?)", *meant) : std::string(),
                               command_names(app));
            return kExitUsage;
        }
        // Help and version requests end here too, with status 0.
        return app.exit(e, out, err) == 0 ? kExitOk : kExitUsage;
    }
    // The parse requires a command, and the chosen one's callback set run.
    if (!run) {
        err << "upkit: no command given\n";
        return kExitUsage;
    }
    try {
        return run(CommandStreams{out, err, console});
    } catch (const std::exception& e) {
        // A kit that cannot be read, above all (list, test and extract).
        err << "upkit: " << e.what() << '\n';
        return kExitDataError;
    }
}
