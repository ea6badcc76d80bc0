#include "cli_test_support.h"

#include <algorithm>
#include <fstream>
#include <random>
#include <sstream>

#include "upkit_cli.h"

RunResult run_cli(const std::vector<std::string>& args)
{
    std::vector<std::string> storage = {"upkit"};
    storage.insert(storage.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (std::string& s : storage)
        argv.push_back(s.data());
    argv.push_back(nullptr);
    std::ostringstream out;
    std::ostringstream err;
    RunResult result;
    result.code = run_upkit(static_cast<int>(storage.size()), argv.data(), out, err);
    result.out = out.str();
    result.err = err.str();
    return result;
}

nlohmann::json list_json(const std::string& archive)
{
    const RunResult listed = run_cli({"list", "--json", archive});
    EXPECT_EQ(listed.code, 0) << listed.err;
    return listed.code == 0 ? nlohmann::json::parse(listed.out) : nlohmann::json::object();
}

std::vector<std::string> member_names(const std::string& archive)
{
    std::vector<std::string> names;
    const nlohmann::json listing = list_json(archive);
    if (listing.contains("members"))
        for (const nlohmann::json& member : listing["members"])
            names.push_back(member["name"]);
    return names;
}

upkit::MemberInput member(const std::string& name, const std::vector<std::uint8_t>& data)
{
    upkit::MemberInput m;
    m.name = name;
    m.data = data;
    m.dos_date = static_cast<std::uint16_t>((21 << 9) | (1 << 5) | 1);
    return m;
}

std::vector<std::uint8_t> random_bytes(std::size_t n, unsigned seed)
{
    std::mt19937 generator(seed);
    std::vector<std::uint8_t> data(n);
    for (std::uint8_t& b : data)
        b = static_cast<std::uint8_t>(generator());
    return data;
}

std::vector<std::uint8_t> text_bytes(std::size_t n)
{
    std::string text;
    for (int line = 0; text.size() < n; ++line)
        text += "line " + std::to_string(line) + " of the upgrade notes\r\n";
    text.resize(n);
    return std::vector<std::uint8_t>(text.begin(), text.end());
}

std::vector<std::uint8_t> read_bytes(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::vector<std::uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void write_bytes(const fs::path& path, const std::vector<std::uint8_t>& data)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(data.data()), static_cast<std::streamsize>(data.size()));
    ASSERT_TRUE(out.good()) << path;
}

std::vector<std::string> files_below(const fs::path& root)
{
    std::vector<std::string> files;
    if (!fs::exists(root))
        return files;
    for (const fs::directory_entry& entry : fs::recursive_directory_iterator(root))
        if (entry.is_regular_file())
            files.push_back(entry.path().lexically_relative(root).generic_string());
    std::sort(files.begin(), files.end());
    return files;
}

void CliTest::SetUp()
{
    std::random_device seed;
    std::mt19937 generator(seed());
    for (int attempt = 0; attempt < 100 && root_.empty(); ++attempt) {
        char name[16];
        std::snprintf(name, sizeof name, "uk%08x", static_cast<unsigned>(generator()));
        const fs::path candidate = fs::temp_directory_path() / name;
        if (fs::create_directory(candidate))
            root_ = candidate;
    }
    ASSERT_FALSE(root_.empty()) << "no fresh folder under " << fs::temp_directory_path();
}

void CliTest::TearDown()
{
    std::error_code ec;
    if (!root_.empty())
        fs::remove_all(root_, ec);
}

fs::path CliTest::put(const std::string& relative, const std::vector<std::uint8_t>& data)
{
    const fs::path path = at(relative);
    fs::create_directories(path.parent_path());
    write_bytes(path, data);
    return path;
}
