#include "test_images.h"

#include <algorithm>
#include <map>
#include <stdexcept>

namespace upkit::test {

namespace {

const std::uint32_t kPeHeaderOffset = 0x80;
const std::uint16_t kOptionalHeaderSize = 224;  // PE32 with 16 data directories

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
    put16(bytes, at + 12, static_cast<std::uint16_t>(named));
    put16(bytes, at + 14, static_cast<std::uint16_t>(ids));
}

template <typename Map>
std::size_t named_count(const Map& entries)
{
    return static_cast<std::size_t>(
        std::count_if(entries.begin(), entries.end(), [](const auto& entry) { return !entry.first.is_id(); }));
}

}  // namespace

void put16(Bytes& bytes, std::size_t at, std::uint16_t value)
{
    bytes.at(at) = static_cast<std::uint8_t>(value);
    bytes.at(at + 1) = static_cast<std::uint8_t>(value >> 8);
}

void put32(Bytes& bytes, std::size_t at, std::uint32_t value)
{
    put16(bytes, at, static_cast<std::uint16_t>(value));
    put16(bytes, at + 2, static_cast<std::uint16_t>(value >> 16));
}

std::uint16_t get16(std::span<const std::uint8_t> bytes, std::size_t at)
{
    return static_cast<std::uint16_t>(bytes[at] | (bytes[at + 1] << 8));
}

std::uint32_t get32(std::span<const std::uint8_t> bytes, std::size_t at)
{
    return get16(bytes, at) | (static_cast<std::uint32_t>(get16(bytes, at + 2)) << 16);
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
    const std::size_t raw_size = align(section.size(), 0x200);
    Bytes image(kTestSectionFileOffset + raw_size, 0);
    image[0] = 'M';
    image[1] = 'Z';
    put32(image, 0x3C, kPeHeaderOffset);
    image[kPeHeaderOffset] = 'P';
    image[kPeHeaderOffset + 1] = 'E';

    const std::size_t coff = kPeHeaderOffset + 4;
    put16(image, coff, 0x014C);    // i386
    put16(image, coff + 2, 1);     // one section
    put16(image, coff + 16, kOptionalHeaderSize);
    put16(image, coff + 18, 0x0102);  // executable, 32-bit

    const std::size_t optional = coff + 20;
    put16(image, optional, 0x010B);
    put32(image, optional + 28, 0x400000);  // image base
    put32(image, optional + 32, 0x1000);    // section alignment
    put32(image, optional + 36, 0x200);     // file alignment
    put16(image, optional + 48, 4);         // subsystem version 4.0
    put32(image, optional + 56, static_cast<std::uint32_t>(kTestSectionRva + align(section.size(), 0x1000)));
    put32(image, optional + 60, kTestSectionFileOffset);
    put16(image, optional + 68, 2);  // Windows GUI
    put32(image, optional + 92, 16);
    put32(image, optional + 96 + 2 * 8, kTestSectionRva);
    put32(image, optional + 96 + 2 * 8 + 4, static_cast<std::uint32_t>(section.size()));

    const std::size_t header = optional + kOptionalHeaderSize;
    const char name[] = ".rsrc";
    std::copy(name, name + 5, image.begin() + static_cast<std::ptrdiff_t>(header));
    put32(image, header + 8, static_cast<std::uint32_t>(section.size()));
    put32(image, header + 12, kTestSectionRva);
    put32(image, header + 16, static_cast<std::uint32_t>(raw_size));
    put32(image, header + 20, kTestSectionFileOffset);
    put32(image, header + 36, 0x40000040);  // initialised data, readable

    std::copy(section.begin(), section.end(), image.begin() + kTestSectionFileOffset);
    return image;
}

Bytes resource_section(const std::vector<pe::Resource>& resources, std::uint32_t section_rva)
{
    Types types;
    for (const pe::Resource& resource : resources)
        if (!types[resource.type][resource.name].emplace(resource.language, &resource).second)
            throw std::invalid_argument("two resources with the same type, name and language");

    // Sizes first: directories, then names, then data entries, then data.
    std::size_t directories = 16 + 8 * types.size();
    std::size_t name_bytes = 0;
    std::size_t data_entries = 0;
    const auto add_name = [&](const pe::ResourceKey& key) {
        if (!key.is_id())
            name_bytes += 2 + 2 * key.name.size();
    };
    for (const auto& [type, names] : types) {
        add_name(type);
        directories += 16 + 8 * names.size();
        for (const auto& [name, languages] : names) {
            add_name(name);
            directories += 16 + 8 * languages.size();
            data_entries += languages.size();
        }
    }
    const std::size_t names_at = directories;
    const std::size_t entries_at = align(names_at + name_bytes, 4);
    std::size_t data_at = align(entries_at + 16 * data_entries, 8);
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
        put16(section, at, static_cast<std::uint16_t>(key.name.size()));
        for (std::size_t i = 0; i < key.name.size(); ++i)
            put16(section, at + 2 + 2 * i, static_cast<unsigned char>(key.name[i]));
        next_name += 2 + 2 * key.name.size();
        return 0x80000000u | static_cast<std::uint32_t>(at);
    };

    const std::size_t root = next_directory;
    put_directory(section, root, named_count(types), types.size() - named_count(types));
    next_directory += 16 + 8 * types.size();
    std::size_t type_slot = root + 16;
    for (const auto& [type, names] : types) {
        const std::size_t type_directory = next_directory;
        put32(section, type_slot, key_field(type));
        put32(section, type_slot + 4, 0x80000000u | static_cast<std::uint32_t>(type_directory));
        type_slot += 8;
        put_directory(section, type_directory, named_count(names), names.size() - named_count(names));
        next_directory += 16 + 8 * names.size();
        std::size_t name_slot = type_directory + 16;
        for (const auto& [name, languages] : names) {
            const std::size_t language_directory = next_directory;
            put32(section, name_slot, key_field(name));
            put32(section, name_slot + 4, 0x80000000u | static_cast<std::uint32_t>(language_directory));
            name_slot += 8;
            put_directory(section, language_directory, 0, languages.size());
            next_directory += 16 + 8 * languages.size();
            std::size_t language_slot = language_directory + 16;
            for (const auto& [language, resource] : languages) {
                put32(section, language_slot, language);
                put32(section, language_slot + 4, static_cast<std::uint32_t>(next_entry));
                language_slot += 8;
                data_at = align(data_at, 8);
                put32(section, next_entry, static_cast<std::uint32_t>(section_rva + data_at));
                put32(section, next_entry + 4, static_cast<std::uint32_t>(resource->data.size()));
                put32(section, next_entry + 8, resource->code_page);
                next_entry += 16;
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
