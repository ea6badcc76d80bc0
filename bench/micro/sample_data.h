// The bytes the micro benchmarks work on: a file given on the command line,
// or a generated mix shaped like an upgrade kit's payload (program code and
// tables, English text, tabular text and some incompressible bytes).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace upkit::bench {

// Deterministic: the same size gives the same bytes.
std::vector<std::uint8_t> generated_mix(std::size_t size);

// The data every benchmark of this run uses: set once by main.
const std::vector<std::uint8_t>& sample_data();
void set_sample_data(std::vector<std::uint8_t> data, std::string description);
const std::string& sample_description();

}  // namespace upkit::bench
