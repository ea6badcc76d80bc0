#include "resource_section_writer.h"

#include <algorithm>
#include <fmt/format.h>
#include <limits>
#include <map>
#include <string>

#include "little_endian.h"
#include "pe_image.h"
#include "text_codec.h"

namespace upkit::pe {

namespace {

const std::size_t kDataAlignment = 8;
const std::uint32_t kResourceCharacteristics = 0x40000040;  // initialised data, readable

std::uint64_t align_up(std::uint64_t value, std::uint32_t alignment)
{
    return (value + alignment - 1) / alignment * alignment;
}

// A resource name in UTF-16; names are plain ASCII in practice.
std::u16string name_units(const std::string& name)
{
    const std::optional<std::u16string> units = utf16_from_utf8(name);
    if (!units)
        throw ImageWriteError("a resource name is not UTF-8 text: " + name);
    if (units->size() > 0xFFFF)
        throw ImageWriteError("a resource name is too long");
    return *units;
}

using LanguageMap = std::map<std::uint16_t, const Resource*>;
using NameMap = std::map<ResourceKey, LanguageMap>;
using TypeMap = std::map<ResourceKey, NameMap>;

// Lays the section out in two passes over the same walk: the first only
// measures, the second writes.
class SectionLayout {
    static constexpr std::uint32_t kTargetIsDirectory = resource_directory_entry::kTargetIsDirectory;

public:
    SectionLayout(const TypeMap& tree, std::uint32_t rva) : tree_(tree), rva_(rva) { }

    std::vector<std::uint8_t> build()
    {
        measure();
        out_.assign(total_, 0);
        write();
        return std::move(out_);
    }

private:
    void measure()
    {
        // Directories, breadth first: the root, every name directory, every
        // language directory.
        std::size_t at = directory_size(tree_.size());
        for (const auto& [type, names] : tree_) {
            name_directories_.push_back(at);
            at += directory_size(names.size());
        }
        for (const auto& [type, names] : tree_)
            for (const auto& [name, languages] : names) {
                language_directories_.push_back(at);
                at += directory_size(languages.size());
            }
        for (const auto& [type, names] : tree_)
            for (const auto& [name, languages] : names)
                for (std::size_t i = 0; i < languages.size(); ++i) {
                    data_entries_.push_back(at);
                    at += resource_data_entry::kSize;
                }
        const auto place_name = [&](const ResourceKey& key) {
            if (key.is_id() || name_offsets_.count(key.name))
                return;
            at = align_up(at, 2);
            name_offsets_[key.name] = at;
            at += resource_name::kUnits + 2 * name_units(key.name).size();
        };
        for (const auto& [type, names] : tree_) {
            place_name(type);
            for (const auto& [name, languages] : names)
                place_name(name);
        }
        for (const auto& [type, names] : tree_)
            for (const auto& [name, languages] : names)
                for (const auto& [language, resource] : languages) {
                    at = align_up(at, kDataAlignment);
                    data_.push_back(at);
                    at += resource->data.size();
                }
        total_ = align_up(at, kDataAlignment);
        // Empty data at the very end would point just past the section.
        if (!data_.empty() && data_.back() >= total_)
            total_ += kDataAlignment;
        if (static_cast<std::uint64_t>(total_) + rva_ > 0xFFFFFFFFull)
            throw ImageWriteError("the resources do not fit in an image");
    }

    void write()
    {
        std::size_t name_dir = 0, language_dir = 0, data_entry = 0, data = 0;
        write_directory_header(0, tree_);
        std::size_t type_slot = 0;
        for (const auto& [type, names] : tree_) {
            write_entry(0, type_slot++, type, name_directories_[name_dir] | kTargetIsDirectory);
            const std::size_t names_at = name_directories_[name_dir++];
            write_directory_header(names_at, names);
            std::size_t name_slot = 0;
            for (const auto& [name, languages] : names) {
                const std::size_t languages_at = language_directories_[language_dir++];
                write_entry(names_at, name_slot++, name, languages_at | kTargetIsDirectory);
                write_directory_header(languages_at, languages);
                std::size_t language_slot = 0;
                for (const auto& [language, resource] : languages) {
                    const std::size_t entry_at = data_entries_[data_entry++];
                    write_entry(languages_at, language_slot++, ResourceKey::of(language), entry_at);
                    const std::size_t data_at = data_[data++];
                    store_u32(out_, entry_at + resource_data_entry::kRva, static_cast<std::uint32_t>(rva_ + data_at));
                    store_u32(out_, entry_at + resource_data_entry::kDataSize,
                              static_cast<std::uint32_t>(resource->data.size()));
                    store_u32(out_, entry_at + resource_data_entry::kCodePage, resource->code_page);
                    std::copy(resource->data.begin(), resource->data.end(), out_.begin() + data_at);
                }
            }
        }
        for (const auto& [name, at] : name_offsets_) {
            const std::u16string units = name_units(name);
            store_u16(out_, at + resource_name::kLength, static_cast<std::uint16_t>(units.size()));
            for (std::size_t i = 0; i < units.size(); ++i)
                store_u16(out_, at + resource_name::kUnits + 2 * i, units[i]);
        }
    }

