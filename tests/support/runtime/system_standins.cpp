#include "system_standins.h"

#include <windows.h>

namespace upkit::test {
namespace {

const char kSessionManager[] = "SYSTEM\\CurrentControlSet\\Control\\Session Manager";
const wchar_t kPending[] = L"PendingFileRenameOperations";

RefusedMove* current = nullptr;
int move_calls = 0;

BOOL WINAPI move_standin(LPCSTR from, LPCSTR to, DWORD flags);

}  // namespace

std::vector<std::wstring> pending_renames()
{
    HKEY key;
    std::vector<std::wstring> strings;
    if (RegOpenKeyA(HKEY_LOCAL_MACHINE, kSessionManager, &key) != ERROR_SUCCESS)
        return strings;
    DWORD size = 0;
    DWORD type = 0;
    if (RegQueryValueExW(key, kPending, nullptr, &type, nullptr, &size) == ERROR_SUCCESS) {
        std::wstring raw(size / sizeof(wchar_t) + 2, L'\0');
        RegQueryValueExW(key, kPending, nullptr, &type, reinterpret_cast<BYTE*>(raw.data()), &size);
        raw.resize(size / sizeof(wchar_t) + 2);
        // Source and destination in pairs, up to the empty source that ends the list.
        std::size_t at = 0;
        while (at < raw.size() && raw[at]) {
            const std::size_t end = raw.find(L'\0', at);
            const std::size_t next = raw.find(L'\0', end + 1);
            strings.push_back(raw.substr(at, end - at));
            strings.push_back(raw.substr(end + 1, next - end - 1));
            at = next + 1;
        }
    }
    RegCloseKey(key);
    return strings;
}

void set_pending_renames(const std::vector<std::wstring>& strings)
{
    HKEY key;
    if (RegCreateKeyA(HKEY_LOCAL_MACHINE, kSessionManager, &key) != ERROR_SUCCESS)
        return;
    if (strings.empty()) {
        RegDeleteValueW(key, kPending);
    } else {
        std::wstring raw;
        for (const std::wstring& s : strings)
            raw += s + L'\0';
        raw += L'\0';
        RegSetValueExW(key, kPending, 0, REG_MULTI_SZ, reinterpret_cast<const BYTE*>(raw.data()),
                       static_cast<DWORD>(raw.size() * sizeof(wchar_t)));
    }
    RegCloseKey(key);
}

std::wstring nt_path(const std::string& path)
{
    return L"\\??\\" + std::wstring(path.begin(), path.end());
}

namespace {

BOOL WINAPI move_standin(LPCSTR from, LPCSTR to, DWORD flags)
{
    if (++move_calls == current->fail_at) {
        SetLastError(ERROR_ACCESS_DENIED);
        return FALSE;
    }
    // The program has one import of it, now leading here: call the system's.
    return reinterpret_cast<BOOL(WINAPI*)(LPCSTR, LPCSTR, DWORD)>(current->original())(from, to, flags);
}

}  // namespace

RefusedMove::RefusedMove() : import_("kernel32.dll", "MoveFileExA", reinterpret_cast<void*>(&move_standin))
{
    current = this;
    move_calls = 0;
}

RefusedMove::~RefusedMove()
{
    current = nullptr;
}

int RefusedMove::calls() const
{
    return move_calls;
}

void RefusedMove::reset()
{
    move_calls = 0;
    fail_at = 0;
}

}  // namespace upkit::test
