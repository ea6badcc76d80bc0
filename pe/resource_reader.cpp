#include "resource_reader.h"

#include <fmt/format.h>
#include <set>

#include "little_endian.h"
#include "text_codec.h"

namespace upkit::pe {

namespace {

enum class Level {
    type,
    name,
    language
};

const char* level_word(Level level)
{
    switch (level) {
    case Level::type:
        return "type";
    case Level::name:
        return "name";
    default:
        return "language";
    }
}

// The walk through one image's resource tree. Offsets inside the tree are
// relative to its start, the bytes of the resource section from the
// directory's RVA on.
class ResourceTreeWalk {
public:
    ResourceTreeWalk(const PeImage& image, std::span<const std::uint8_t> tree, std::uint32_t tree_rva)
        : image_(image)
        , tree_(tree)
        , tree_rva_(tree_rva)
    {
    }

    std::vector<Resource> run()
    {
        walk_directory(0, Level::type, Resource{});
        return std::move(resources_);
    }

private:
    // `path` holds the type and name chosen on the way down.
    void walk_directory(std::uint32_t offset, Level level, const Resource& path)
    {
        const std::string where = describe_directory(level, path);
        if (!visited_directories_.insert(offset).second)
            throw PeError(fmt::format("{} at offset 0x{:X} of the resource section is reached a second time (a loop "
                                      "or a shared directory)",
                                      where, offset));
        if (!fits(tree_.size(), offset, resource_directory::kSize))
            throw PeError(fmt::format("{} at offset 0x{:X} lies past the end of the resource section ({} bytes)", where,
                                      offset, tree_.size()));
        const std::size_t count =
            static_cast<std::size_t>(load_u16(tree_, offset + resource_directory::kNamedEntryCount)) +
            load_u16(tree_, offset + resource_directory::kIdEntryCount);
        if (!fits(tree_.size(), offset + resource_directory::kSize, count * resource_directory_entry::kSize))
            throw PeError(fmt::format("{} at offset 0x{:X} announces {} entries, more than the resource section "
                                      "holds",
                                      where, offset, count));
        for (std::size_t i = 0; i < count; ++i) {
            const std::size_t entry = offset + resource_directory::kSize + i * resource_directory_entry::kSize;
            const std::uint32_t name_field = load_u32(tree_, entry + resource_directory_entry::kName);
            const std::uint32_t target = load_u32(tree_, entry + resource_directory_entry::kTarget);
            Resource below = path;
            const ResourceKey key = read_key(name_field, level, where, i);
            if (level == Level::type) {
                below.type = key;
            } else if (level == Level::name) {
                below.name = key;
            } else {
                if (!key.is_id())
                    throw PeError(fmt::format("{}, entry {}: a language must be a number, not the name \"{}\"", where,
                                              i + 1, key.name));
                below.language = *key.id;
            }

            const bool to_directory = (target & resource_directory_entry::kTargetIsDirectory) != 0;
            if (level == Level::language) {
                if (to_directory)
                    throw PeError(fmt::format("{}: language {} leads to a fourth directory level instead of its "
                                              "data",
                                              describe_resource(below), below.language));
                read_data_entry(target, std::move(below));
            } else {
                if (!to_directory)
                    throw PeError(fmt::format("{}, entry {} ({}): leads to data where a directory of {}s belongs",
                                              where, i + 1, key.describe(),
                                              level_word(level == Level::type ? Level::name : Level::language)));
                walk_directory(target & ~resource_directory_entry::kTargetIsDirectory,
                               level == Level::type ? Level::name : Level::language, below);
            }
        }
    }

    ResourceKey read_key(std::uint32_t field, Level level, const std::string& where, std::size_t index)
    {
        if ((field & resource_directory_entry::kNameIsString) == 0) {
            if (field > 0xFFFF)
                throw PeError(fmt::format("{}, entry {}: the {} id {} does not fit 16 bits", where, index + 1,
                                          level_word(level), field));
            return ResourceKey::of(static_cast<std::uint16_t>(field));
        }
        const std::uint32_t offset = field & ~resource_directory_entry::kNameIsString;
        if (!fits(tree_.size(), offset, resource_name::kUnits))
            throw PeError(fmt::format("{}, entry {}: its name at offset 0x{:X} lies past the end of the resource "
                                      "section",
                                      where, index + 1, offset));
        const std::size_t length = load_u16(tree_, offset + resource_name::kLength);
        if (!fits(tree_.size(), offset + resource_name::kUnits, length * 2))
            throw PeError(fmt::format("{}, entry {}: its name at offset 0x{:X} ({} characters) runs past the end of "
                                      "the resource section",
                                      where, index + 1, offset, length));
        return ResourceKey::named(utf8_from_utf16le(tree_.subspan(offset + resource_name::kUnits, length * 2)));
    }

    void read_data_entry(std::uint32_t offset, Resource resource)
    {
        const std::string what = describe_resource(resource);
        if (!visited_data_entries_.insert(offset).second)
            throw PeError(fmt::format("{}: its data entry at offset 0x{:X} serves another resource too", what, offset));
        if (!fits(tree_.size(), offset, resource_data_entry::kSize))
            throw PeError(fmt::format("{}: its data entry at offset 0x{:X} lies past the end of the resource section",
                                      what, offset));
        const std::uint32_t rva = load_u32(tree_, offset + resource_data_entry::kRva);
        const std::uint32_t size = load_u32(tree_, offset + resource_data_entry::kDataSize);
        resource.code_page = load_u32(tree_, offset + resource_data_entry::kCodePage);
        // Resources occupy bytes of their own: together they cannot need more
        // than the file holds. This bounds the copying below for any tree.
        claimed_bytes_ += size;
        if (claimed_bytes_ > image_.bytes().size())
            throw PeError(
                fmt::format("{}: with its {} bytes the resources claim more data than the file holds", what, size));
        const std::span<const std::uint8_t> data = image_.data_at(rva, size, what);
        resource.data.assign(data.begin(), data.end());
        resources_.push_back(std::move(resource));
    }

    std::string describe_directory(Level level, const Resource& path) const
    {
        switch (level) {
        case Level::type:
            return fmt::format("the resource directory (RVA 0x{:X})", tree_rva_);
        case Level::name:
            return fmt::format("the directory of type {}", path.type.describe());
        default:
            return fmt::format("the directory of resource {}/{}", path.type.describe(), path.name.describe());
        }
    }

    static std::string describe_resource(const Resource& resource)
    {
        return fmt::format("resource {}/{}/{}", resource.type.describe(), resource.name.describe(), resource.language);
    }

    const PeImage& image_;
    std::span<const std::uint8_t> tree_;
    std::uint32_t tree_rva_;
    std::set<std::uint32_t> visited_directories_;
    std::set<std::uint32_t> visited_data_entries_;
    std::uint64_t claimed_bytes_ = 0;
    std::vector<Resource> resources_;
};

}  // namespace

std::vector<Resource> read_resources(const PeImage& image)
{
    const DataDirectory directory = image.directory(kResourceDirectory);
    if (directory.rva == 0 || directory.size == 0)
        return {};
    FileRange range;
    try {
        range = image.map_rva(directory.rva);
    } catch (const PeError&) {
        throw PeError(
            fmt::format("the resource directory at RVA 0x{:X} lies in no section of the image", directory.rva));
    }
    const std::span<const std::uint8_t> tree = image.bytes().subspan(range.offset, range.available);
    return ResourceTreeWalk(image, tree, directory.rva).run();
}

}  // namespace upkit::pe
