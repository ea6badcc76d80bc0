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

// The layout of the headers in the file. Each namespace below describes one
// structure: its size and the offsets, from the structure's start, of the
// fields this code reads or writes (all little-endian; the comment gives the
// width). Reader and writer both go through these, so the layout is written
// down once.

// The MS-DOS header at the start of the file: "MZ", and at 0x3C the file
// offset of the PE signature.
namespace dos_header {
inline constexpr std::size_t kSize = 64;
inline constexpr std::size_t kPeHeaderPointer = 0x3C;  // u32
}  // namespace dos_header

// "PE\0\0" at the offset the MS-DOS header gives; the COFF header follows.
namespace pe_signature {
inline constexpr std::size_t kSize = 4;
}  // namespace pe_signature

// The COFF file header, right after the PE signature.
namespace coff_header {
inline constexpr std::size_t kSize = 20;
inline constexpr std::size_t kMachine = 0;              // u16
inline constexpr std::size_t kSectionCount = 2;         // u16
inline constexpr std::size_t kTimeStamp = 4;            // u32, link time
inline constexpr std::size_t kSymbolTable = 8;          // u32, file offset of the COFF symbols, 0 for none
inline constexpr std::size_t kSymbolCount = 12;         // u32
inline constexpr std::size_t kOptionalHeaderSize = 16;  // u16
inline constexpr std::size_t kCharacteristics = 18;     // u16
}  // namespace coff_header

struct CoffHeader {
    std::uint16_t machine = 0;
    std::uint16_t section_count = 0;
    std::uint32_t time_stamp = 0;
    std::uint32_t symbol_table = 0;
    std::uint32_t symbol_count = 0;
    std::uint16_t optional_header_size = 0;
    std::uint16_t characteristics = 0;
};

// One data directory entry: where a table of the image lies in memory.
namespace data_directory {
inline constexpr std::size_t kSize = 8;
inline constexpr std::size_t kRva = 0;       // u32
inline constexpr std::size_t kDataSize = 4;  // u32
}  // namespace data_directory

struct DataDirectory {
    std::uint32_t rva = 0;
    std::uint32_t size = 0;
};

// The optional header, right after the COFF header. PE32 and PE32+ share
// their fields up to the image base; PE32+ has no base of data and 64-bit
// image base and stack and heap sizes, which moves the directory count and
// the data directories that end the header.
namespace optional_header {
inline constexpr std::size_t kMagic = 0;                   // u16: kMagicPe32 or kMagicPe32Plus
inline constexpr std::size_t kSizeOfInitializedData = 8;   // u32
inline constexpr std::size_t kEntryPoint = 16;             // u32, RVA
inline constexpr std::size_t kImageBasePe32 = 28;          // u32
inline constexpr std::size_t kImageBasePe32Plus = 24;      // u64
inline constexpr std::size_t kSectionAlignment = 32;       // u32
inline constexpr std::size_t kFileAlignment = 36;          // u32
inline constexpr std::size_t kOsVersionMajor = 40;         // u16
inline constexpr std::size_t kOsVersionMinor = 42;         // u16
inline constexpr std::size_t kSubsystemVersionMajor = 48;  // u16
inline constexpr std::size_t kSubsystemVersionMinor = 50;  // u16
inline constexpr std::size_t kSizeOfImage = 56;            // u32
inline constexpr std::size_t kSizeOfHeaders = 60;          // u32
inline constexpr std::size_t kChecksum = 64;               // u32
inline constexpr std::size_t kSubsystem = 68;              // u16
inline constexpr std::size_t kDllCharacteristics = 70;     // u16
inline constexpr std::size_t kDirectoryCountPe32 = 92;     // u32, the number of data directories
inline constexpr std::size_t kDirectoryCountPe32Plus = 108;
// The data directories, data_directory::kSize bytes each, end the header.
inline constexpr std::size_t kDirectoriesPe32 = 96;
inline constexpr std::size_t kDirectoriesPe32Plus = 112;

// Where the data directories begin for a header with this magic; they are
// also the size of the header's fixed part.
inline constexpr std::size_t directories(bool pe32_plus)
{
    return pe32_plus ? kDirectoriesPe32Plus : kDirectoriesPe32;
}
}  // namespace optional_header

struct OptionalHeader {
    std::uint16_t magic = 0;  // kMagicPe32 or kMagicPe32Plus
    std::uint32_t size_of_initialized_data = 0;
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

// One entry of the section table, which follows the optional header.
namespace section_header {
inline constexpr std::size_t kSize = 40;
inline constexpr std::size_t kName = 0;  // kNameSize bytes, padded with NULs
inline constexpr std::size_t kNameSize = 8;
inline constexpr std::size_t kVirtualSize = 8;       // u32
inline constexpr std::size_t kVirtualAddress = 12;   // u32, RVA
inline constexpr std::size_t kRawSize = 16;          // u32, bytes in the file
inline constexpr std::size_t kRawOffset = 20;        // u32, file offset
inline constexpr std::size_t kCharacteristics = 36;  // u32
}  // namespace section_header

struct Section {
    std::string name;  // up to 8 bytes, without the NULs that pad it
    std::uint32_t virtual_size = 0;
    std::uint32_t virtual_address = 0;
    std::uint32_t raw_size = 0;
    std::uint32_t raw_offset = 0;
    std::uint32_t characteristics = 0;
};

// The resource tree, at the resource data directory's RVA. Every offset in
// it counts from the tree's start. A directory is a header followed by its
// entries, the named ones first; an entry leads to a directory one level
// down or, at the third level (language), to a data entry.
namespace resource_directory {
inline constexpr std::size_t kSize = 16;             // the header; its entries follow
inline constexpr std::size_t kNamedEntryCount = 12;  // u16
inline constexpr std::size_t kIdEntryCount = 14;     // u16
}  // namespace resource_directory

namespace resource_directory_entry {
inline constexpr std::size_t kSize = 8;
inline constexpr std::size_t kName = 0;    // u32: an id, or kNameIsString and the offset of the name
inline constexpr std::size_t kTarget = 4;  // u32: kTargetIsDirectory and its offset, or a data entry's offset
inline constexpr std::uint32_t kNameIsString = 0x80000000u;
inline constexpr std::uint32_t kTargetIsDirectory = 0x80000000u;
}  // namespace resource_directory_entry

// A name in the tree: a u16 count of UTF-16 units, then the units, no NUL.
namespace resource_name {
inline constexpr std::size_t kLength = 0;  // u16
inline constexpr std::size_t kUnits = 2;
}  // namespace resource_name

// Where one resource's bytes are.
namespace resource_data_entry {
inline constexpr std::size_t kSize = 16;
inline constexpr std::size_t kRva = 0;       // u32, of the data itself
inline constexpr std::size_t kDataSize = 4;  // u32
inline constexpr std::size_t kCodePage = 8;  // u32
}  // namespace resource_data_entry

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

    // File offsets of the headers, for tools that patch them: the PE
    // signature, the COFF header after it, the optional header, the data
    // directory `index` (one the header carries) and the section table.
    std::size_t pe_header_offset() const { return pe_header_offset_; }
    std::size_t coff_header_offset() const { return pe_header_offset_ + pe_signature::kSize; }
    std::size_t optional_header_offset() const { return coff_header_offset() + coff_header::kSize; }
    std::size_t data_directory_offset(std::size_t index) const
    {
        return optional_header_offset() + optional_header::directories(optional_.is_pe32_plus()) +
               index * data_directory::kSize;
    }
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
