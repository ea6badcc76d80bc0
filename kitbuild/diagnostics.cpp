#include "diagnostics.h"

#include <fmt/format.h>

namespace upkit::kitbuild {

void refuse(const Origin& origin, std::string_view field, std::string_view what)
{
    const std::string where = origin.describe(field);
    throw KitError(where.empty() ? std::string(what) : fmt::format("{}: {}", where, what));
}

void Diagnostics::warn(const Origin& origin, std::string_view field, std::string_view what)
{
    const std::string where = origin.describe(field);
    warnings.push_back(where.empty() ? std::string(what) : fmt::format("{}: {}", where, what));
}

}  // namespace upkit::kitbuild
