#include "plan_manifest.h"

#include <algorithm>
#include <fmt/format.h>

#include "exit_status.h"
#include "kit_resource_ids.h"
#include "manifest.h"
#include "member_names.h"
#include "text_codec.h"
#include "toml_text.h"

namespace fs = std::filesystem;

namespace upkit::kitplan {

namespace {

using kitbuild::placeholder;
using kitbuild::toml_comment_text;
using kitbuild::toml_field;
using kitbuild::toml_string;

std::string shown(const fs::path& path)
{
    return printable(shown_path(path));
}

std::string counted(std::size_t count, std::string_view one, std::string_view many)
{
    return fmt::format("{} {}", count, count == 1 ? one : many);
}

std::string listed(const std::vector<std::string>& items)
{
    std::string text;
    for (std::size_t i = 0; i < items.size(); ++i)
        text += (i == 0 ? "" : i + 1 == items.size() ? " and " : ", ") + items[i];
    return text;
}

// Paths as the manifest gives them: relative to its folder where they can
// be, with '/' between folders.
class ManifestPaths {
public:
    explicit ManifestPaths(const fs::path& manifest) : folder_(canonical(manifest.parent_path())) { }

    std::string text_of(const fs::path& path) const
    {
        const fs::path target = canonical(path);
        fs::path relative = target.lexically_relative(folder_);
        if (relative.empty())
            relative = target;
        std::string text = utf8_from_path(relative);
#ifdef _WIN32
        std::replace(text.begin(), text.end(), '\\', '/');
#endif
        if (!is_utf8(text))
            throw PlanError(fmt::format("{}: the path is not UTF-8, and a manifest cannot name it", shown(path)),
                            kExitUsage);
        return text;
    }

private:
    static fs::path canonical(const fs::path& path)
    {
        std::error_code ec;
        const fs::path absolute = fs::absolute(path.empty() ? fs::path(".") : path, ec);
        const fs::path resolved = fs::weakly_canonical(absolute, ec);
        return ec ? absolute.lexically_normal() : resolved;
    }

    fs::path folder_;
};

// How a carried file differs from the old releases, for its line's comment.
std::string standing_note(const PlannedFile& file, const std::vector<OldRelease>& releases)
{
    std::vector<std::string> changed, missing;
    for (std::size_t r = 0; r < releases.size(); ++r) {
        if (file.standing[r] == Standing::changed)
            changed.push_back(releases[r].label);
        else if (file.standing[r] == Standing::missing)
            missing.push_back(releases[r].label);
    }
    if (missing.size() == releases.size())
        return "added";
    if (changed.size() == releases.size())
        return "changed";
    std::string note;
    if (!changed.empty())
        note = "changed from " + listed(changed);
    if (!missing.empty())
        note += (note.empty() ? "" : "; ") + std::string("missing from ") + listed(missing);
    return note;
}

class ManifestWriter {
public:
    ManifestWriter(const PlanRequest& request, const UpgradePlan& plan, const fs::path& manifest)
        : request_(request)
        , plan_(plan)
        , paths_(manifest)
    {
    }

    std::string write()
    {
        write_summary();
        write_face();
        write_app_versions();
        write_windows_example();
        write_archives();
        write_registry_example();
        return std::move(text_);
    }

private:
    void comment(std::string_view line) { text_ += line.empty() ? "#\n" : "# " + toml_comment_text(line) + "\n"; }

    bool has_placeholders() const
    {
        return !request_.title || !request_.maker || !request_.product || !request_.welcome;
    }

    std::string product_or(std::string_view otherwise) const
    {
        return request_.product ? *request_.product : std::string(otherwise);
    }

    void write_summary()
    {
        const std::string new_folder = paths_.text_of(request_.new_folder);
        comment("Written by upkit plan. The kit upgrades these releases to the one in " + new_folder + ":");
        std::size_t width = 0;
        for (const OldRelease& release : request_.releases)
            width = std::max(width, release.label.size());
        for (const OldRelease& release : request_.releases)
            comment(fmt::format("  {:<{}}  {}", release.label, width, paths_.text_of(release.folder)));
        comment("");
        comment("Files are compared by content, their names as Windows compares them (case ignored).");
        comment(fmt::format("{} in {}: {} changed, {} added, {} left out (the same in every release).",
                            counted(plan_.compared, "file", "files"), new_folder, plan_.changed, plan_.added,
                            plan_.left_out));
        comment("The archives below carry the changed and the added ones.");
        comment("");
        if (plan_.removed.empty()) {
            comment("Every file of the old releases is in the new one.");
        } else {
            comment("In an old release but not in the new one (the kit cannot delete files: they stay");
            comment("where they are installed):");
            for (const RemovedFile& file : plan_.removed)
                comment(fmt::format("  {} ({})", file.name, listed(file.labels)));
        }
        comment("");
        if (has_placeholders()) {
            comment(fmt::format("Values that start with {} are yours to give: upkit build refuses the",
                                toml_string(kitbuild::kPlaceholderMarker)));
            comment("manifest while one is left.");
        }
        comment("Paths are relative to this file.");
        text_ += "\n";
    }

