// Kit tables for tests: their bytes written row by row, and a module that
// carries them as resources for the kit's readers to find.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

#include "test_files.h"

namespace upkit::test {

// Table bytes as the kit reads them: NUL-terminated strings and 16-bit
// little-endian numbers packed byte to byte, a 16-bit zero at the end.
class TableBytes {
public:
    TableBytes& text(const std::string& value);
    TableBytes& word(std::uint16_t value);
    std::vector<std::uint8_t> end() const;
    const std::vector<std::uint8_t>& bytes() const { return bytes_; }

private:
    std::vector<std::uint8_t> bytes_;
};

// A copy of the fixture module with the given tables added; the kit reads
// its resources from it while the fixture lives.
class KitModule {
public:
    KitModule();
    ~KitModule();
    KitModule(const KitModule&) = delete;
    KitModule& operator=(const KitModule&) = delete;

    // Adds an RCDATA table by name (stored, as resource names are, in
    // upper case).
    void add_table(const std::string& name, const std::vector<std::uint8_t>& bytes);
    // Adds an ARCHIVE resource.
    void add_archive(unsigned id, const std::vector<std::uint8_t>& bytes);
    // Writes the tables and makes the module the kit's.
    void load();

    const TempDir& dir() const { return dir_; }

private:
    TempDir dir_;
    fs::path module_path_;
    HANDLE update_ = nullptr;
    HMODULE module_ = nullptr;
};

}  // namespace upkit::test
