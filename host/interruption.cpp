#include "interruption.h"

#include <csignal>
#include <iterator>

namespace upkit {

namespace {

volatile std::sig_atomic_t g_signal = 0;

#ifdef _WIN32
// Windows delivers Ctrl-C (and Ctrl-Break) through the C runtime's signal().
const int kSignals[] = {SIGINT, SIGTERM, SIGBREAK};
using Previous = void (*)(int);
#else
const int kSignals[] = {SIGINT, SIGTERM, SIGHUP};
using Previous = struct sigaction;
#endif
Previous g_previous[std::size(kSignals)];

extern "C" void note_signal(int signal)
{
    g_signal = signal;
#ifdef _WIN32
    // The C runtime resets the handler before it calls it.
    std::signal(signal, note_signal);
#endif
}

}  // namespace

InterruptionGuard::InterruptionGuard()
{
    g_signal = 0;
    for (std::size_t k = 0; k < std::size(kSignals); ++k) {
#ifdef _WIN32
        g_previous[k] = std::signal(kSignals[k], note_signal);
        if (g_previous[k] == SIG_IGN)
            std::signal(kSignals[k], SIG_IGN);
#else
        struct sigaction action { };
        action.sa_handler = note_signal;
        sigemptyset(&action.sa_mask);
        sigaction(kSignals[k], nullptr, &g_previous[k]);
        if (g_previous[k].sa_handler != SIG_IGN)
            sigaction(kSignals[k], &action, nullptr);
#endif
    }
}

InterruptionGuard::~InterruptionGuard()
{
    for (std::size_t k = 0; k < std::size(kSignals); ++k) {
#ifdef _WIN32
        std::signal(kSignals[k], g_previous[k] == SIG_ERR ? SIG_DFL : g_previous[k]);
#else
        sigaction(kSignals[k], &g_previous[k], nullptr);
#endif
    }
}

bool interrupted()
{
    return g_signal != 0;
}

void check_interrupted()
{
    if (interrupted())
        throw Interrupted();
}

void end_by_caught_signal()
{
    const int signal = g_signal;
    if (signal == 0)
        return;
    std::signal(signal, SIG_DFL);
    std::raise(signal);
}

}  // namespace upkit
