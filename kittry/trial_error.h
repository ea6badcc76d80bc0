// A trial step that failed, with a message that says which and why in one
// line: a missing program, a wait that ran out, a Wine program that failed.
#pragma once

#include <stdexcept>
#include <string>

namespace upkit::kittry {

class TrialError : public std::runtime_error {
public:
    explicit TrialError(const std::string& what) : std::runtime_error(what) { }
};

}  // namespace upkit::kittry
