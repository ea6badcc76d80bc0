#include "engine_codes.h"

EngineReceiver* current_receiver = nullptr;

int EngineReceiver::OnError(int, void*)
{
    return 0;
}

void EngineReceiver::OnStatus(int, const char*)
{
}

int EngineReceiver::OnProgress(DWORD, DWORD)
{
    return 1;
}

int report_error(int code, void* detail)
{
    return current_receiver ? current_receiver->OnError(code, detail) : 0;
}

void report_status(int code, const char* name)
{
    if (current_receiver)
        current_receiver->OnStatus(code, name);
}

int query_progress(DWORD done, DWORD total)
{
    return current_receiver ? current_receiver->OnProgress(done, total) : 1;
}
