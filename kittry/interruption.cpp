#include "interruption.h"

#include <csignal>

namespace upkit::kittry {

namespace {

volatile std::sig_atomic_t g_signal = 0;
const int kSignals[] = {SIGINT, SIGTERM, SIGHUP};
struct sigaction g_previous[3];

void note_signal(int signal)
{
    g_signal = signal;
}

}  // namespace

InterruptionGuard::InterruptionGuard()
{
    g_signal = 0;
    struct sigaction action { };
    action.sa_handler = note_signal;
    sigemptyset(&action.sa_mask);
    for (int k = 0; k < 3; ++k)
        sigaction(kSignals[k], &action, &g_previous[k]);
}

InterruptionGuard::~InterruptionGuard()
{
    for (int k = 0; k < 3; ++k)
        sigaction(kSignals[k], &g_previous[k], nullptr);
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

}  // namespace upkit::kittry
