#include "size_percent.h"

#include <fmt/format.h>

namespace upkit::bench {

double percent_larger(std::uint64_t size, std::uint64_t other)
{
    return (static_cast<double>(size) / static_cast<double>(other) - 1) * 100;
}

std::string signed_percent(std::uint64_t size, std::uint64_t other)
{
    if (other == 0)
        return "n/a";
    if (size == other)
        return "0.0%";
    return fmt::format("{:+.1f}%", percent_larger(size, other));
}

}  // namespace upkit::bench
