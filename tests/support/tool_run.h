// Runs the upkit tool in-process, as the command line would, and keeps what
// it printed.
#pragma once

#include <string>
#include <vector>

namespace upkit::test {

struct ToolRun {
    int code = 0;
    std::string out;
    std::string err;
};

// `args` without the program name: {"build", "kit.toml", ...}.
ToolRun run_tool(std::vector<std::string> args);

}  // namespace upkit::test
