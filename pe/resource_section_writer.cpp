#include "resource_section_writer.h"

#include <algorithm>
#include <map>
#include <string>

#include "little_endian.h"
#include "text_codec.h"

namespace upkit::pe {

namespace {

const std::size_t kDirectoryHeader = 16;
const std::size_t kDirectoryEntry = 8;
const std::size_t kDataEntry = 16;
const std::size_t kDataAlignment = 8;
const std::uint32_t kSubdirectoryFlag = 0x80000000;
const std::uint32_t kNameFlag = 0x80000000;

const std::size_t kSectionHeader = 40;
const std::uint16_t kMagicPe32 = 0x10B;
const std::uint16_t kMagicPe32Plus = 0x20B;
const std::uint32_t kResourceDirectoryIndex = 2;
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
public:
    SectionLayout(const TypeMap& tree, std::uint32_t rva) : tree_(tree), rva_(rva) {}

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
                    at += kDataEntry;
                }
        const auto place_name = [&](const ResourceKey& key) {
            if (key.is_id() || name_offsets_.count(key.name))
                return;
            at = align_up(at, 2);
            name_offsets_[key.name] = at;
            at += 2 + 2 * name_units(key.name).size();
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
            write_entry(0, type_slot++, type, name_directories_[name_dir] | kSubdirectoryFlag);
            const std::size_t names_at = name_directories_[name_dir++];
            write_directory_header(names_at, names);
            std::size_t name_slot = 0;
            for (const auto& [name, languages] : names) {
                const std::size_t languages_at = language_directories_[language_dir++];
                write_entry(names_at, name_slot++, name, languages_at | kSubdirectoryFlag);
                write_directory_header(languages_at, languages);
                std::size_t language_slot = 0;
                for (const auto& [language, resource] : languages) {
                    const std::size_t entry_at = data_entries_[data_entry++];
                    write_entry(languages_at, language_slot++, ResourceKey::of(language), entry_at);
                    const std::size_t data_at = data_[data++];
                    store_u32(out_, entry_at, static_cast<std::uint32_t>(rva_ + data_at));
                    store_u32(out_, entry_at + 4, static_cast<std::uint32_t>(resource->data.size()));
                    store_u32(out_, entry_at + 8, resource->code_page);
                    std::copy(resource->data.begin(), resource->data.end(), out_.begin() + data_at);
                }
            }
        }
        for (const auto& [name, at] : name_offsets_) {
            const std::u16string units = name_units(name);
            store_u16(out_, at, static_cast<std::uint16_t>(units.size()));
            for (std::size_t i = 0; i < units.size(); ++i)
                store_u16(out_, at + 2 + 2 * i, units[i]);
        }
    }

    static std::size_t directory_size(std::size_t entries) { return kDirectoryHeader + entries * kDirectoryEntry; }

    template <typename Map>
    void write_directory_header(std::size_t at, const Map& entries)
    {
        std::uint16_t named = 0, ids = 0;
        for (const auto& entry : entries) {
            if constexpr (std::is_same_v<typename Map::key_type, ResourceKey>)
                (entry.first.is_id() ? ids : named)++;
            else
                ids++;
        }
        store_u16(out_, at + 12, named);
        store_u16(out_, at + 14, ids);
    }

    void write_entry(std::size_t directory, std::size_t slot, const ResourceKey& key, std::size_t target)
    {
        const std::size_t at = directory + kDirectoryHeader + slot * kDirectoryEntry;
        store_u32(out_, at, key.is_id() ? *key.id : static_cast<std::uint32_t>(name_offsets_.at(key.name)) | kNameFlag);
        store_u32(out_, at + 4, static_cast<std::uint32_t>(target));
    }

    const TypeMap& tree_;
    std::uint32_t rva_;
    std::vector<std::size_t> name_directories_, language_directories_, data_entries_, data_;
    std::map<std::string, std::size_t> name_offsets_;
    std::size_t total_ = 0;
    std::vector<std::uint8_t> out_;
};

// Where the headers an attach changes are.
struct HeaderOffsets {
    std::size_t coff = 0;
    std::size_t optional = 0;
    std::size_t sections = 0;
    std::uint16_t section_count = 0;
    std::size_t data_directories = 0;
    std::uint32_t directory_count = 0;
};

