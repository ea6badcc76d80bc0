// Engine codes, status notices, and the one receiver of the engine's reports.
//
// Every layer of the engine returns 0 or one of the ARCERR_ codes, and reports
// through the three forwarders below to whichever receiver is registered:
// errors (OnError), status notices (OnStatus) and progress queries
// (OnProgress, whose zero answer cancels).
#pragma once

#include "win32_api.h"

enum ArchiveErrorCode {
    ARCERR_NONE = 0,
    ARCERR_NO_MEMORY = 1,
    ARCERR_BAD_VERSION = 2,
    ARCERR_CANNOT_OPEN = 3,
    ARCERR_READ = 7,
    ARCERR_FLUSH = 8,
    ARCERR_BAD_DATA = 9,
    ARCERR_CANNOT_CREATE = 10,
    ARCERR_END_OF_DIRECTORY = 12,
    ARCERR_WRITE = 13,
    ARCERR_BAD_INDEX = 15,
    ARCERR_NO_NAME = 16,
    ARCERR_CANCELLED = 17,
    ARCERR_CHECKSUM = 18,
    ARCERR_ALREADY_OPEN = 20,
    ARCERR_OPEN_RETRY = 21,
};

enum ArchiveStatusCode {
    ARCSTAT_READ = 0,     // before each block read; base name of the archive file
    ARCSTAT_EXTRACT = 1,  // before each flush of a member being written; member name
    ARCSTAT_SKIP = 2,     // the same for a member decoded without being written
    ARCSTAT_OPEN = 3,     // before opening the archive or a continuation file
    ARCSTAT_CLOSE = 4,    // before closing the archive file, also when none is open
};

// The receiver of the engine's reports. Its table of virtual operations holds
// exactly these three, in this order; there is deliberately no virtual
// destructor, which would add slots.
class EngineReceiver {
public:
    // An error report. Only code 21's answer is used: nonzero asks for
    // another attempt to open the file. For codes 3 and 21 the detail is the
    // address of a variable holding a pointer to the path; for 13 the address
    // of a variable holding a pointer to the member name; otherwise null.
    virtual int OnError(int code, void* detail);
    // A status notice (ARCSTAT_...) with a file or member name.
    virtual void OnStatus(int code, const char* name);
    // A progress query; nonzero means go on, 0 cancels the member.
    virtual int OnProgress(DWORD done, DWORD total);
};

// The receiver of the archive that is open, or null. Set by the reader's Open,
// cleared by the reader's destructor.
extern EngineReceiver* current_receiver;

// Forwarders through which the input stream, decoder and output side report.
// With no receiver registered they give the default answers (0, nothing, 1).
int report_error(int code, void* detail);
void report_status(int code, const char* name);
int query_progress(DWORD done, DWORD total);
