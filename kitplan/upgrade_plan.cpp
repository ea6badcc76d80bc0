#include "upgrade_plan.h"

#include <algorithm>
#include <fmt/format.h>
#include <map>
#include <set>

#include "exit_status.h"
#include "kit_build.h"
#include "kit_resource_ids.h"
#include "member_names.h"
#include "name_folding.h"
#include "release_files.h"
#include "text_codec.h"

namespace fs = std::filesystem;

namespace upkit::kitplan {

namespace {

std::string shown(const fs::path& path)
{
    return printable(shown_path(path));
}

[[noreturn]] void refuse(const std::string& what)
{
    throw PlanError(what, kExitUsage);
}

void check_kit_text(std::string_view option, const std::string& text)
{
    if (!windows1252_from_utf8(text))
        refuse(fmt::format("{} \"{}\": holds a character that the kit's code page, Windows-1252, lacks", option,
                           printable(text)));
}

void check_folder(const fs::path& folder, std::string_view what)
{
    std::error_code ec;
    const fs::file_status status = fs::status(folder, ec);
    if (!fs::exists(status))
        refuse(fmt::format("{}: no such folder ({})", shown(folder), what));
    if (!fs::is_directory(status))
        refuse(fmt::format("{}: not a folder ({})", shown(folder), what));
}

// A name given for a file or folder below a release's folder, as the kit's
// tables and the stored names write it: Windows-1252, backslashes between
// folders, no leading or trailing separator.
std::string relative_name(std::string_view option, const std::string& text)
{
    const std::optional<std::string> ansi = windows1252_from_utf8(text);
    if (!ansi)
        refuse(fmt::format("{} {}: holds a character that the kit's code page, Windows-1252, lacks", option,
                           printable(text)));
    std::string name = *ansi;
    std::replace(name.begin(), name.end(), '/', '\\');
    name.erase(0, std::min(name.find_first_not_of('\\'), name.size()));
    name.erase(std::min(name.find_last_not_of('\\') + 1, name.size()));
    if (name.empty())
        refuse(fmt::format("{} {}: give a name below the release's folder", option, printable(text)));
    for (std::size_t begin = 0; begin <= name.size();) {
        const std::size_t end = std::min(name.find('\\', begin), name.size());
        const std::string_view component = std::string_view(name).substr(begin, end - begin);
        if (component == "." || component == "..")
            refuse(
                fmt::format("{} {}: give a name below the release's folder, without . or ..", option, printable(text)));
        begin = end + 1;
    }
    if (const char* reason = unsafe_name_reason(name))
        refuse(fmt::format("{} {}: {}", option, printable(text), reason));
    return name;
}

// Where the files of one destination lie in the new release.
struct Destination {
    std::uint16_t base = KIT_BASE_INSTALL;
    std::u32string folded_folder;  // with a trailing backslash; empty for the install directory
};

// The destination a file of the new release goes to: below the system or
// Windows subfolder, the deeper of the two where one holds the other.
const Destination& destination_of(const std::u32string& folded_name, const std::vector<Destination>& destinations)
{
    const Destination* best = &destinations.front();
    for (const Destination& destination : destinations)
        if (folded_name.starts_with(destination.folded_folder) &&
            destination.folded_folder.size() > best->folded_folder.size())
            best = &destination;
    return *best;
}

class Planner {
public:
    explicit Planner(const PlanRequest& request) : request_(request) { }

