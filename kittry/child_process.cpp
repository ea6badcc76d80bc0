#include "child_process.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <fstream>
#include <sstream>
#include <thread>

#include "interruption.h"
#include "trial_error.h"

extern char** environ;

namespace fs = std::filesystem;

namespace upkit::kittry {

namespace {

const int kPollMilliseconds = 20;

int status_of(int wait_status)
{
    if (WIFEXITED(wait_status))
        return WEXITSTATUS(wait_status);
    if (WIFSIGNALED(wait_status))
        return 128 + WTERMSIG(wait_status);
    return 255;
}

// Opened before the fork, so that a failure is reported here.
int open_output(const fs::path& path)
{
    const int fd = path.empty() ? ::open("/dev/null", O_WRONLY | O_CLOEXEC)
                                : ::open(path.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
    if (fd < 0)
        throw TrialError("cannot write " + path.string() + ": " + std::strerror(errno));
    return fd;
}

}  // namespace

Environment current_environment()
{
    Environment environment;
    for (char** entry = environ; *entry; ++entry) {
        const char* equals = std::strchr(*entry, '=');
        if (equals)
            environment[std::string(*entry, static_cast<std::size_t>(equals - *entry))] = equals + 1;
    }
    return environment;
}

Child::Child(const ChildSpec& spec)
{
    if (spec.argv.empty())
        throw TrialError("no program to start");
    const int out = open_output(spec.output);
    const int err = spec.errors.empty() ? ::dup(out) : open_output(spec.errors);
    const int in = ::open("/dev/null", O_RDONLY | O_CLOEXEC);

    // Everything the child needs is made before the fork: after it, only
    // async-signal-safe calls.
    std::vector<std::string> entries;
    for (const auto& [name, value] : spec.environment)
        entries.push_back(name + "=" + value);
    std::vector<char*> envp;
    for (std::string& entry : entries)
        envp.push_back(entry.data());
    envp.push_back(nullptr);
    std::vector<std::string> args = spec.argv;
    std::vector<char*> argv;
    for (std::string& arg : args)
        argv.push_back(arg.data());
    argv.push_back(nullptr);
    const std::string cwd = spec.cwd.string();

    pid_ = ::fork();
    if (pid_ == 0) {
        ::setpgid(0, 0);
        ::dup2(in, 0);
        ::dup2(out, 1);
        ::dup2(err, 2);
        // The trial's own signals are not the child's.
        ::signal(SIGINT, SIG_DFL);
        ::signal(SIGTERM, SIG_DFL);
        ::signal(SIGHUP, SIG_DFL);
        if (!cwd.empty() && ::chdir(cwd.c_str()) != 0)
            ::_exit(126);
        ::execve(argv[0], argv.data(), envp.data());
        ::_exit(127);
    }
    const int fork_error = errno;
    ::close(out);
    ::close(err);
    ::close(in);
    if (pid_ < 0)
        throw TrialError("cannot start " + spec.argv[0] + ": " + std::strerror(fork_error));
    // Also from this side, so that a kill right after the start reaches the
    // group.
    ::setpgid(pid_, pid_);
}

Child::~Child()
{
    kill();
}

std::optional<int> Child::poll()
{
    if (status_ || pid_ <= 0)
        return status_;
    int wait_status = 0;
    const pid_t done = ::waitpid(pid_, &wait_status, WNOHANG);
    if (done == pid_)
        status_ = status_of(wait_status);
    else if (done < 0 && errno == ECHILD)
        status_ = 255;
    return status_;
}

std::optional<int> Child::wait_for(int milliseconds, bool interruptible)
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(milliseconds);
    for (;;) {
        if (auto status = poll())
            return status;
        if (interruptible)
            check_interrupted();
        if (std::chrono::steady_clock::now() >= deadline)
            return std::nullopt;
        std::this_thread::sleep_for(std::chrono::milliseconds(kPollMilliseconds));
    }
}

void Child::kill()
{
    if (pid_ <= 0 || poll())
        return;
    ::kill(-pid_, SIGKILL);
    ::kill(pid_, SIGKILL);
    int wait_status = 0;
    if (::waitpid(pid_, &wait_status, 0) == pid_)
        status_ = status_of(wait_status);
}

void Child::stop(int milliseconds)
{
    if (pid_ <= 0 || poll())
        return;
    ::kill(-pid_, SIGTERM);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(milliseconds);
    while (!poll() && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(kPollMilliseconds));
    kill();
}

std::string read_text(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

Finished run_to_end(const std::vector<std::string>& argv, const Environment& environment, int milliseconds,
                    const std::string& what, const fs::path& scratch, bool interruptible)
{
    static int serial = 0;
    const std::string stem = "run-" + std::to_string(++serial);
    const fs::path out = scratch / (stem + ".out");
    const fs::path err = scratch / (stem + ".err");
    Finished finished;
    {
        Child child({argv, environment, out, err, {}});
        const std::optional<int> status = child.wait_for(milliseconds, interruptible);
        if (!status) {
            child.kill();
            throw TrialError(what + " did not finish within " + std::to_string(milliseconds / 1000) + " s");
        }
        finished.status = *status;
    }
    finished.output = read_text(out);
    finished.errors = read_text(err);
    std::error_code ec;
    fs::remove(out, ec);
    fs::remove(err, ec);
    return finished;
}

}  // namespace upkit::kittry
