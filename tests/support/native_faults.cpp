#include "native_faults.h"

#include "native_win32.h"

// The functions the linker puts in place of the wrapped ones, and the
// originals under their second name (-Wl,--wrap=NAME).
extern "C" {
HLOCAL __real_LocalAlloc(UINT flags, SIZE_T bytes);
HGLOBAL __real_GlobalAlloc(UINT flags, SIZE_T bytes);
BOOL __real_WriteFile(HANDLE file, LPCVOID data, DWORD count, LPDWORD written, LPOVERLAPPED overlapped);

HLOCAL __wrap_LocalAlloc(UINT flags, SIZE_T bytes);
HGLOBAL __wrap_GlobalAlloc(UINT flags, SIZE_T bytes);
BOOL __wrap_WriteFile(HANDLE file, LPCVOID data, DWORD count, LPDWORD written, LPOVERLAPPED overlapped);
}

namespace {

// The innermost live scope of each kind, or null.
const std::size_t* allocation_limit = nullptr;
unsigned long long* write_budget = nullptr;
std::vector<unsigned long>* write_sizes = nullptr;

bool over_the_limit(SIZE_T bytes)
{
    if (allocation_limit && bytes > *allocation_limit) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return true;
    }
    return false;
}

}  // namespace

extern "C" HLOCAL __wrap_LocalAlloc(UINT flags, SIZE_T bytes)
{
    return over_the_limit(bytes) ? nullptr : __real_LocalAlloc(flags, bytes);
}

extern "C" HGLOBAL __wrap_GlobalAlloc(UINT flags, SIZE_T bytes)
{
    return over_the_limit(bytes) ? nullptr : __real_GlobalAlloc(flags, bytes);
}

extern "C" BOOL __wrap_WriteFile(HANDLE file, LPCVOID data, DWORD count, LPDWORD written, LPOVERLAPPED overlapped)
{
    if (write_sizes)
        write_sizes->push_back(count);
    if (!write_budget)
        return __real_WriteFile(file, data, count, written, overlapped);

    // Only what is left of the budget goes out; a call that asks for more
    // then fails as on a full disk, with the count of what it did write.
    const DWORD allowed = count <= *write_budget ? count : static_cast<DWORD>(*write_budget);
    DWORD done = 0;
    const BOOL ok = __real_WriteFile(file, data, allowed, &done, overlapped);
    *write_budget -= done;
    if (written)
        *written = done;
    if (!ok)
        return FALSE;
    if (allowed < count) {
        SetLastError(ERROR_DISK_FULL);
        return FALSE;
    }
    return TRUE;
}

namespace upkit::test {

AllocationLimit::AllocationLimit(std::size_t bytes) : bytes_(bytes), outer_(allocation_limit)
{
    allocation_limit = &bytes_;
}

AllocationLimit::~AllocationLimit()
{
    allocation_limit = outer_;
}

WriteBudget::WriteBudget(unsigned long long bytes) : left_(bytes), outer_(write_budget)
{
    write_budget = &left_;
}

WriteBudget::~WriteBudget()
{
    write_budget = outer_;
}

WriteSizeLog::WriteSizeLog() : outer_(write_sizes)
{
    write_sizes = &sizes_;
}

WriteSizeLog::~WriteSizeLog()
{
    write_sizes = outer_;
}

}  // namespace upkit::test
