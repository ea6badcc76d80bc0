// The exit statuses of upkit (README, "Exit status").
#pragma once

namespace upkit {

enum ExitStatus {
    kExitOk = 0,
    kExitDataError = 1,  // damaged, truncated or unusable archive; check value mismatch; input the format cannot carry
    kExitUsage = 2,      // command-line error
    kExitIoError = 3,    // an input cannot be opened or read, or an output cannot be written
    kExitExists = 4,     // extract refused to replace existing files (all else was written)
    kExitNoMatch = 5,    // a MEMBER argument matched no member (nothing was done)
    // Stopped by Ctrl-C or a request to terminate, as a shell reports it; the
    // program itself then ends by the signal (interruption.h).
    kExitInterrupted = 130,
};

// The status of a run in which several things failed: the most serious one,
// in the order 1, 3, 4, 5 (then 2).
class RunStatus {
public:
    void note(int status)
    {
        if (rank(status) > rank(status_))
            status_ = status;
    }
    int value() const { return status_; }
    bool ok() const { return status_ == kExitOk; }

private:
    static int rank(int status)
    {
        switch (status) {
        case kExitOk:
            return 0;
        case kExitUsage:
            return 1;
        case kExitNoMatch:
            return 2;
        case kExitExists:
            return 3;
        case kExitIoError:
            return 4;
        default:
            return 5;
        }
    }
    int status_ = kExitOk;
};

}  // namespace upkit
