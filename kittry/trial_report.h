// The report of a trial, as text for a person or as one JSON object.
#pragma once

#include <nlohmann/json.hpp>
#include <ostream>

#include "kit_trial.h"

namespace upkit::kittry {

void print_trial_report(std::ostream& out, const TrialReport& report);

nlohmann::json trial_report_json(const TrialReport& report);

}  // namespace upkit::kittry
