// UPKIT_ASSERT(condition): a check of something the code relies on and that
// only a fault of our own can break, never a damaged archive or a failing
// system call (those end in an engine code).
//
// Where it is live (the host programs, the tests and the fuzz targets, on
// Linux and Windows), a failed check prints "file:line: assertion failed:
// condition" on stderr and aborts. The kit runtime has no C library to print
// with, and ships no checks: its compile options define UPKIT_NO_ASSERT,
// under which the macro expands to nothing that evaluates its argument, so
// the kit's code is the same as without any check.
#pragma once

#ifdef UPKIT_NO_ASSERT

#define UPKIT_ASSERT(condition) ((void)0)

#else

#include <cstdio>
#include <cstdlib>

// Out of line and cold, so that a check on a hot path costs its test and a
// branch that is never taken.
[[noreturn]] __attribute__((noinline, cold)) inline void upkit_assertion_failed(const char* file, int line,
                                                                                const char* condition)
{
    std::fprintf(stderr, "%s:%d: assertion failed: %s\n", file, line, condition);
    std::fflush(stderr);
    std::abort();
}

#define UPKIT_ASSERT(condition)                                                                                        \
    (__builtin_expect(static_cast<bool>(condition), 1) ? (void)0                                                       \
                                                       : upkit_assertion_failed(__FILE__, __LINE__, #condition))

#endif
