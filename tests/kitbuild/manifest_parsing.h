// Manifest text read as the tests of kitbuild read it: "kit.toml" in a
// folder of its own, and the message a refused manifest gives.
#pragma once

#include <gtest/gtest.h>

#include <string>

#include "manifest.h"

namespace upkit::kitbuild::test {

inline Manifest parse(const std::string& text)
{
    return parse_manifest(text, "kit.toml", "/kits/demo");
}

// The refusal's message; a manifest that is accepted fails the test.
inline std::string refusal(const std::string& text)
{
    try {
        parse(text);
    } catch (const KitError& e) {
        return e.what();
    }
    ADD_FAILURE() << "accepted:\n" << text;
    return {};
}

}  // namespace upkit::kitbuild::test
