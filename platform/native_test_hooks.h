// Fault injection and observation for tests of code that runs on the POSIX
// implementation of the Win32 subset (native_win32.cpp). Production code never
// calls these; every control starts in its neutral state.
#pragma once

#include <cstddef>
#include <vector>

// While nonzero, LocalAlloc and GlobalAlloc fail (null, ERROR_NOT_ENOUGH_MEMORY)
// for any request larger than this many bytes. 0 removes the limit.
void native_set_allocation_limit(std::size_t bytes);

// While zero or positive, WriteFile may write only this many more bytes in
// total. A call asking for more writes what is left of the budget, reports that
// count and fails with ERROR_DISK_FULL. Any negative value (the default is -1)
// means unlimited.
void native_set_write_budget(long long bytes);

// The requested size of every WriteFile call since the last clear, in call
// order, whether the call succeeded or not.
const std::vector<unsigned long>& native_write_sizes();
void native_clear_write_sizes();