    static std::size_t directory_size(std::size_t entries)
    {
        return resource_directory::kSize + entries * resource_directory_entry::kSize;
    }

    template <typename Map> void write_directory_header(std::size_t at, const Map& entries)
    {
        std::uint16_t named = 0, ids = 0;
        for (const auto& entry : entries) {
            if constexpr (std::is_same_v<typename Map::key_type, ResourceKey>)
                (entry.first.is_id() ? ids : named)++;
            else
                ids++;
        }
        store_u16(out_, at + resource_directory::kNamedEntryCount, named);
        store_u16(out_, at + resource_directory::kIdEntryCount, ids);
    }

    void write_entry(std::size_t directory, std::size_t slot, const ResourceKey& key, std::size_t target)
    {
        const std::size_t at = directory + resource_directory::kSize + slot * resource_directory_entry::kSize;
        const std::uint32_t name = key.is_id() ? *key.id
                                               : static_cast<std::uint32_t>(name_offsets_.at(key.name)) |
                                                     resource_directory_entry::kNameIsString;
        store_u32(out_, at + resource_directory_entry::kName, name);
        store_u32(out_, at + resource_directory_entry::kTarget, static_cast<std::uint32_t>(target));
    }

    const TypeMap& tree_;
    std::uint32_t rva_;
    std::vector<std::size_t> name_directories_, language_directories_, data_entries_, data_;
    std::map<std::string, std::size_t> name_offsets_;
    std::size_t total_ = 0;
    std::vector<std::uint8_t> out_;
};

// The image's headers as the reader checked them: what it refuses, the
// writer cannot work on either.
PeImage parse_image(std::span<const std::uint8_t> image)
{
    try {
        return PeImage(image);
    } catch (const PeError& e) {
        throw ImageWriteError(e.what());
    }
}

}  // namespace

std::vector<std::uint8_t> encode_resource_section(const std::vector<Resource>& resources, std::uint32_t section_rva)
{
    TypeMap tree;
    for (const Resource& resource : resources) {
        const Resource*& slot = tree[resource.type][resource.name][resource.language];
        if (slot)
            throw ImageWriteError("two resources of type " + resource.type.describe() + " named " +
                                  resource.name.describe() + " in language " + std::to_string(resource.language));
        slot = &resource;
    }
    return SectionLayout(tree, section_rva).build();
}

std::uint32_t pe_checksum(std::span<const std::uint8_t> image, std::size_t checksum_offset)
{
    std::uint64_t sum = 0;
    for (std::size_t i = 0; i < image.size(); i += 2) {
        if (i == checksum_offset || i == checksum_offset + 2)
            continue;
        const std::uint16_t word = i + 1 < image.size() ? load_u16(image, i) : image[i];
        sum += word;
        sum = (sum & 0xFFFF) + (sum >> 16);
    }
    sum = (sum & 0xFFFF) + (sum >> 16);
    return static_cast<std::uint32_t>(sum + image.size());
}

std::vector<std::uint8_t> attach_resource_section(std::span<const std::uint8_t> image,
                                                  const std::vector<Resource>& resources, const AttachOptions& options)
{
    const PeImage input = parse_image(image);
    const OptionalHeader& optional = input.optional();
    if (optional.data_directories.size() <= kResourceDirectory)
        throw ImageWriteError("the optional header has no resource directory entry");
    if (optional.section_alignment == 0 || optional.file_alignment == 0)
        throw ImageWriteError("the image gives no section or file alignment");
    const std::size_t coff = input.coff_header_offset();
    const std::size_t optional_at = input.optional_header_offset();
    const std::size_t resource_entry = input.data_directory_offset(kResourceDirectory);
    const std::size_t section_table = input.section_table_offset();
    const std::vector<Section>& sections = input.sections();
    const std::uint32_t headers_size = optional.size_of_headers;
    const std::uint32_t old_resource_rva = input.directory(kResourceDirectory).rva;

    const std::uint64_t table_end = section_table + std::uint64_t(sections.size()) * section_header::kSize;

    std::vector<std::uint8_t> out(image.begin(), image.end());
    std::size_t count = sections.size();
    if (count == 0)
        throw ImageWriteError("the image has no sections");

    // A resource section at the end is dropped and rebuilt.
    std::uint32_t initialised = optional.size_of_initialized_data;
    if (old_resource_rva != 0) {
        const Section& last = sections.back();
        if (last.virtual_address != old_resource_rva)
            throw ImageWriteError("the image's resources are not in its last section");
        initialised = initialised >= last.raw_size ? initialised - last.raw_size : 0;
        if (last.raw_size != 0 && last.raw_offset + static_cast<std::uint64_t>(last.raw_size) == out.size()) {
            // Cutting its data off must leave the headers whole, the ones
            // patched here included.
            if (last.raw_offset < std::max<std::uint64_t>(headers_size, table_end))
                throw ImageWriteError("the image's resource section begins inside its headers");
            out.resize(last.raw_offset);
        }
        const std::size_t last_header = section_table + (count - 1) * section_header::kSize;
        std::fill(out.begin() + last_header, out.begin() + last_header + section_header::kSize, 0);
        --count;
        store_u32(out, resource_entry + data_directory::kRva, 0);
        store_u32(out, resource_entry + data_directory::kDataSize, 0);
    }
    if (count == 0)
        throw ImageWriteError("the image has no sections besides its resources");

    // The file must end with its last section: anything after it (a
    // signature, a symbol table) would no longer be where it claims to be.
    std::uint64_t raw_end = headers_size;
    std::uint64_t virtual_end = 0;
    std::uint64_t first_raw = out.size();
    for (std::size_t i = 0; i < count; ++i) {
        const Section& section = sections[i];
        if (section.raw_size != 0) {
            raw_end = std::max<std::uint64_t>(raw_end, std::uint64_t(section.raw_offset) + section.raw_size);
            first_raw = std::min<std::uint64_t>(first_raw, section.raw_offset);
        }
        const std::uint32_t virtual_size = std::max(section.virtual_size, section.raw_size);
        virtual_end = std::max<std::uint64_t>(virtual_end, std::uint64_t(section.virtual_address) + virtual_size);
    }
    if (raw_end > out.size())
        throw ImageWriteError("a section runs past the end of the file");
    if (raw_end < out.size())
        throw ImageWriteError("the image carries data after its last section (a signature or symbols)");
    // The headers end where the first section's data begins, if not before.
    const std::uint64_t headers_end = std::min<std::uint64_t>(headers_size, first_raw);
    if (table_end > headers_end)
        throw ImageWriteError(fmt::format("the section table (0x{:X} to 0x{:X}) runs past the end of the headers "
                                          "(0x{:X})",
                                          section_table, table_end, headers_end));
    // The section count is 16 bits wide: one more would wrap it to 0.
    if (count >= std::numeric_limits<std::uint16_t>::max())
        throw ImageWriteError(fmt::format("the section table is full ({} sections)", count));
    const std::size_t new_header = section_table + count * section_header::kSize;
    if (new_header + section_header::kSize > headers_end)
        throw ImageWriteError("no room for another section header");
    if (input.coff().symbol_table != 0 || input.coff().symbol_count != 0)
        throw ImageWriteError("the image carries a symbol table");

    const std::uint64_t rva = align_up(virtual_end, optional.section_alignment);
    const std::uint64_t raw_at = align_up(out.size(), optional.file_alignment);
    if (rva > 0xFFFFFFFFull || raw_at > 0xFFFFFFFFull)
        throw ImageWriteError("the image is too large");
    const std::vector<std::uint8_t> section = encode_resource_section(resources, static_cast<std::uint32_t>(rva));
    const std::uint64_t raw_size = align_up(section.size(), optional.file_alignment);
    const std::uint64_t image_size = align_up(rva + section.size(), optional.section_alignment);
    if (image_size > 0xFFFFFFFFull || raw_at + raw_size > 0xFFFFFFFFull)
        throw ImageWriteError("the resources make the image too large");

    static const char kName[section_header::kNameSize] = {'.', 'r', 's', 'r', 'c', 0, 0, 0};
    std::copy(kName, kName + section_header::kNameSize, out.begin() + new_header + section_header::kName);
    store_u32(out, new_header + section_header::kVirtualSize, static_cast<std::uint32_t>(section.size()));
    store_u32(out, new_header + section_header::kVirtualAddress, static_cast<std::uint32_t>(rva));
    store_u32(out, new_header + section_header::kRawSize, static_cast<std::uint32_t>(raw_size));
    store_u32(out, new_header + section_header::kRawOffset, static_cast<std::uint32_t>(raw_at));
    store_u32(out, new_header + section_header::kCharacteristics, kResourceCharacteristics);

    out.resize(raw_at, 0);
    out.insert(out.end(), section.begin(), section.end());
    out.resize(raw_at + raw_size, 0);

    store_u16(out, coff + coff_header::kSectionCount, static_cast<std::uint16_t>(count + 1));
    store_u32(out, coff + coff_header::kTimeStamp, options.time_stamp);
    store_u32(out, optional_at + optional_header::kSizeOfInitializedData,
              initialised + static_cast<std::uint32_t>(raw_size));
    store_u32(out, optional_at + optional_header::kSizeOfImage, static_cast<std::uint32_t>(image_size));
    store_u32(out, resource_entry + data_directory::kRva, static_cast<std::uint32_t>(rva));
    store_u32(out, resource_entry + data_directory::kDataSize, static_cast<std::uint32_t>(section.size()));
    const std::size_t checksum_at = optional_at + optional_header::kChecksum;
    store_u32(out, checksum_at, pe_checksum(out, checksum_at));
    return out;
}

}  // namespace upkit::pe