HeaderOffsets locate_headers(std::span<const std::uint8_t> image)
{
    HeaderOffsets at;
    if (image.size() < 0x40 || image[0] != 'M' || image[1] != 'Z')
        throw ImageWriteError("not a Windows program (no MZ header)");
    const std::uint32_t pe = load_u32(image, 0x3C);
    if (pe > image.size() || image.size() - pe < 24 || load_u32(image, pe) != 0x00004550)
        throw ImageWriteError("not a PE image (no PE signature)");
    at.coff = pe + 4;
    at.section_count = load_u16(image, at.coff + 2);
    const std::uint16_t optional_size = load_u16(image, at.coff + 16);
    at.optional = at.coff + 20;
    at.sections = at.optional + optional_size;
    if (at.sections > image.size() || (image.size() - at.sections) / kSectionHeader < at.section_count)
        throw ImageWriteError("the section table runs past the end of the file");
    if (optional_size < 2)
        throw ImageWriteError("no optional header");
    const std::uint16_t magic = load_u16(image, at.optional);
    std::size_t count_at = 0;
    if (magic == kMagicPe32)
        count_at = 92;
    else if (magic == kMagicPe32Plus)
        count_at = 108;
    else
        throw ImageWriteError("unknown optional header magic");
    if (optional_size < count_at + 4)
        throw ImageWriteError("the optional header is cut short");
    at.directory_count = load_u32(image, at.optional + count_at);
    at.data_directories = at.optional + count_at + 4;
    if (at.directory_count <= kResourceDirectoryIndex ||
        optional_size < count_at + 4 + 8 * static_cast<std::uint64_t>(at.directory_count))
        throw ImageWriteError("the optional header has no resource directory entry");
    return at;
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
                                                  const std::vector<Resource>& resources,
                                                  const AttachOptions& options)
{
    const HeaderOffsets at = locate_headers(image);
    const std::uint32_t section_alignment = load_u32(image, at.optional + 32);
    const std::uint32_t file_alignment = load_u32(image, at.optional + 36);
    const std::uint32_t headers_size = load_u32(image, at.optional + 60);
    if (section_alignment == 0 || file_alignment == 0)
        throw ImageWriteError("the image gives no section or file alignment");
    const std::size_t resource_entry = at.data_directories + 8 * kResourceDirectoryIndex;
    const std::uint32_t old_resource_rva = load_u32(image, resource_entry);

    std::vector<std::uint8_t> out(image.begin(), image.end());
    std::uint16_t count = at.section_count;
    if (count == 0)
        throw ImageWriteError("the image has no sections");

    // A resource section at the end is dropped and rebuilt.
    const std::size_t last = at.sections + (count - 1) * kSectionHeader;
    if (old_resource_rva != 0) {
        if (load_u32(out, last + 12) != old_resource_rva)
            throw ImageWriteError("the image's resources are not in its last section");
        const std::uint32_t raw_size = load_u32(out, last + 16);
        const std::uint32_t initialised = load_u32(out, at.optional + 8);
        store_u32(out, at.optional + 8, initialised >= raw_size ? initialised - raw_size : 0);
        const std::uint32_t raw_at = load_u32(out, last + 20);
        if (raw_at + static_cast<std::uint64_t>(raw_size) == out.size() && raw_at <= out.size())
            out.resize(raw_at);
        std::fill(out.begin() + last, out.begin() + last + kSectionHeader, 0);
        --count;
        store_u32(out, resource_entry, 0);
        store_u32(out, resource_entry + 4, 0);
    }
    if (count == 0)
        throw ImageWriteError("the image has no sections besides its resources");

    // The file must end with its last section: anything after it (a
    // signature, a symbol table) would no longer be where it claims to be.
    std::uint64_t raw_end = headers_size;
    std::uint64_t virtual_end = 0;
    std::uint64_t first_raw = out.size();
    for (std::uint16_t i = 0; i < count; ++i) {
        const std::size_t header = at.sections + i * kSectionHeader;
        const std::uint32_t raw_size = load_u32(out, header + 16);
        const std::uint32_t raw_at = load_u32(out, header + 20);
        if (raw_size != 0) {
            raw_end = std::max<std::uint64_t>(raw_end, std::uint64_t(raw_at) + raw_size);
            first_raw = std::min<std::uint64_t>(first_raw, raw_at);
        }
        const std::uint32_t virtual_size = std::max(load_u32(out, header + 8), raw_size);
        virtual_end = std::max<std::uint64_t>(virtual_end, std::uint64_t(load_u32(out, header + 12)) + virtual_size);
    }
    if (raw_end > out.size())
        throw ImageWriteError("a section runs past the end of the file");
    if (raw_end < out.size())
        throw ImageWriteError("the image carries data after its last section (a signature or symbols)");
    const std::size_t new_header = at.sections + count * kSectionHeader;
    if (new_header + kSectionHeader > std::min<std::uint64_t>(headers_size, first_raw))
        throw ImageWriteError("no room for another section header");
    if (load_u32(out, at.coff + 8) != 0 || load_u32(out, at.coff + 12) != 0)
        throw ImageWriteError("the image carries a symbol table");

    const std::uint64_t rva = align_up(virtual_end, section_alignment);
    const std::uint64_t raw_at = align_up(out.size(), file_alignment);
    if (rva > 0xFFFFFFFFull || raw_at > 0xFFFFFFFFull)
        throw ImageWriteError("the image is too large");
    const std::vector<std::uint8_t> section = encode_resource_section(resources, static_cast<std::uint32_t>(rva));
    const std::uint64_t raw_size = align_up(section.size(), file_alignment);
    const std::uint64_t image_size = align_up(rva + section.size(), section_alignment);
    if (image_size > 0xFFFFFFFFull || raw_at + raw_size > 0xFFFFFFFFull)
        throw ImageWriteError("the resources make the image too large");

    static const char kName[8] = {'.', 'r', 's', 'r', 'c', 0, 0, 0};
    std::copy(kName, kName + 8, out.begin() + new_header);
    store_u32(out, new_header + 8, static_cast<std::uint32_t>(section.size()));
    store_u32(out, new_header + 12, static_cast<std::uint32_t>(rva));
    store_u32(out, new_header + 16, static_cast<std::uint32_t>(raw_size));
    store_u32(out, new_header + 20, static_cast<std::uint32_t>(raw_at));
    store_u32(out, new_header + 36, kResourceCharacteristics);

    out.resize(raw_at, 0);
    out.insert(out.end(), section.begin(), section.end());
    out.resize(raw_at + raw_size, 0);

    store_u16(out, at.coff + 2, static_cast<std::uint16_t>(count + 1));
    store_u32(out, at.coff + 4, options.time_stamp);
    store_u32(out, at.optional + 8, load_u32(out, at.optional + 8) + static_cast<std::uint32_t>(raw_size));
    store_u32(out, at.optional + 56, static_cast<std::uint32_t>(image_size));
    store_u32(out, resource_entry, static_cast<std::uint32_t>(rva));
    store_u32(out, resource_entry + 4, static_cast<std::uint32_t>(section.size()));
    const std::size_t checksum_at = at.optional + 64;
    store_u32(out, checksum_at, pe_checksum(out, checksum_at));
    return out;
}

}  // namespace upkit::pe
