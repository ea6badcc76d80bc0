// The upkit command-line tool as a function: parses argv, runs the command,
// writes to out and err, and returns the exit status (0 success, 1 failure,
// 2 command-line error).
#pragma once

#include <ostream>

int run_upkit(int argc, char** argv, std::ostream& out, std::ostream& err);
