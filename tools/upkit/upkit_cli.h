// The upkit command-line tool as a function: parses argv, runs the command,
// writes to out and err, and returns the exit status (exit_status.h: 0
// success, 1 data error, 2 command-line error, 3 I/O error, 4 existing files
// left alone, 5 a MEMBER matched nothing).
#pragma once

#include <ostream>

#include "progress.h"

// No progress line: err is taken for something other than a terminal.
int run_upkit(int argc, char** argv, std::ostream& out, std::ostream& err);

// With `console` saying whether err is a terminal (and how wide), for the
// progress line of create, test and extract.
int run_upkit(int argc, char** argv, std::ostream& out, std::ostream& err, const upkit::Console& console);
