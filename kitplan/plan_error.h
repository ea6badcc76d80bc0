// What keeps `upkit plan` from writing a manifest.
#pragma once

#include <stdexcept>
#include <string>

namespace upkit::kitplan {

// The message names the file, folder or option at fault; `status` is the
// exit status (exit_status.h): 2 for what was asked, 1 for a file name the
// kit cannot carry, 3 for what cannot be read or written.
class PlanError : public std::runtime_error {
public:
    PlanError(const std::string& what, int status_in) : std::runtime_error(what), status(status_in) { }
    int status;
};

}  // namespace upkit::kitplan
