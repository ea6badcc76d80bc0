// A reader that records everything the engine reports, and answers its
// questions as a test tells it to.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "archive_reader.h"

namespace upkit::test {

struct ErrorReport {
    int code;
    std::string detail;  // the path for 3 and 21, the member name for 13
};

class RecordingReader : public ArchiveReader {
public:
    // Releases whatever a test left open, so an early return leaks nothing.
    ~RecordingReader() { Close(); }

    int OnError(int code, void* detail) override;
    void OnStatus(int code, const char* name) override;
    int OnProgress(DWORD done, DWORD total) override;

    std::vector<int> error_codes() const;
    // Names given with status notices of this code, in order.
    std::vector<std::string> notices_of(int code) const;

    using ArchiveReader::ExtractOne;

    std::vector<ErrorReport> errors;
    std::vector<std::pair<int, std::string>> notices;
    std::vector<std::pair<DWORD, DWORD>> progress;

    // How many reports of code 21 to answer with "try again".
    int retries_to_grant = 0;
    // Runs before each granted retry.
    std::function<void()> before_retry;
    // The progress query to answer with 0.
    std::optional<std::pair<DWORD, DWORD>> cancel_at;
};

}  // namespace upkit::test
