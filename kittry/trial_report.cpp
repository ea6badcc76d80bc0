#include "trial_report.h"

#include <fmt/format.h>

namespace upkit::kittry {

namespace {

std::string operation_text(const PendingOperation& operation)
{
    return operation.target.empty() ? "delete " + operation.source : operation.source + " -> " + operation.target;
}

void print_files(std::ostream& out, const std::vector<FileChange>& files)
{
    for (const FileChange& file : files) {
        if (file.kind == FileChange::removed)
            out << fmt::format("  {:<9} {}\n", change_name(file.kind), file.path);
        else
            out << fmt::format("  {:<9} {}  ({} bytes, written {})\n", change_name(file.kind), file.path,
                               file.state.size, utc_text(file.state.mtime_ns));
    }
    if (files.empty())
        out << "  none\n";
}

std::string data_text(const nlohmann::json& data)
{
    return data.is_string() ? "\"" + data.get<std::string>() + "\"" : data.dump();
}

nlohmann::json files_json(const std::vector<FileChange>& files)
{
    nlohmann::json list = nlohmann::json::array();
    for (const FileChange& file : files) {
        nlohmann::json entry = {{"path", file.path}, {"change", change_name(file.kind)}};
        if (file.kind != FileChange::removed) {
            entry["size"] = file.state.size;
            entry["written"] = utc_text(file.state.mtime_ns);
        }
        list.push_back(entry);
    }
    return list;
}

nlohmann::json operations_json(const std::vector<PendingOperation>& operations)
{
    nlohmann::json list = nlohmann::json::array();
    for (const PendingOperation& operation : operations)
        list.push_back({{"source", operation.source}, {"target", operation.target}});
    return list;
}

}  // namespace

void print_trial_report(std::ostream& out, const TrialReport& report)
{
    out << "Installed release: " << report.product_folder << " (" << report.arch << " prefix)\n";
    if (!report.windows_open.empty()) {
        out << "Windows open:";
        for (const std::string& window_class : report.windows_open)
            out << ' ' << window_class;
        out << '\n';
    }
    out << "\nMessage boxes:\n";
    for (const BoxSeen& box : report.boxes) {
        out << fmt::format("  {}: \"{}\"", box.caption, box.text);
        if (!box.answered.empty())
            out << fmt::format("  [{}]", box.answered);
        out << '\n';
    }
    if (report.boxes.empty())
        out << "  none\n";
    out << "\nFiles written or replaced:\n";
    print_files(out, report.files);
    out << "\nWaiting for a restart:\n";
    for (const PendingOperation& operation : report.pending)
        out << "  " << operation_text(operation) << '\n';
    for (const std::string& line : report.wininit)
        out << "  WININIT.INI: " << line << '\n';
    if (report.pending.empty() && report.wininit.empty())
        out << "  nothing\n";
    out << "\nRegistry values written:\n";
    for (const RegistryReadBack& value : report.registry) {
        const std::string name = value.key + "\\" + (value.value.empty() ? "(default)" : value.value);
        if (value.exists)
            out << fmt::format("  {} = {}  [{}]\n", name, data_text(value.data), value.type);
        else
            out << fmt::format("  {}  (not there)\n", name);
    }
    if (report.registry.empty())
        out << "  the kit lists none\n";
    if (report.restarted) {
        out << "\nAfter a restart:\n";
        print_files(out, report.restart_files);
        for (const PendingOperation& operation : report.pending_after_restart)
            out << "  still waiting: " << operation_text(operation) << '\n';
    }
    out << "\nThe kit's exit status: "
        << (report.kit_exit ? std::to_string(*report.kit_exit) : std::string("none (it did not end)")) << '\n';
    out << (report.completed ? "The kit completed its install.\n" : "The kit did not complete an install.\n");
    if (!report.screenshots.empty())
        out << "Screenshots: " << report.screenshots.front().parent_path().string() << '\n';
    if (!report.kept_prefix.empty())
        out << "The Wine prefix is kept at " << report.kept_prefix.string() << '\n';
}

nlohmann::json trial_report_json(const TrialReport& report)
{
    nlohmann::json boxes = nlohmann::json::array();
    for (const BoxSeen& box : report.boxes) {
        nlohmann::json entry = {{"caption", box.caption}, {"text", box.text}, {"buttons", box.buttons}};
        entry["answered"] = box.answered.empty() ? nlohmann::json(nullptr) : nlohmann::json(box.answered);
        boxes.push_back(entry);
    }
    nlohmann::json registry = nlohmann::json::array();
    for (const RegistryReadBack& value : report.registry) {
        nlohmann::json entry = {{"key", value.key}, {"value", value.value}, {"exists", value.exists}};
        if (value.exists) {
            entry["type"] = value.type;
            entry["data"] = value.data;
        }
        registry.push_back(entry);
    }
    nlohmann::json screenshots = nlohmann::json::array();
    for (const auto& path : report.screenshots)
        screenshots.push_back(path.string());
    nlohmann::json out = {{"arch", report.arch},
                          {"product_folder", report.product_folder},
                          {"windows_open", report.windows_open},
                          {"boxes", boxes},
                          {"files", files_json(report.files)},
                          {"pending", operations_json(report.pending)},
                          {"wininit", report.wininit},
                          {"registry", registry},
                          {"kit_exit", report.kit_exit ? nlohmann::json(*report.kit_exit) : nlohmann::json(nullptr)},
                          {"completed", report.completed},
                          {"screenshots", screenshots}};
    if (report.restarted)
        out["restart"] = {{"files", files_json(report.restart_files)},
                          {"pending", operations_json(report.pending_after_restart)}};
    if (!report.kept_prefix.empty())
        out["prefix"] = report.kept_prefix.string();
    return out;
}

}  // namespace upkit::kittry
