#include "private_display.h"

#include <chrono>
#include <thread>

#include "interruption.h"
#include "trial_error.h"

namespace fs = std::filesystem;

namespace upkit::kittry {

PrivateDisplay::PrivateDisplay(const fs::path& xvfb, const fs::path& folder, const Environment& environment)
{
    // Xvfb writes the display number it chose to the descriptor -displayfd
    // names: here its standard output, a file.
    const fs::path number_file = folder / "xvfb-display";
    const fs::path log = folder / "xvfb.log";
    server_ = std::make_unique<Child>(
        ChildSpec{{xvfb.string(), "-displayfd", "1", "-screen", "0",
                   std::to_string(kWidth) + "x" + std::to_string(kHeight) + "x24", "-nolisten", "tcp", "-noreset"},
                  environment,
                  number_file,
                  log,
                  {}});
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(15);
    for (;;) {
        const std::string text = read_text(number_file);
        if (!text.empty() && text.back() == '\n') {
            name_ = ":" + text.substr(0, text.size() - 1);
            return;
        }
        if (server_->poll())
            throw TrialError("Xvfb ended as it started: " + read_text(log));
        check_interrupted();
        if (std::chrono::steady_clock::now() >= deadline)
            throw TrialError("Xvfb did not report its display within 15 s");
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
}

PrivateDisplay::~PrivateDisplay()
{
    server_->stop(5000);
}

}  // namespace upkit::kittry
