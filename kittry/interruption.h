// Ending a trial cleanly when the user interrupts it: SIGINT, SIGTERM and
// SIGHUP set a flag instead of ending the program, and every wait of the
// trial looks at the flag, so that the prefix, Xvfb and the Wine processes are
// stopped and the temporary folder removed on the way out.
#pragma once

#include <stdexcept>

namespace upkit::kittry {

class Interrupted : public std::runtime_error {
public:
    Interrupted() : std::runtime_error("interrupted") { }
};

// Installs the handlers for as long as the object lives; the previous ones
// come back afterwards.
class InterruptionGuard {
public:
    InterruptionGuard();
    ~InterruptionGuard();
    InterruptionGuard(const InterruptionGuard&) = delete;
    InterruptionGuard& operator=(const InterruptionGuard&) = delete;
};

bool interrupted();

// Throws Interrupted when a signal came.
void check_interrupted();

}  // namespace upkit::kittry
