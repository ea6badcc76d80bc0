// An X server of the trial's own (Xvfb) for a kit run without the user's
// display: it picks a free display number itself and says which.
#pragma once

#include <filesystem>
#include <memory>
#include <string>

#include "child_process.h"

namespace upkit::kittry {

class PrivateDisplay {
public:
    static const int kWidth = 1024;
    static const int kHeight = 768;

    // Starts Xvfb and waits up to 15 s for its display number; its log goes
    // to `log`. Throws TrialError.
    PrivateDisplay(const std::filesystem::path& xvfb, const std::filesystem::path& folder,
                   const Environment& environment);
    ~PrivateDisplay();

    const std::string& name() const { return name_; }  // ":N"

private:
    std::unique_ptr<Child> server_;
    std::string name_;
};

}  // namespace upkit::kittry
