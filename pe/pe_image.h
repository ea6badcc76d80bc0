// A PE image read from its bytes: the MS-DOS header's pointer to the PE
// header, the COFF file header, the optional header (PE32 and PE32+) with its
// data directories, and the section table.
//
// Nothing is trusted: every offset and size is checked against the bytes
// before it is used, and anything that does not fit throws PeError saying
// what is wrong and where. The image keeps a view of the bytes it was given,
// which must outlive it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <stdexcept>
#include <string>
#include <vector>

namespace upkit::pe {

// A file that is not a readable PE image, or a part of one that is damaged.
class PeError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

const std::uint16_t kMachineI386 = 0x014C;
const std::uint16_t kMachineAmd64 = 0x8664;
const std::uint16_t kMagicPe32 = 0x010B;
const std::uint16_t kMagicPe32Plus = 0x020B;
const std::uint16_t kSubsystemWindowsGui = 2;
const std::uint16_t kSubsystemWindowsConsole = 3;

// Index of the resource directory among the data directories.
const std::size_t kResourceDirectory = 2;
// Loaders read at most this many data directories, whatever the header says.
const std::size_t kMaxDataDirectories = 16;

struct CoffHeader {
    std::uint16_t machine = 0;
    std::uint16_t section_count = 0;
    std::uint32_t time_stamp = 0;
    std::uint16_t optional_header_size = 0;
    std::uint16_t characteristics = 0;
};

struct DataDirectory {
    std::uint32_t rva = 0;
    std::uint32_t size = 0;
};

struct OptionalHeader {
    std::uint16_t magic = 0;  // kMagicPe32 or kMagicPe32Plus
    std::uint32_t entry_point = 0;
    std::uint64_t image_base = 0;
    std::uint32_t section_alignment = 0;
    std::uint32_t file_alignment = 0;
    std::uint16_t os_version_major = 0;
    std::uint16_t os_version_minor = 0;
    std::uint16_t subsystem_version_major = 0;
    std::uint16_t subsystem_version_minor = 0;
    std::uint32_t size_of_image = 0;
    std::uint32_t size_of_headers = 0;
    std::uint32_t checksum = 0;
    std::uint16_t subsystem = 0;
    std::uint16_t dll_characteristics = 0;
    std::uint32_t declared_directory_count = 0;  // as the header says; at most 16 are read
    std::vector<DataDirectory> data_directories;

    bool is_pe32_plus() const { return magic == kMagicPe32Plus; }
};

struct Section {
    std::string name;  // up to 8 bytes, without the NULs that pad it
    std::uint32_t virtual_size = 0;
    std::uint32_t virtual_address = 0;
    std::uint32_t raw_size = 0;
    std::uint32_t raw_offset = 0;
    std::uint32_t characteristics = 0;
};

// Where the image's bytes for an RVA lie in the file.
struct FileRange {
    std::size_t offset = 0;     // file offset of the RVA
    std::size_t available = 0;  // bytes of the section's file data from there on
};

class PeImage {
public:
    // Parses the headers and the section table; throws PeError.
    explicit PeImage(std::span<const std::uint8_t> bytes);

    std::span<const std::uint8_t> bytes() const { return bytes_; }
    const CoffHeader& coff() const { return coff_; }
    const OptionalHeader& optional() const { return optional_; }
    const std::vector<Section>& sections() const { return sections_; }

    // File offsets of the headers, for tools that patch them.
    std::size_t pe_header_offset() const { return pe_header_offset_; }
    std::size_t optional_header_offset() const { return pe_header_offset_ + 24; }
    std::size_t section_table_offset() const { return optional_header_offset() + coff_.optional_header_size; }

    // Data directory `index`, or an empty one (RVA and size 0) when the
    // header does not carry that many.
    DataDirectory directory(std::size_t index) const;

    // The file bytes behind an RVA. Throws PeError when no section holds it.
    // `available` is 0 for an RVA in the part of a section that is not in
    // the file (zero-filled when loaded).
    FileRange map_rva(std::uint32_t rva) const;

    // `size` bytes of file data at `rva`, all within one section; throws
    // PeError naming `what` when they are not all in the file.
    std::span<const std::uint8_t> data_at(std::uint32_t rva, std::uint32_t size, const std::string& what) const;

private:
    void read_dos_and_pe_headers();
    void read_optional_header();
    void read_section_table();

    std::span<const std::uint8_t> bytes_;
    std::size_t pe_header_offset_ = 0;
    CoffHeader coff_;
    OptionalHeader optional_;
    std::vector<Section> sections_;
};

// "i386", "x86-64" or the number in hexadecimal.
std::string machine_name(std::uint16_t machine);

// "Windows GUI", "Windows console" or the number.
std::string subsystem_name(std::uint16_t subsystem);

}  // namespace upkit::pe
