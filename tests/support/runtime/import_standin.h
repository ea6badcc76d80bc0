// Stand-ins for system functions: this test program's import of a function
// is pointed at a function of the test's while a stand-in object lives, so
// the kit's code under test meets a failure that the system would not give
// on demand (a refused delayed move, Windows 95's version number).
#pragma once

#include <windows.h>

namespace upkit::test {

class ImportStandIn {
public:
    // `dll` as the program imports it (case is ignored), `function` by name.
    ImportStandIn(const char* dll, const char* function, void* standin);
    ~ImportStandIn();
    ImportStandIn(const ImportStandIn&) = delete;
    ImportStandIn& operator=(const ImportStandIn&) = delete;

    // Whether the import was found and now leads to the stand-in.
    bool active() const { return slot_ != nullptr; }
    // The system's function, for a stand-in that passes calls on.
    void* original() const { return original_; }

private:
    void** slot_ = nullptr;
    void* original_ = nullptr;
};

}  // namespace upkit::test
