// The manifest of a planned upgrade, as `upkit plan` writes it: a comment
// that says what was compared and found, the kit's face (placeholders for
// what the author did not give), one [[app_versions]] row per old release,
// and one [[archives]] row per destination listing the files the kit carries,
// so that `upkit build` stores them under the names `upkit create` gives.
#pragma once

#include <filesystem>
#include <string>

#include "upgrade_plan.h"

namespace upkit::kitplan {

// Refuses (PlanError, status 2) a manifest path inside the new release or an
// old one: the next plan would take the manifest, or the kit built beside it,
// for a file of that release. Also one that is a folder or lies in no folder,
// or that would replace the picture or icon.
void check_manifest_path(const PlanRequest& request, const std::filesystem::path& manifest);

// The manifest's text; its paths are relative to the folder of `manifest`
// where they can be. Throws PlanError (status 2) for a path a manifest
// cannot hold (one that is not UTF-8).
std::string plan_manifest_text(const PlanRequest& request, const UpgradePlan& plan,
                               const std::filesystem::path& manifest);

}  // namespace upkit::kitplan
