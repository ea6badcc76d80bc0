// The engine's rules for stored names and output paths, and the tool's:
// compose_output_path and is_contained_member_path (archive/output_files),
// base_name, extension_of and the continuation file names (the engine's
// input_stream against the tool's continuation_path), and the tool's
// unsafe_name_reason (tools/upkit/member_names).
//
// Input: byte 0 holds flags, byte 1 a length; the rest is a stored name.
//   byte 0   bit 0: keep stored folders; bits 1-2: the target directory is
//            the scratch folder's T\OUT (0), the same with a trailing
//            backslash (1), empty (2), or the first byte-1 bytes of the rest
//            (3); bits 3-6: a continuation number.
//
// Checked, for any name: no crash or sanitizer report; a composed path fits
// MAX_PATH and starts with the directory; below a real directory it never
// leaves it, neither as Windows reads the path (".." and "..." and ". ."
// climb, a colon names a drive or a stream) nor as the native platform
// resolves it, and the file created there lands inside it; a name the tool
// takes as safe is one the engine writes below the folder; the tool's
// continuation file names are the engine's own and stay in the archive's
// folder.
#include <cstdint>
#include <cstring>
#include <optional>
#include <string>
#include <string_view>

#include "engine_paths.h"
#include "fuzz_support.h"
#include "input_stream.h"
#include "member_names.h"
#include "output_files.h"

