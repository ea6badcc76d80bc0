// How much larger one compressed size is than another, in percent, as the
// comparisons and the per-file table print it.
#pragma once

#include <cstdint>
#include <string>

namespace upkit::bench {

// (size / other - 1) * 100: positive when `size` is larger. `other` must not
// be 0.
double percent_larger(std::uint64_t size, std::uint64_t other);

// percent_larger with its sign and one decimal: "+3.2%", "-0.7%". Equal sizes
// are "0.0%", so that a sign always means a difference, however small; "n/a"
// when `other` is 0.
std::string signed_percent(std::uint64_t size, std::uint64_t other);

}  // namespace upkit::bench
