// What `upkit inspect` shows of a kit: readable text, or one JSON object
// with the same content. `listings` holds one entry per archive of the kit,
// in the same order.
#pragma once

#include <nlohmann/json.hpp>
#include <ostream>
#include <string>
#include <vector>

#include "archive_scan.h"
#include "kit_contents.h"

namespace upkit {

void print_inspect_text(std::ostream& out, const std::string& file, const kitread::KitContents& kit,
                        const std::vector<ScannedArchive>& listings);

nlohmann::ordered_json inspect_json(const std::string& file, const kitread::KitContents& kit,
                                    const std::vector<ScannedArchive>& listings);

}  // namespace upkit
