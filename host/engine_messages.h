// What the engine's codes mean, in words for the user.
#pragma once

#include <string>
#include <string_view>

#include "reporting_reader.h"

namespace upkit {

// A short text for an engine code (ARCERR_...).
const char* engine_message(int code);

// One line on a failure: the member if there is one, what went wrong, and the
// code in parentheses. A file that could not be opened after the archive
// itself was open is named as the missing continuation of a truncated archive.
std::string describe_engine_failure(const EngineFailure& failure, std::string_view archive_engine_path);

// The exit status of a failure (exit_status.h): 3 when the archive itself
// cannot be opened or read, or an output file cannot be created or written;
// 1 for everything else, a truncated archive (missing continuation file)
// included.
int engine_failure_status(const EngineFailure& failure, std::string_view archive_engine_path);

}  // namespace upkit
