#include "pe_image.h"

#include <algorithm>
#include <fmt/format.h>

#include "little_endian.h"

namespace upkit::pe {

PeImage::PeImage(std::span<const std::uint8_t> bytes) : bytes_(bytes)
{
    read_dos_and_pe_headers();
    read_optional_header();
    read_section_table();
}

void PeImage::read_dos_and_pe_headers()
{
    const std::size_t size = bytes_.size();
    if (size < dos_header::kSize)
        throw PeError(fmt::format("the file is {} bytes long, too short for an MS-DOS header ({} bytes)", size,
                                  dos_header::kSize));
    if (bytes_[0] != 'M' || bytes_[1] != 'Z')
        throw PeError("not an executable: the file does not begin with \"MZ\"");
    pe_header_offset_ = load_u32(bytes_, dos_header::kPeHeaderPointer);
    if (!fits(size, pe_header_offset_, pe_signature::kSize))
        throw PeError(fmt::format("the PE header offset 0x{:X} (at 0x{:X}) lies past the end of the file ({} bytes)",
                                  pe_header_offset_, dos_header::kPeHeaderPointer, size));
    const std::span<const std::uint8_t> signature = bytes_.subspan(pe_header_offset_, pe_signature::kSize);
    if (signature[0] != 'P' || signature[1] != 'E' || signature[2] != 0 || signature[3] != 0)
        throw PeError(
            fmt::format("no PE signature at 0x{:X}: an MS-DOS program, or not a program at all", pe_header_offset_));
    const std::size_t coff = coff_header_offset();
    if (!fits(size, coff, coff_header::kSize))
        throw PeError(fmt::format("the file ends inside the COFF file header at 0x{:X}", coff));
    coff_.machine = load_u16(bytes_, coff + coff_header::kMachine);
    coff_.section_count = load_u16(bytes_, coff + coff_header::kSectionCount);
    coff_.time_stamp = load_u32(bytes_, coff + coff_header::kTimeStamp);
    coff_.symbol_table = load_u32(bytes_, coff + coff_header::kSymbolTable);
    coff_.symbol_count = load_u32(bytes_, coff + coff_header::kSymbolCount);
    coff_.optional_header_size = load_u16(bytes_, coff + coff_header::kOptionalHeaderSize);
    coff_.characteristics = load_u16(bytes_, coff + coff_header::kCharacteristics);
}

void PeImage::read_optional_header()
{
    namespace field = optional_header;
    const std::size_t at = optional_header_offset();
    const std::size_t size = coff_.optional_header_size;
    if (size < field::kMagic + 2)
        throw PeError(fmt::format("the COFF header at 0x{:X} announces no optional header: an object file, not an "
                                  "image",
                                  coff_header_offset()));
    if (!fits(bytes_.size(), at, size))
        throw PeError(fmt::format("the file ends inside the optional header (0x{:X}, {} bytes)", at, size));
    const std::span<const std::uint8_t> header = bytes_.subspan(at, size);
    optional_.magic = load_u16(header, field::kMagic);
    if (optional_.magic != kMagicPe32 && optional_.magic != kMagicPe32Plus)
        throw PeError(fmt::format("unknown optional header magic 0x{:04X} at 0x{:X} (0x010B for PE32, 0x020B for "
                                  "PE32+)",
                                  optional_.magic, at));
    const bool plus = optional_.is_pe32_plus();
    const std::size_t fixed = field::directories(plus);
    if (size < fixed)
        throw PeError(fmt::format("the optional header at 0x{:X} is {} bytes, too short for a {} header ({} bytes "
                                  "before its data directories)",
                                  at, size, plus ? "PE32+" : "PE32", fixed));
    optional_.size_of_initialized_data = load_u32(header, field::kSizeOfInitializedData);
    optional_.entry_point = load_u32(header, field::kEntryPoint);
    optional_.image_base = plus ? load_u64(header, field::kImageBasePe32Plus) : load_u32(header, field::kImageBasePe32);
    optional_.section_alignment = load_u32(header, field::kSectionAlignment);
    optional_.file_alignment = load_u32(header, field::kFileAlignment);
    optional_.os_version_major = load_u16(header, field::kOsVersionMajor);
    optional_.os_version_minor = load_u16(header, field::kOsVersionMinor);
    optional_.subsystem_version_major = load_u16(header, field::kSubsystemVersionMajor);
    optional_.subsystem_version_minor = load_u16(header, field::kSubsystemVersionMinor);
    optional_.size_of_image = load_u32(header, field::kSizeOfImage);
    optional_.size_of_headers = load_u32(header, field::kSizeOfHeaders);
    optional_.checksum = load_u32(header, field::kChecksum);
    optional_.subsystem = load_u16(header, field::kSubsystem);
    optional_.dll_characteristics = load_u16(header, field::kDllCharacteristics);
    optional_.declared_directory_count =
        load_u32(header, plus ? field::kDirectoryCountPe32Plus : field::kDirectoryCountPe32);

    // Loaders ignore directories past the sixteenth; those read must lie
    // within the header.
    const std::size_t count = std::min<std::size_t>(optional_.declared_directory_count, kMaxDataDirectories);
    if (fixed + count * data_directory::kSize > size)
        throw PeError(fmt::format("the optional header at 0x{:X} is {} bytes, too short for the {} data directories "
                                  "it announces",
                                  at, size, count));
    for (std::size_t i = 0; i < count; ++i) {
        const std::size_t entry = fixed + i * data_directory::kSize;
        optional_.data_directories.push_back(DataDirectory{load_u32(header, entry + data_directory::kRva),
                                                           load_u32(header, entry + data_directory::kDataSize)});
    }
}

void PeImage::read_section_table()
{
    const std::size_t table = section_table_offset();
    if (!fits(bytes_.size(), table, static_cast<std::uint64_t>(coff_.section_count) * section_header::kSize))
        throw PeError(fmt::format("the section table ({} sections at 0x{:X}) runs past the end of the file ({} bytes)",
                                  coff_.section_count, table, bytes_.size()));
    for (std::size_t i = 0; i < coff_.section_count; ++i) {
        const std::size_t at = table + i * section_header::kSize;
        Section section;
        for (std::size_t k = 0; k < section_header::kNameSize && bytes_[at + section_header::kName + k] != 0; ++k)
            section.name += static_cast<char>(bytes_[at + section_header::kName + k]);
        section.virtual_size = load_u32(bytes_, at + section_header::kVirtualSize);
        section.virtual_address = load_u32(bytes_, at + section_header::kVirtualAddress);
        section.raw_size = load_u32(bytes_, at + section_header::kRawSize);
        section.raw_offset = load_u32(bytes_, at + section_header::kRawOffset);
        section.characteristics = load_u32(bytes_, at + section_header::kCharacteristics);
        const std::string label = fmt::format("section {} ({})", i + 1, section.name);
        if (section.raw_size != 0 && !fits(bytes_.size(), section.raw_offset, section.raw_size))
            throw PeError(fmt::format("{}: its data at 0x{:X}, {} bytes, runs past the end of the file ({} bytes)",
                                      label, section.raw_offset, section.raw_size, bytes_.size()));
        const std::uint64_t extent = std::max(section.virtual_size, section.raw_size);
        if (section.virtual_address + extent > 0x100000000ull)
            throw PeError(fmt::format("{}: at RVA 0x{:X} with {} bytes it reaches past 4 GiB", label,
                                      section.virtual_address, extent));
        sections_.push_back(std::move(section));
    }
}

DataDirectory PeImage::directory(std::size_t index) const
{
    return index < optional_.data_directories.size() ? optional_.data_directories[index] : DataDirectory{};
}

FileRange PeImage::map_rva(std::uint32_t rva) const
{
    for (const Section& section : sections_) {
        // Some linkers leave the virtual size 0; the file data then sets it.
        const std::uint32_t extent = section.virtual_size ? section.virtual_size : section.raw_size;
        if (rva < section.virtual_address || rva - section.virtual_address >= extent)
            continue;
        const std::uint32_t delta = rva - section.virtual_address;
        const std::uint32_t in_file = std::min(section.raw_size, extent);
        if (delta >= in_file)
            return FileRange{0, 0};
        return FileRange{static_cast<std::size_t>(section.raw_offset) + delta, in_file - delta};
    }
    throw PeError(fmt::format("RVA 0x{:X} lies in no section of the image", rva));
}

std::span<const std::uint8_t> PeImage::data_at(std::uint32_t rva, std::uint32_t size, const std::string& what) const
{
    FileRange range;
    try {
        range = map_rva(rva);
    } catch (const PeError&) {
        throw PeError(fmt::format("{}: its data at RVA 0x{:X} lies in no section of the image", what, rva));
    }
    if (size > range.available)
        throw PeError(fmt::format("{}: its data at RVA 0x{:X}, {} bytes, runs past its section's data in the file",
                                  what, rva, size));
    return bytes_.subspan(range.offset, size);
}

std::string machine_name(std::uint16_t machine)
{
    switch (machine) {
    case kMachineI386:
        return "i386";
    case kMachineAmd64:
        return "x86-64";
    default:
        return fmt::format("0x{:04X}", machine);
    }
}

std::string subsystem_name(std::uint16_t subsystem)
{
    switch (subsystem) {
    case kSubsystemWindowsGui:
        return "Windows GUI";
    case kSubsystemWindowsConsole:
        return "Windows console";
    default:
        return std::to_string(subsystem);
    }
}

}  // namespace upkit::pe
