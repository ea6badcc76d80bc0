// The files of a release as Windows finds them: by their path below the
// release's folder, compared without regard to case (name_folding.h).
#pragma once

#include <filesystem>
#include <map>
#include <string>
#include <vector>

namespace upkit::kitplan {

struct ReleaseFile {
    std::filesystem::path path;
    std::string name;  // below the release's folder, backslashes between folders (UTF-8)
};

class ReleaseFiles {
public:
    // Every regular file below `folder`; links to folders are not followed.
    // Names need not suit Windows-1252: these files are only compared. Throws
    // PlanError (status 3) when the folder cannot be read.
    explicit ReleaseFiles(const std::filesystem::path& folder);

    // The files that a folded name (name_folding.h) finds: one, or none, or
    // several where the host tells apart names that Windows takes for one.
    const std::vector<ReleaseFile>& find(const std::u32string& folded) const;

    // Every folded name with its files.
    const std::map<std::u32string, std::vector<ReleaseFile>>& all() const { return files_; }

private:
    std::map<std::u32string, std::vector<ReleaseFile>> files_;
};

// Whether two files hold the same bytes. Throws PlanError (status 3) when
// either cannot be read.
bool same_contents(const std::filesystem::path& a, const std::filesystem::path& b);

}  // namespace upkit::kitplan
