// Ctrl-C and requests to terminate while a command has something to clean
// up: SIGINT, SIGTERM and SIGHUP set a flag instead of ending the program.
// The command looks at the flag at each step (extract between members and
// as it decodes, try at every wait), stops, and removes what it made on the
// way out (a partial folder, a Wine prefix). The program then ends by the
// signal it got, as its caller expects: main raises it again.
#pragma once

#include <stdexcept>

namespace upkit {

class Interrupted : public std::runtime_error {
public:
    Interrupted() : std::runtime_error("interrupted") { }
};

// Catches the signals for as long as it lives; the previous handlers come
// back afterwards. A signal the caller ignores (nohup) stays ignored.
class InterruptionGuard {
public:
    InterruptionGuard();
    ~InterruptionGuard();
    InterruptionGuard(const InterruptionGuard&) = delete;
    InterruptionGuard& operator=(const InterruptionGuard&) = delete;
};

// Whether a signal came while a guard lived.
bool interrupted();

// Throws Interrupted when a signal came.
void check_interrupted();

// When a signal came: ends the program by it, with its default action.
void end_by_caught_signal();

}  // namespace upkit
