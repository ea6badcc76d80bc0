// What the install tests look at and stand in for: the system's list of
// renames pending for the restart, and a delayed move that can be refused.
#pragma once

#include <string>
#include <vector>

#include "import_standin.h"

namespace upkit::test {

// PendingFileRenameOperations, string by string (a deletion's destination is
// an empty string); empty when there is none.
std::vector<std::wstring> pending_renames();
// Replaces the list; an empty one removes the value.
void set_pending_renames(const std::vector<std::wstring>& strings);
// A path as the list names it: "\??\" and the path.
std::wstring nt_path(const std::string& path);

// MoveFileExA passed on to the system, but refused (access denied) at the
// call numbered fail_at, counted from 1 since construction or reset. One at
// a time.
class RefusedMove {
public:
    RefusedMove();
    ~RefusedMove();
    bool active() const { return import_.active(); }
    int calls() const;
    void reset();
    // The system's MoveFileExA.
    void* original() const { return import_.original(); }
    int fail_at = 0;

private:
    ImportStandIn import_;
};

}  // namespace upkit::test
