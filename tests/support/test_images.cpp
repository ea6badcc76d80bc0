#include "test_images.h"

#include <algorithm>
#include <map>
#include <stdexcept>

#include "little_endian.h"
#include "pe_image.h"

namespace upkit::test {

namespace {

const std::uint32_t kPeHeaderOffset = 0x80;
// PE32 with all 16 data directories.
const std::uint16_t kOptionalHeaderSize =
    pe::optional_header::kDirectoriesPe32 + pe::kMaxDataDirectories * pe::data_directory::kSize;

std::size_t align(std::size_t value, std::size_t to)
{
    return (value + to - 1) / to * to;
}

// The resources grouped as the directory holds them: type, name, language.
using Languages = std::map<std::uint16_t, const pe::Resource*>;
using Names = std::map<pe::ResourceKey, Languages>;
using Types = std::map<pe::ResourceKey, Names>;

void put_directory(Bytes& bytes, std::size_t at, std::size_t named, std::size_t ids)
{
    store_u16(bytes, at + pe::resource_directory::kNamedEntryCount, static_cast<std::uint16_t>(named));
    store_u16(bytes, at + pe::resource_directory::kIdEntryCount, static_cast<std::uint16_t>(ids));
}

std::size_t directory_size(std::size_t entries)
{
    return pe::resource_directory::kSize + entries * pe::resource_directory_entry::kSize;
}

// Where a directory entry's two fields go.
void put_entry(Bytes& bytes, std::size_t at, std::uint32_t name, std::uint32_t target)
{
    store_u32(bytes, at + pe::resource_directory_entry::kName, name);
    store_u32(bytes, at + pe::resource_directory_entry::kTarget, target);
}

template <typename Map> std::size_t named_count(const Map& entries)
{
    return static_cast<std::size_t>(
        std::count_if(entries.begin(), entries.end(), [](const auto& entry) { return !entry.first.is_id(); }));
}

}  // namespace

namespace {

void check_within(std::size_t size, std::size_t at, std::size_t count)
{
    if (!fits(size, at, count))
        throw std::out_of_range("a test writes or reads past the end of its bytes");
}

}  // namespace

void put16(Bytes& bytes, std::size_t at, std::uint16_t value)
{
    check_within(bytes.size(), at, 2);
    store_u16(bytes, at, value);
}

void put32(Bytes& bytes, std::size_t at, std::uint32_t value)
{
    check_within(bytes.size(), at, 4);
    store_u32(bytes, at, value);
}

std::uint16_t get16(std::span<const std::uint8_t> bytes, std::size_t at)
{
    check_within(bytes.size(), at, 2);
    return load_u16(bytes, at);
}

std::uint32_t get32(std::span<const std::uint8_t> bytes, std::size_t at)
{
    check_within(bytes.size(), at, 4);
    return load_u32(bytes, at);
}

Bytes utf16(const std::string& ascii, bool with_nul)
{
    Bytes out;
    for (const char c : ascii) {
        out.push_back(static_cast<std::uint8_t>(c));
        out.push_back(0);
    }
    if (with_nul)
        out.insert(out.end(), {0, 0});
    return out;
}

Bytes image_with_resource_section(std::span<const std::uint8_t> section)
{
    namespace coff_header = pe::coff_header;
    namespace optional_header = pe::optional_header;
    namespace section_header = pe::section_header;
    const std::size_t raw_size = align(section.size(), 0x200);
    Bytes image(kTestSectionFileOffset + raw_size, 0);
    image[0] = 'M';
    image[1] = 'Z';
    store_u32(image, pe::dos_header::kPeHeaderPointer, kPeHeaderOffset);
    image[kPeHeaderOffset] = 'P';
    image[kPeHeaderOffset + 1] = 'E';

    const std::size_t coff = kPeHeaderOffset + pe::pe_signature::kSize;
    store_u16(image, coff + coff_header::kMachine, pe::kMachineI386);
    store_u16(image, coff + coff_header::kSectionCount, 1);
    store_u16(image, coff + coff_header::kOptionalHeaderSize, kOptionalHeaderSize);
    store_u16(image, coff + coff_header::kCharacteristics, 0x0102);  // executable, 32-bit

    const std::size_t optional = coff + coff_header::kSize;
    store_u16(image, optional + optional_header::kMagic, pe::kMagicPe32);
    store_u32(image, optional + optional_header::kImageBasePe32, 0x400000);
    store_u32(image, optional + optional_header::kSectionAlignment, 0x1000);
    store_u32(image, optional + optional_header::kFileAlignment, 0x200);
    store_u16(image, optional + optional_header::kSubsystemVersionMajor, 4);
    store_u32(image, optional + optional_header::kSizeOfImage,
              static_cast<std::uint32_t>(kTestSectionRva + align(section.size(), 0x1000)));
    store_u32(image, optional + optional_header::kSizeOfHeaders, kTestSectionFileOffset);
    store_u16(image, optional + optional_header::kSubsystem, pe::kSubsystemWindowsGui);
    store_u32(image, optional + optional_header::kDirectoryCountPe32, pe::kMaxDataDirectories);
    const std::size_t resources =
        optional + optional_header::kDirectoriesPe32 + pe::kResourceDirectory * pe::data_directory::kSize;
    store_u32(image, resources + pe::data_directory::kRva, kTestSectionRva);
    store_u32(image, resources + pe::data_directory::kDataSize, static_cast<std::uint32_t>(section.size()));

    const std::size_t header = optional + kOptionalHeaderSize;
    const char name[] = ".rsrc";
    std::copy(name, name + 5, image.begin() + static_cast<std::ptrdiff_t>(header + section_header::kName));
    store_u32(image, header + section_header::kVirtualSize, static_cast<std::uint32_t>(section.size()));
    store_u32(image, header + section_header::kVirtualAddress, kTestSectionRva);
    store_u32(image, header + section_header::kRawSize, static_cast<std::uint32_t>(raw_size));
    store_u32(image, header + section_header::kRawOffset, kTestSectionFileOffset);
    store_u32(image, header + section_header::kCharacteristics, 0x40000040);  // initialised data, readable

    std::copy(section.begin(), section.end(), image.begin() + kTestSectionFileOffset);
    return image;
}

Bytes resource_section(const std::vector<pe::Resource>& resources, std::uint32_t section_rva)
{
    namespace data_entry = pe::resource_data_entry;
    namespace name_field = pe::resource_name;
    const std::uint32_t kDirectory = pe::resource_directory_entry::kTargetIsDirectory;
    Types types;
    for (const pe::Resource& resource : resources)
        if (!types[resource.type][resource.name].emplace(resource.language, &resource).second)
            throw std::invalid_argument("two resources with the same type, name and language");

    // Sizes first: directories, then names, then data entries, then data.
    std::size_t directories = directory_size(types.size());
    std::size_t name_bytes = 0;
    std::size_t data_entries = 0;
    const auto add_name = [&](const pe::ResourceKey& key) {
        if (!key.is_id())
            name_bytes += name_field::kUnits + 2 * key.name.size();
    };
    for (const auto& [type, names] : types) {
        add_name(type);
        directories += directory_size(names.size());
        for (const auto& [name, languages] : names) {
            add_name(name);
            directories += directory_size(languages.size());
            data_entries += languages.size();
        }
    }
    const std::size_t names_at = directories;
    const std::size_t entries_at = align(names_at + name_bytes, 4);
    std::size_t data_at = align(entries_at + data_entry::kSize * data_entries, 8);
    std::size_t end = data_at;
    for (const pe::Resource& resource : resources)
        end += align(resource.data.size(), 8);
    Bytes section(end, 0);

    std::size_t next_directory = 0;
    std::size_t next_name = names_at;
    std::size_t next_entry = entries_at;
    const auto key_field = [&](const pe::ResourceKey& key) -> std::uint32_t {
        if (key.is_id())
            return *key.id;
        const std::size_t at = next_name;
        store_u16(section, at + name_field::kLength, static_cast<std::uint16_t>(key.name.size()));
        for (std::size_t i = 0; i < key.name.size(); ++i)
            store_u16(section, at + name_field::kUnits + 2 * i, static_cast<unsigned char>(key.name[i]));
        next_name += name_field::kUnits + 2 * key.name.size();
        return pe::resource_directory_entry::kNameIsString | static_cast<std::uint32_t>(at);
    };

    const std::size_t root = next_directory;
    put_directory(section, root, named_count(types), types.size() - named_count(types));
    next_directory += directory_size(types.size());
    std::size_t type_slot = root + pe::resource_directory::kSize;
    for (const auto& [type, names] : types) {
        const std::size_t type_directory = next_directory;
        put_entry(section, type_slot, key_field(type), kDirectory | static_cast<std::uint32_t>(type_directory));
        type_slot += pe::resource_directory_entry::kSize;
        put_directory(section, type_directory, named_count(names), names.size() - named_count(names));
        next_directory += directory_size(names.size());
        std::size_t name_slot = type_directory + pe::resource_directory::kSize;
        for (const auto& [name, languages] : names) {
            const std::size_t language_directory = next_directory;
            put_entry(section, name_slot, key_field(name), kDirectory | static_cast<std::uint32_t>(language_directory));
            name_slot += pe::resource_directory_entry::kSize;
            put_directory(section, language_directory, 0, languages.size());
            next_directory += directory_size(languages.size());
            std::size_t language_slot = language_directory + pe::resource_directory::kSize;
            for (const auto& [language, resource] : languages) {
                put_entry(section, language_slot, language, static_cast<std::uint32_t>(next_entry));
                language_slot += pe::resource_directory_entry::kSize;
                data_at = align(data_at, 8);
                store_u32(section, next_entry + data_entry::kRva, static_cast<std::uint32_t>(section_rva + data_at));
                store_u32(section, next_entry + data_entry::kDataSize,
                          static_cast<std::uint32_t>(resource->data.size()));
                store_u32(section, next_entry + data_entry::kCodePage, resource->code_page);
                next_entry += data_entry::kSize;
                std::copy(resource->data.begin(), resource->data.end(),
                          section.begin() + static_cast<std::ptrdiff_t>(data_at));
                data_at += resource->data.size();
            }
        }
    }
    return section;
}

Bytes image_with_resources(const std::vector<pe::Resource>& resources)
{
    return image_with_resource_section(resource_section(resources));
}

}  // namespace upkit::test