    UpgradePlan run()
    {
        check_request();
        plan_.file = utf8_from_windows1252(file_name_);
        for (const OldRelease& release : request_.releases)
            old_files_.emplace_back(release.folder);
        for (std::size_t r = 0; r < request_.releases.size(); ++r)
            plan_.qualifying.push_back(qualifying_file(r));
        warn_about_checksums();
        compare_new_files();
        find_removed_files();
        return std::move(plan_);
    }

private:
    void check_request()
    {
        if (request_.releases.empty())
            refuse("give at least one old release (--from LABEL=OLD_DIR)");
        check_folder(request_.new_folder, "the new release");
        std::set<std::u32string> labels;
        for (const OldRelease& release : request_.releases) {
            if (release.label.empty())
                refuse(fmt::format("--from ={}: the release needs a label", shown(release.folder)));
            check_kit_text("--from label", release.label);
            if (!labels.insert(folded_utf8_name(release.label)).second)
                refuse(fmt::format("--from {}: the label is given twice (case ignored)", printable(release.label)));
            check_folder(release.folder, "release " + printable(release.label));
            if (lies_within(release.folder, request_.new_folder) || lies_within(request_.new_folder, release.folder))
                refuse(fmt::format("{} and {}: the new release's folder and that of release {} lie inside each other",
                                   shown(request_.new_folder), shown(release.folder), printable(release.label)));
        }
        if (request_.key.empty())
            refuse("--key: give the registry key below HKEY_LOCAL_MACHINE that holds the install directory");
        check_kit_text("--key", request_.key);
        check_kit_text("--value", request_.value);
        for (const auto& [option, text] :
             {std::pair{"--product", &request_.product}, std::pair{"--title", &request_.title},
              std::pair{"--maker", &request_.maker}, std::pair{"--welcome", &request_.welcome}})
            if (*text)
                check_kit_text(option, **text);
        for (const auto& [option, file] :
             {std::pair{"--bitmap", &request_.bitmap}, std::pair{"--icon", &request_.icon}}) {
            std::error_code ec;
            if (*file && !fs::is_regular_file(**file, ec))
                refuse(fmt::format("{} {}: no such file", option, shown(**file)));
        }
        file_name_ = relative_name("--file", request_.file);

        destinations_.push_back(Destination{});
        add_destination("--system", request_.system_folder, KIT_BASE_SYSTEM);
        add_destination("--windows", request_.windows_folder, KIT_BASE_WINDOWS);
        // The kit looks for the checked file below the install directory.
        const std::u32string folded_file = folded_stored_name(file_name_);
        if (destination_of(folded_file, destinations_).base != KIT_BASE_INSTALL)
            refuse(fmt::format("--file {}: lies in the system or Windows subfolder, but the kit looks for it below "
                               "the install directory",
                               printable(request_.file)));
    }

    void add_destination(std::string_view option, const std::optional<std::string>& folder, std::uint16_t base)
    {
        if (!folder)
            return;
        const std::string name = relative_name(option, *folder);
        Destination destination{base, folded_stored_name(name) + U'\\'};
        for (const Destination& other : destinations_)
            if (other.folded_folder == destination.folded_folder)
                refuse(fmt::format("{} {}: the system and the Windows files need folders of their own", option,
                                   printable(*folder)));
        const fs::path path = request_.new_folder / path_from_utf8(relative_utf8_path(name));
        std::error_code ec;
        if (!fs::is_directory(path, ec))
            refuse(fmt::format("{} {}: {} is no folder of the new release", option, printable(*folder), shown(path)));
        destinations_.push_back(std::move(destination));
    }

    QualifyingFile qualifying_file(std::size_t r)
    {
        const OldRelease& release = request_.releases[r];
        const std::vector<ReleaseFile>& found = old_files_[r].find(folded_stored_name(file_name_));
        if (found.empty())
            refuse(fmt::format("release {} ({}) has no {}, the file the kit checks", printable(release.label),
                               shown(release.folder), printable(plan_.file)));
        if (found.size() > 1)
            refuse(fmt::format("release {} ({}) has {} and {}, which are one file on Windows: which one does it "
                               "install?",
                               printable(release.label), shown(release.folder), printable(found[0].name),
                               printable(found[1].name)));
        try {
            return QualifyingFile{found.front().path, kitbuild::file_checksum(found.front().path)};
        } catch (const kitbuild::KitError& e) {
            throw PlanError(printable(e.what()), kExitIoError);
        }
    }

    // Rows the kit cannot tell apart as the author would expect: it takes the
    // first row whose checksum matches, and a file it cannot open counts as
    // 0x0000.
    void warn_about_checksums()
    {
        const std::vector<OldRelease>& releases = request_.releases;
        for (std::size_t r = 0; r < releases.size(); ++r) {
            const std::uint16_t checksum = plan_.qualifying[r].checksum;
            if (checksum == 0)
                plan_.warnings.push_back(fmt::format(
                    "release {}: {} has the checksum 0x0000, which the kit also gives a file it cannot open: it "
                    "takes a machine without the file for release {}",
                    printable(releases[r].label), printable(plan_.file), printable(releases[r].label)));
            for (std::size_t earlier = 0; earlier < r; ++earlier)
                if (plan_.qualifying[earlier].checksum == checksum) {
                    plan_.warnings.push_back(fmt::format(
                        "releases {} and {}: {} has the same checksum, 0x{:04X}, in both: the kit detects both as "
                        "release {}, whose row comes first",
                        printable(releases[earlier].label), printable(releases[r].label), printable(plan_.file),
                        checksum, printable(releases[earlier].label)));
                    break;
                }
        }
    }

