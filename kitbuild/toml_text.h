// TOML text as upkit writes manifests (dump, plan): strings quoted so that a
// TOML reader gives them back exactly, and comments that stay comments.
#pragma once

#include <string>
#include <string_view>

namespace upkit::kitbuild {

// A TOML string: a literal string ('...') when the text reads the same that
// way, so that backslashes (registry keys, Windows paths) stay as they are;
// else (a quote, a control character) a basic string ("...") with TOML's
// escapes.
std::string toml_string(std::string_view text);

// "key = <string>\n".
std::string toml_field(std::string_view key, std::string_view value);

// Text for a comment, which ends at a line break and may hold no other
// control character and nothing but UTF-8: such bytes are written as \xNN.
std::string toml_comment_text(std::string_view text);

}  // namespace upkit::kitbuild
