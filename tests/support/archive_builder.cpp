#include "archive_builder.h"

#include "archive_writer.h"
#include "lz_window.h"
#include "test_files.h"

namespace upkit::test {

ArchiveBuilder::ArchiveBuilder(int window_bits, std::uint8_t version_a, std::uint8_t version_b)
    : version_a_(version_a)
    , version_b_(version_b)
    , window_bits_(window_bits)
    , items_(window_bits)
{
}

void ArchiveBuilder::literals(const std::string& text)
{
    for (unsigned char c : text)
        items_.literal(c);
}

void ArchiveBuilder::end_member(const std::string& name, std::uint32_t declared_size, std::uint16_t check,
                                std::uint16_t dos_time, std::uint16_t dos_date)
{
    items_.check_value(check);
    MemberInput entry;
    entry.name = name;
    entry.dos_time = dos_time;
    entry.dos_date = dos_date;
    std::vector<std::uint8_t> bytes = encode_directory_entry(entry);
    // The size field sits just before the time and date.
    const std::size_t at = bytes.size() - 8;
    for (int i = 0; i < 4; ++i)
        bytes[at + static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(declared_size >> (8 * i));
    directory_.insert(directory_.end(), bytes.begin(), bytes.end());
    ++count_;
}

std::vector<std::uint8_t> ArchiveBuilder::finish()
{
    std::vector<std::uint8_t> image = archive_header(version_a_, version_b_, static_cast<std::uint16_t>(count_),
                                                     static_cast<std::uint8_t>(window_bits_));
    image.insert(image.end(), directory_.begin(), directory_.end());
    const std::vector<std::uint8_t> stream = items_.finish();
    image.insert(image.end(), stream.begin(), stream.end());
    return image;
}

std::uint16_t check_value_of(const std::vector<std::uint8_t>& data)
{
    return update_check_value(0, data.data(), static_cast<int>(data.size()));
}

std::uint16_t check_value_of(const std::string& text)
{
    return check_value_of(bytes_of(text));
}

}  // namespace upkit::test
