// Faults injected into the native Win32 layer (platform/native_win32.cpp)
// for tests, with no code for them in the layer itself.
//
// A test program that links native_faults.cpp is linked with --wrap for
// LocalAlloc, GlobalAlloc and WriteFile: every call to one of them, the
// engine's and the test's own, reaches a wrapper there, which applies the
// faults of the scopes below that are alive and otherwise passes the call on
// unchanged. Where scopes of one kind nest, the innermost applies. Natively
// only; the tests drive the engine from one thread.
#pragma once

#include <cstddef>
#include <vector>

namespace upkit::test {

// While it lives, LocalAlloc and GlobalAlloc fail (null,
// ERROR_NOT_ENOUGH_MEMORY) for any request larger than `bytes`.
class AllocationLimit {
public:
    explicit AllocationLimit(std::size_t bytes);
    ~AllocationLimit();
    AllocationLimit(const AllocationLimit&) = delete;
    AllocationLimit& operator=(const AllocationLimit&) = delete;

private:
    std::size_t bytes_;
    const std::size_t* outer_;
};

// While it lives, WriteFile may write only `bytes` more bytes in total. A
// call asking for more writes what is left of the budget, reports that count
// and fails with ERROR_DISK_FULL.
class WriteBudget {
public:
    explicit WriteBudget(unsigned long long bytes);
    ~WriteBudget();
    WriteBudget(const WriteBudget&) = delete;
    WriteBudget& operator=(const WriteBudget&) = delete;

private:
    unsigned long long left_;
    unsigned long long* outer_;
};

// While it lives, the requested size of every WriteFile call, in call order,
// whether the call succeeded or not.
class WriteSizeLog {
public:
    WriteSizeLog();
    ~WriteSizeLog();
    WriteSizeLog(const WriteSizeLog&) = delete;
    WriteSizeLog& operator=(const WriteSizeLog&) = delete;

    const std::vector<unsigned long>& sizes() const { return sizes_; }
    void clear() { sizes_.clear(); }

private:
    std::vector<unsigned long> sizes_;
    std::vector<unsigned long>* outer_;
};

}  // namespace upkit::test
