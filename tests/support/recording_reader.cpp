#include "recording_reader.h"

namespace upkit::test {

int RecordingReader::OnError(int code, void* detail)
{
    std::string text;
    if (detail && (code == ARCERR_CANNOT_OPEN || code == ARCERR_OPEN_RETRY || code == ARCERR_WRITE))
        text = *static_cast<const char* const*>(detail);
    errors.push_back({code, text});
    if (code == ARCERR_OPEN_RETRY && retries_to_grant > 0) {
        --retries_to_grant;
        if (before_retry)
            before_retry();
        return 1;
    }
    return 0;
}

void RecordingReader::OnStatus(int code, const char* name)
{
    notices.emplace_back(code, name ? name : "");
}

int RecordingReader::OnProgress(DWORD done, DWORD total)
{
    progress.emplace_back(done, total);
    return !(cancel_at && *cancel_at == std::make_pair(done, total));
}

std::vector<int> RecordingReader::error_codes() const
{
    std::vector<int> codes;
    for (const ErrorReport& e : errors)
        codes.push_back(e.code);
    return codes;
}

std::vector<std::string> RecordingReader::notices_of(int code) const
{
    std::vector<std::string> names;
    for (const auto& [c, name] : notices)
        if (c == code)
            names.push_back(name);
    return names;
}

}  // namespace upkit::test
