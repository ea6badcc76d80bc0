// Shared ground for the tool's tests: each test gets a fresh, short-named
// folder of its own and runs the tool in-process with string streams.
#pragma once

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "archive_writer.h"

namespace fs = std::filesystem;

struct RunResult {
    int code = -1;
    std::string out;
    std::string err;
};

// Runs "upkit <args...>".
RunResult run_cli(const std::vector<std::string>& args);

// "upkit list --json ARCHIVE", parsed; a failed listing fails the test.
nlohmann::json list_json(const std::string& archive);
std::vector<std::string> member_names(const std::string& archive);

// A member for encode_archive with the given name and contents.
upkit::MemberInput member(const std::string& name, const std::vector<std::uint8_t>& data);

std::vector<std::uint8_t> random_bytes(std::size_t n, unsigned seed);
// Compressible text of about n bytes.
std::vector<std::uint8_t> text_bytes(std::size_t n);

std::vector<std::uint8_t> read_bytes(const fs::path& path);
void write_bytes(const fs::path& path, const std::vector<std::uint8_t>& data);

// Every regular file below `root`, by its generic relative path.
std::vector<std::string> files_below(const fs::path& root);

class CliTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // A path inside the test's folder, and the same as an argument.
    fs::path at(const std::string& relative) const { return root_ / fs::path(relative).make_preferred(); }
    std::string arg(const std::string& relative) const { return at(relative).string(); }

    // Writes a file below the test's folder, making its folders.
    fs::path put(const std::string& relative, const std::vector<std::uint8_t>& data);

    fs::path root_;
};