    std::vector<MemberSource> new_files()
    {
        SourceWalk walk;
        walk.skip = [&](const fs::path& skipped, std::string_view why) {
            plan_.warnings.push_back(fmt::format("{}: {}, left out", shown(skipped), why));
        };
        try {
            std::vector<MemberSource> sources = folder_sources(request_.new_folder, walk);
            check_stored_names(sources);
            return sources;
        } catch (const SourceError& e) {
            throw PlanError(fmt::format("{}: {}", printable(e.file), e.what()), e.status);
        }
    }

    Standing standing_in(std::size_t r, const MemberSource& source, const std::u32string& folded)
    {
        const std::vector<ReleaseFile>& counterparts = old_files_[r].find(folded);
        if (counterparts.empty())
            return Standing::missing;
        if (counterparts.size() > 1)
            plan_.warnings.push_back(fmt::format(
                "release {} has {} and {}, which are one file on Windows: {} counts as the same only when it is the "
                "same as each",
                printable(request_.releases[r].label), printable(counterparts[0].name), printable(counterparts[1].name),
                printable(utf8_from_windows1252(source.stored))));
        for (const ReleaseFile& counterpart : counterparts)
            if (!same_contents(source.path, counterpart.path))
                return Standing::changed;
        return Standing::same;
    }

    void compare_new_files()
    {
        std::map<std::uint16_t, PlannedArchive> archives;
        for (MemberSource& source : new_files()) {
            const std::u32string folded = folded_stored_name(source.stored);
            new_names_.insert(folded);
            ++plan_.compared;
            PlannedFile file;
            for (std::size_t r = 0; r < request_.releases.size(); ++r)
                file.standing.push_back(standing_in(r, source, folded));
            const auto all = [&](Standing s) {
                return std::all_of(file.standing.begin(), file.standing.end(), [s](Standing x) { return x == s; });
            };
            if (all(Standing::same)) {
                ++plan_.left_out;
                continue;
            }
            ++(all(Standing::missing) ? plan_.added : plan_.changed);
            const Destination& destination = destination_of(folded, destinations_);
            file.name = source.stored.substr(destination.folded_folder.size());
            file.source = std::move(source);
            PlannedArchive& archive = archives[destination.base];
            archive.base = destination.base;
            archive.files.push_back(std::move(file));
        }
        for (const auto& [base, id] :
             {std::pair{KIT_BASE_INSTALL, kInstallArchiveId}, std::pair{KIT_BASE_SYSTEM, kSystemArchiveId},
              std::pair{KIT_BASE_WINDOWS, kWindowsArchiveId}}) {
            const auto found = archives.find(static_cast<std::uint16_t>(base));
            if (found == archives.end())
                continue;
            found->second.id = id;
            plan_.archives.push_back(std::move(found->second));
        }
    }

    void find_removed_files()
    {
        std::map<std::u32string, RemovedFile> removed;
        for (std::size_t r = 0; r < request_.releases.size(); ++r)
            for (const auto& [folded, files] : old_files_[r].all()) {
                if (new_names_.count(folded))
                    continue;
                RemovedFile& entry = removed[folded];
                if (entry.name.empty())
                    entry.name = files.front().name;
                entry.labels.push_back(request_.releases[r].label);
            }
        for (auto& [folded, entry] : removed)
            plan_.removed.push_back(std::move(entry));
    }

    const PlanRequest& request_;
    UpgradePlan plan_;
    std::string file_name_;  // the checked file, Windows-1252
    std::vector<Destination> destinations_;
    std::vector<ReleaseFiles> old_files_;
    std::set<std::u32string> new_names_;
};

}  // namespace

UpgradePlan make_plan(const PlanRequest& request)
{
    return Planner(request).run();
}

bool lies_within(const fs::path& path, const fs::path& folder)
{
    std::error_code ec;
    fs::path at = fs::weakly_canonical(path, ec);
    if (ec)
        at = fs::absolute(path, ec).lexically_normal();
    for (;;) {
        std::error_code same_ec;
        if (fs::equivalent(at, folder, same_ec))
            return true;
        if (at == at.parent_path() || at.empty())
            return false;
        at = at.parent_path();
    }
}

}  // namespace upkit::kitplan