namespace {

using namespace upkit::fuzz;

bool is_separator(char c)
{
    return c == '\\' || c == '/';
}

// Whether a relative path stays below the folder it is joined to, as Windows
// reads it: a component of dots and spaces with two or more dots climbs (the
// trailing dots and spaces are dropped), a colon anywhere names a drive, a
// device or a stream, and a leading separator starts at the root.
bool stays_below_on_windows(std::string_view relative)
{
    if (relative.empty())
        return true;
    if (is_separator(relative.front()) || relative.find(':') != std::string_view::npos)
        return false;
    int depth = 0;
    std::size_t begin = 0;
    while (begin <= relative.size()) {
        std::size_t end = begin;
        while (end < relative.size() && !is_separator(relative[end]))
            ++end;
        const std::string_view component = relative.substr(begin, end - begin);
        int dots = 0;
        bool only_dots_and_spaces = true;
        for (char c : component) {
            if (c == '.')
                ++dots;
            else if (c != ' ')
                only_dots_and_spaces = false;
        }
        if (!only_dots_and_spaces)
            ++depth;
        else if (dots >= 2 && --depth < 0)
            return false;
        begin = end + 1;
    }
    return true;
}

std::string qualified(const std::string& path)
{
    char buffer[4 * MAX_PATH];
    const DWORD n = GetFullPathNameA(path.c_str(), sizeof buffer, buffer, nullptr);
    return n > 0 && n < sizeof buffer ? std::string(buffer, n) : std::string();
}

// Creates the composed path's file as the reader would and checks that it,
// and every folder made for it, lie in the target folder.
void create_inside(const fs::path& scratch, const std::string& path)
{
    const HANDLE file = create_output_file(path.c_str());
    if (file != INVALID_HANDLE_VALUE)
        CloseHandle(file);
    std::error_code error;
    for (auto it = fs::recursive_directory_iterator(scratch, error); it != fs::recursive_directory_iterator();
         it.increment(error)) {
        const fs::path relative = it->path().lexically_relative(scratch);
        auto part = relative.begin();
        FUZZ_CHECK(*part == "T", "created %s for %s", it->path().c_str(), path.c_str());
        if (++part != relative.end())
            FUZZ_CHECK(*part == "OUT", "created %s for %s", it->path().c_str(), path.c_str());
    }
}

void check_composition(const std::string& directory, const char* name, int keep_paths, bool real_directory)
{
    char path[MAX_PATH + 8];
    std::memset(path, 0x55, sizeof path);
    const int composed = compose_output_path(path, directory.c_str(), name, keep_paths);
    const char* part = keep_paths ? name : base_name(name);
    if (keep_paths && *part == '\\' && !directory.empty())
        ++part;
    if (!composed) {
        const std::size_t separator = directory.empty() || directory.back() != '\\' ? 1 : 0;
        FUZZ_CHECK(!is_contained_member_path(part) || directory.size() + separator + std::strlen(part) >= MAX_PATH,
                   "refused a contained name \"%s\" below \"%s\"", name, directory.c_str());
        return;
    }
    const std::size_t length = std::strlen(path);
    FUZZ_CHECK(length < MAX_PATH, "composed %zu characters", length);
    FUZZ_CHECK(std::strncmp(path, directory.c_str(), directory.size()) == 0, "\"%s\" does not start with \"%s\"", path,
               directory.c_str());
    FUZZ_CHECK(is_contained_member_path(part), "joined an uncontained name \"%s\"", part);
    std::string_view relative(path + directory.size());
    if (directory.empty() || directory.back() != '\\') {
        FUZZ_CHECK(!relative.empty() && relative.front() == '\\', "no separator after the directory in \"%s\"", path);
        relative.remove_prefix(1);
    }
    FUZZ_CHECK(relative == part, "joined \"%.*s\" instead of \"%s\"", static_cast<int>(relative.size()),
               relative.data(), part);
    FUZZ_CHECK(stays_below_on_windows(relative), "\"%s\" leaves \"%s\" on Windows", path, directory.c_str());
    if (!real_directory)
        return;

    std::string folder = directory;
    while (!folder.empty() && folder.back() == '\\')
        folder.pop_back();
    const std::string native_folder = qualified(folder);
    const std::string native_path = qualified(path);
    FUZZ_CHECK(!native_folder.empty(), "cannot qualify %s", folder.c_str());
    // A name of "." names the folder itself: no file can be made there.
    if (!native_path.empty() && native_path != native_folder)
        FUZZ_CHECK(native_path.compare(0, native_folder.size() + 1, native_folder + "\\") == 0,
                   "\"%s\" resolves to \"%s\", outside \"%s\"", path, native_path.c_str(), native_folder.c_str());
    create_inside(Scratch::get().path(), path);
}

void check_tool_names(std::string_view stored, const std::string& directory)
{
    const char* reason = upkit::unsafe_name_reason(stored);
    const std::string below(upkit::name_below_folder(stored));
    if (!is_contained_member_path(below.c_str()))
        FUZZ_CHECK(reason != nullptr, "the tool takes \"%s\" as safe, the engine as leaving the folder", below.c_str());
    if (reason)
        return;
    FUZZ_CHECK(below.find('\0') == std::string::npos, "a safe name holds a NUL");
    FUZZ_CHECK(!below.empty() && stays_below_on_windows(below), "the tool takes \"%s\" as safe", below.c_str());
    if (directory.size() + 1 + below.size() < MAX_PATH) {
        char path[MAX_PATH];
        const std::string stored_text(stored);
        FUZZ_CHECK(compose_output_path(path, directory.c_str(), stored_text.c_str(), 1),
                   "the tool takes \"%s\" as safe, the engine refuses it", stored_text.c_str());
    }
}

// The engine's own derivation of continuation file `number`, as
// input_next_volume makes it in its path buffer.
std::string engine_continuation(const std::string& archive, int number)
{
    char buffer[512];
    std::strcpy(buffer, archive.c_str());
    char* extension = extension_of(buffer);
    if (*extension == '\0')
        *extension++ = '.';
    format_volume_number(extension, number);
    return buffer;
}

void check_continuation(const std::string& archive_text, int number)
{
    const std::optional<std::string> engine = upkit::to_engine_path(archive_text);
    if (engine) {
        FUZZ_CHECK(upkit::from_engine_path(*engine) == archive_text, "engine path round trip of \"%s\"",
                   archive_text.c_str());
        const char* start = engine->c_str();
        const char* base = base_name(start);
        const char* extension = extension_of(start);
        FUZZ_CHECK(base >= start && base <= start + engine->size(), "base name out of the text");
        FUZZ_CHECK(extension >= base && extension <= start + engine->size(), "extension out of the base name");
    }
    const std::optional<std::string> next = upkit::continuation_path(archive_text, number);
    if (!next)
        return;
    FUZZ_CHECK(engine.has_value(), "a continuation of an archive the engine cannot name");
    if (engine->size() <= 255) {
        const std::optional<std::string> next_engine = upkit::to_engine_path(*next);
        FUZZ_CHECK(next_engine && *next_engine == engine_continuation(*engine, number),
                   "continuation %d of \"%s\": the tool says \"%s\", the engine reads \"%s\"", number,
                   archive_text.c_str(), next->c_str(), engine_continuation(*engine, number).c_str());
    }
    const std::size_t folder = archive_text.rfind('/');
    const std::size_t next_folder = next->rfind('/');
    FUZZ_CHECK(folder == next_folder &&
                   (folder == std::string::npos || archive_text.compare(0, folder, *next, 0, folder) == 0),
               "continuation \"%s\" of \"%s\" leaves its folder", next->c_str(), archive_text.c_str());
}

void check_directory_part(const char* path)
{
    if (std::strlen(path) >= MAX_PATH)
        return;
    char part[MAX_PATH];
    directory_part(part, path);
    FUZZ_CHECK(std::strncmp(part, path, std::strlen(part)) == 0, "directory part \"%s\" of \"%s\"", part, path);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size < 2)
        return 0;
    const std::uint8_t flags = data[0];
    std::string_view rest(reinterpret_cast<const char*>(data + 2), size - 2);
    const int keep_paths = flags & 1;
    const int form = (flags >> 1) & 3;
    static const int kNumbers[16] = {2, 3, 9, 10, 11, 99, 100, 101, 999, 1000, 1001, 9999, 10000, 32767, 65535, 65536};
    const int number = kNumbers[(flags >> 3) & 15];

    const Scratch& scratch = Scratch::get();
    const std::string target = engine_path(scratch.path() / "T" / "OUT");
    std::string directory;
    switch (form) {
    case 0:
        directory = target;
        break;
    case 1:
        directory = target + "\\";
        break;
    case 2:
        break;
    default: {
        const std::size_t n = std::min<std::size_t>(data[1], rest.size());
        directory = std::string(rest.substr(0, n).substr(0, rest.substr(0, n).find('\0')));
        rest.remove_prefix(n);
        break;
    }
    }
    const std::string stored(rest);
    const char* name = stored.c_str();  // the engine reads names as C strings

    const bool real = form <= 1;
    if (real)
        scratch.empty();
    check_composition(directory, name, keep_paths, real);
    check_composition(directory, name, !keep_paths, real);
    check_tool_names(rest, real ? directory : target);
    check_continuation(name, number);
    check_directory_part(name);
    check_directory_part(directory.c_str());
    if (real)
        scratch.empty();
    return 0;
}