    void write_face()
    {
        text_ += "[kit]\n";
        text_ += toml_field("title", request_.title ? *request_.title
                                                    : placeholder("the kit's title, such as Widget 2.1 Upgrade"));
        text_ += toml_field("maker", request_.maker ? *request_.maker : placeholder("the maker's name"));
        text_ += toml_field("product", product_or(placeholder("the product's name")));
        text_ += toml_field("welcome", request_.welcome ? *request_.welcome
                                                        : placeholder("the first paragraph of the kit's dialog"));
        if (request_.bitmap)
            text_ += toml_field("bitmap", paths_.text_of(*request_.bitmap));
        else
            text_ += "# bitmap = \"kit.bmp\"  # the dialog's picture, 180 x 325 in 16 colours (else a plain one)\n";
        if (request_.icon)
            text_ += toml_field("icon", paths_.text_of(*request_.icon));
        else
            text_ += "# icon = \"kit.ico\"    # the kit's icon, 32 x 32 and 16 x 16 (else a plain one)\n";
        text_ += "# legal = \"Copyright (C) ...\"\n\n";
    }

    void write_app_versions()
    {
        comment(fmt::format("The releases the kit upgrades, told apart by the checksum of {}", plan_.file));
        comment("(upkit checksum FILE computes it).");
        for (std::size_t r = 0; r < request_.releases.size(); ++r) {
            const OldRelease& release = request_.releases[r];
            text_ += "[[app_versions]]\n";
            text_ += toml_field("display", request_.product
                                               ? fmt::format("Detected {} {}", *request_.product, release.label)
                                               : placeholder(fmt::format("Detected <product> {}", release.label)));
            text_ += toml_field("key", request_.key);
            text_ += toml_field("value", request_.value);
            text_ += toml_field("file", plan_.file);
            text_ += fmt::format("checksum = 0x{:04X}  # of {}\n\n", plan_.qualifying[r].checksum,
                                 toml_comment_text(paths_.text_of(plan_.qualifying[r].path)));
        }
    }

    void write_windows_example()
    {
        comment("Programs that must be closed first, found by window class or title:");
        comment("[[windows]]");
        comment(fmt::format("display = {}", toml_string(product_or("Widget"))));
        comment("class = \"WidgetMainWindow\"");
        comment("title = \"\"");
        text_ += "\n";
    }

    std::string progress_text(std::uint16_t base) const
    {
        const std::string product = request_.product ? *request_.product + " " : std::string();
        switch (base) {
        case KIT_BASE_SYSTEM:
            return "Installing " + product + "system files...";
        case KIT_BASE_WINDOWS:
            return "Installing " + product + "Windows files...";
        default:
            return request_.product ? "Installing " + *request_.product + "..." : "Installing the new files...";
        }
    }

    void write_archives()
    {
        if (plan_.archives.empty()) {
            comment("The releases hold the same files: the kit carries no archive.");
            text_ += "\n";
        }
        for (const PlannedArchive& archive : plan_.archives) {
            text_ += fmt::format("[[archives]]\nid = {}\n", archive.id);
            text_ += toml_field("progress", progress_text(archive.base));
            text_ += fmt::format("base = \"{}\"\n", archive.base == KIT_BASE_SYSTEM    ? "system"
                                                    : archive.base == KIT_BASE_WINDOWS ? "windows"
                                                                                       : "install");
            text_ += "content = [\n";
            for (const PlannedFile& file : archive.files)
                text_ +=
                    fmt::format("  {{ file = {}, name = {} }},  # {}\n", toml_string(paths_.text_of(file.source.path)),
                                toml_string(utf8_from_windows1252(file.name)),
                                toml_comment_text(standing_note(file, request_.releases)));
            text_ += "]\n\n";
        }
    }

    void write_registry_example()
    {
        comment("Values written once the files are installed; %I% stands for the install directory:");
        comment("[[registry]]");
        comment("root = \"HKLM\"");
        comment(fmt::format("key = {}", toml_string(request_.key)));
        comment("value = \"Version\"");
        comment("type = \"REG_SZ\"");
        comment("data = \"2.1\"");
    }

    const PlanRequest& request_;
    const UpgradePlan& plan_;
    ManifestPaths paths_;
    std::string text_;
};

}  // namespace

void check_manifest_path(const PlanRequest& request, const fs::path& manifest)
{
    std::error_code ec;
    if (fs::is_directory(manifest, ec))
        throw PlanError(fmt::format("{}: a folder; give the manifest's file name", shown(manifest)), kExitUsage);
    const fs::path folder = manifest.parent_path().empty() ? fs::path(".") : manifest.parent_path();
    if (!fs::is_directory(folder, ec))
        throw PlanError(fmt::format("{}: cannot write the manifest: no such folder {}", shown(manifest), shown(folder)),
                        kExitUsage);
    const auto refuse_inside = [&](const fs::path& release, const std::string& which) {
        if (lies_within(folder, release))
            throw PlanError(fmt::format("{}: lies in {} ({}); the next plan would take it, and the kit built "
                                        "beside it, for a file of that release: write it elsewhere",
                                        shown(manifest), which, shown(release)),
                            kExitUsage);
    };
    refuse_inside(request.new_folder, "the new release");
    for (const OldRelease& release : request.releases)
        refuse_inside(release.folder, "release " + printable(release.label));
    for (const std::optional<fs::path>& input : {request.bitmap, request.icon})
        if (input && fs::equivalent(manifest, *input, ec))
            throw PlanError(fmt::format("{}: the manifest cannot replace {}, which it names", shown(manifest),
                                        shown(*input)),
                            kExitUsage);
}

std::string plan_manifest_text(const PlanRequest& request, const UpgradePlan& plan, const fs::path& manifest)
{
    return ManifestWriter(request, plan, manifest).write();
}

}  // namespace upkit::kitplan
