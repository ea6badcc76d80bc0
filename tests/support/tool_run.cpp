#include "tool_run.h"

#include <sstream>

#include "upkit_cli.h"

namespace upkit::test {

ToolRun run_tool(std::vector<std::string> args)
{
    args.insert(args.begin(), "upkit");
    std::vector<char*> argv;
    for (std::string& arg : args)
        argv.push_back(arg.data());
    std::ostringstream out, err;
    ToolRun run;
    run.code = run_upkit(static_cast<int>(argv.size()), argv.data(), out, err);
    run.out = out.str();
    run.err = err.str();
    return run;
}

}  // namespace upkit::test
