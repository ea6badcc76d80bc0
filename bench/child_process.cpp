#include "child_process.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <filesystem>
#include <fmt/format.h>
#include <spawn.h>
#include <string_view>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace upkit::bench {

namespace {

double monotonic_seconds()
{
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
}

const char* or_null_device(const std::string& path)
{
    return path.empty() ? "/dev/null" : path.c_str();
}

std::vector<char*> c_strings(const std::vector<std::string>& strings)
{
    std::vector<char*> pointers;
    pointers.reserve(strings.size() + 1);
    for (const std::string& s : strings)
        pointers.push_back(const_cast<char*>(s.c_str()));
    pointers.push_back(nullptr);
    return pointers;
}

bool is_executable_file(const std::string& path)
{
    struct stat info { };
    return stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode) && access(path.c_str(), X_OK) == 0;
}

}  // namespace

ChildRun run_child(const std::vector<std::string>& argv, const Redirects& redirects,
                   const std::vector<std::string>& environment)
{
    ChildRun run;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, or_null_device(redirects.input), O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, or_null_device(redirects.output), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_addopen(&actions, 2, or_null_device(redirects.errors), O_WRONLY | O_CREAT | O_TRUNC, 0644);

    std::vector<char*> args = c_strings(argv);
    std::vector<char*> env = c_strings(environment);
    pid_t pid = 0;
    const double start = monotonic_seconds();
    const int spawn_error = posix_spawnp(&pid, args[0], &actions, nullptr, args.data(), env.data());
    posix_spawn_file_actions_destroy(&actions);
    if (spawn_error != 0) {
        run.error = fmt::format("cannot run {}: {}", argv[0], std::strerror(spawn_error));
        return run;
    }
    int status = 0;
    rusage usage{};
    pid_t reaped = 0;
    do {
        reaped = wait4(pid, &status, 0, &usage);
    } while (reaped < 0 && errno == EINTR);
    const double end = monotonic_seconds();
    if (reaped != pid) {
        run.error = fmt::format("cannot wait for {}: {}", argv[0], std::strerror(errno));
        return run;
    }
    run.started = true;
    run.seconds = end - start;
    run.peak_kib = usage.ru_maxrss;
    run.cpu_seconds = static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
                      static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) * 1e-6;
    if (WIFEXITED(status)) {
        run.exit_code = WEXITSTATUS(status);
    } else if (WIFSIGNALED(status)) {
        run.signalled = true;
        run.exit_code = 128 + WTERMSIG(status);
    }
    return run;
}

std::optional<std::string> find_program(const std::string& name)
{
    if (name.find('/') != std::string::npos)
        return is_executable_file(name) ? std::optional<std::string>(name) : std::nullopt;
    const char* path = std::getenv("PATH");
    std::string dirs = path ? path : "/usr/local/bin:/usr/bin:/bin";
    std::size_t begin = 0;
    while (begin <= dirs.size()) {
        std::size_t end = dirs.find(':', begin);
        if (end == std::string::npos)
            end = dirs.size();
        const std::string_view dir = std::string_view(dirs).substr(begin, end - begin);
        const std::string candidate =
            (std::filesystem::path(dir.empty() ? std::string_view(".") : dir) / name).string();
        if (is_executable_file(candidate))
            return candidate;
        begin = end + 1;
    }
    return std::nullopt;
}

std::string describe_end(const ChildRun& run)
{
    if (!run.started)
        return run.error;
    if (run.signalled)
        return fmt::format("killed by signal {}", run.exit_code - 128);
    return fmt::format("exit status {}", run.exit_code);
}

}  // namespace upkit::bench
