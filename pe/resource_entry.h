// One resource of a PE image as both the reader and the writer of resource
// sections see it: type, name, language and the data bytes.
#pragma once

#include <compare>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace upkit::pe {

// A resource type or name: an integer id, or a string. Strings are kept as
// UTF-8 here and stored as UTF-16 in the image; resource compilers store
// names in upper case, and Windows looks them up ignoring case.
struct ResourceKey {
    std::optional<std::uint16_t> id;  // set for an integer id
    std::string name;                 // the string when id is not set

    static ResourceKey of(std::uint16_t value) { return ResourceKey{value, {}}; }
    static ResourceKey named(std::string text) { return ResourceKey{std::nullopt, std::move(text)}; }

    bool is_id() const { return id.has_value(); }

    // "10" for an id, the name itself otherwise.
    std::string describe() const { return id ? std::to_string(*id) : name; }

    // The order of a resource directory: every string before every id,
    // strings by their UTF-16 code units (byte order for ASCII), ids upward.
    std::strong_ordering operator<=>(const ResourceKey& other) const
    {
        if (id.has_value() != other.id.has_value())
            return id.has_value() ? std::strong_ordering::greater : std::strong_ordering::less;
        if (id)
            return *id <=> *other.id;
        return name <=> other.name;
    }
    bool operator==(const ResourceKey& other) const = default;
};

// Well-known type ids.
const std::uint16_t kTypeIcon = 3;
const std::uint16_t kTypeBitmap = 2;
const std::uint16_t kTypeDialog = 5;
const std::uint16_t kTypeString = 6;
const std::uint16_t kTypeRcData = 10;
const std::uint16_t kTypeGroupIcon = 14;
const std::uint16_t kTypeVersion = 16;

const std::uint16_t kLanguageEnglishUs = 1033;

struct Resource {
    ResourceKey type;
    ResourceKey name;
    std::uint16_t language = kLanguageEnglishUs;
    std::uint32_t code_page = 0;  // the data entry's code page field; 0 from resource compilers
    std::vector<std::uint8_t> data;
};

}  // namespace upkit::pe
