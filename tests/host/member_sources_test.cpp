// The one walk from files and folders to members that create and build
// share: stored names in Windows-1252, sorted; what is left out and why; the
// names that cannot be written side by side; reading with a fixed or the
// file's own time.

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <sys/stat.h>
#include <vector>

#include "member_sources.h"
#include "test_files.h"
#include "text_codec.h"

namespace upkit::test {
namespace {

std::vector<std::string> stored(const std::vector<MemberSource>& sources)
{
    std::vector<std::string> names;
    for (const MemberSource& source : sources)
        names.push_back(source.stored);
    return names;
}

// The message of the SourceError that `run` throws, with its status.
template <typename Run> std::pair<std::string, int> refusal(Run run)
{
    try {
        run();
    } catch (const SourceError& e) {
        return {e.file + ": " + e.what(), e.status};
    }
    return {"(nothing refused)", 0};
}

TEST(MemberSources, AFoldersFilesAreStoredBelowItInWindows1252SortedByStoredName)
{
    TempDir dir;
    write_file(dir / "tree/b.txt", std::string("b"));
    write_file(dir / "tree/A.TXT", std::string("a"));
    write_file(dir / "tree/sub/c.txt", std::string("c"));
    write_file(dir.path() / "tree" / upkit::path_from_utf8("Th\xc3\xa8me.ini"), std::string("t"));
    const std::vector<MemberSource> sources = folder_sources(dir / "tree", SourceWalk{});
    EXPECT_EQ(stored(sources), (std::vector<std::string>{"A.TXT", "Th\xe8me.ini", "b.txt", "sub\\c.txt"}));
    EXPECT_EQ(sources[3].path, dir / "tree/sub/c.txt");
    EXPECT_EQ(fs::path(sources[3].shown), dir / "tree/sub/c.txt");  // the host text of that path
}

#ifndef _WIN32
TEST(MemberSources, LinksToFoldersAndSpecialFilesAreLeftOutAndReported)
{
    TempDir dir;
    write_file(dir / "tree/kept.txt", std::string("k"));
    write_file(dir / "elsewhere/far.txt", std::string("f"));
    fs::create_directory_symlink(dir / "elsewhere", dir / "tree/link");
    ASSERT_EQ(::mkfifo((dir / "tree/pipe").c_str(), 0600), 0);
    write_file(dir / "tree/own.kw", std::string("o"));

    std::vector<std::string> skipped;
    SourceWalk walk;
    walk.skip = [&](const fs::path& path, std::string_view why) {
        skipped.push_back(path.filename().string() + ": " + std::string(why));
    };
    walk.exclude = [&](const fs::path& path) -> std::optional<std::string> {
        if (path.filename() == "own.kw")
            return "the archive being written";
        return std::nullopt;
    };
    EXPECT_EQ(stored(folder_sources(dir / "tree", walk)), std::vector<std::string>{"kept.txt"});
    std::sort(skipped.begin(), skipped.end());
    EXPECT_EQ(skipped, (std::vector<std::string>{"link: a link to a folder is not followed",
                                                 "own.kw: the archive being written", "pipe: not a regular file"}));

    // A walk that refuses instead (as build does) stops at the first.
    walk.skip = [](const fs::path& path, std::string_view why) { throw SourceError(path.string(), std::string(why)); };
    EXPECT_EQ(refusal([&] { folder_sources(dir / "tree", walk); }).second, kExitDataError);
}

TEST(MemberSources, HostNamesThatCannotBeStoredAreRefusedNamingTheFile)
{
    TempDir dir;
    const fs::path cjk = dir.path() / upkit::path_from_utf8("\xe6\x97\xa5\xe6\x9c\xac.txt");
    const fs::path latin1 = dir.path() / fs::path(std::string("caf\xe9.txt"));
    const fs::path backslash = dir.path() / fs::path(std::string("a\\b.txt"));
    auto [message, status] = refusal([&] { stored_name_of(cjk.filename(), cjk); });
    EXPECT_EQ(message, cjk.string() + ": the name cannot be stored: it holds a character that Windows-1252, the "
                                      "archive's character set, lacks");
    EXPECT_EQ(status, kExitDataError);
    EXPECT_EQ(refusal([&] { stored_name_of(latin1.filename(), latin1); }).first,
              latin1.string() + ": the name cannot be stored: it is not UTF-8");
    EXPECT_EQ(refusal([&] { stored_name_of(backslash.filename(), backslash); }).first,
              backslash.string() + ": a backslash in a file or folder name cannot be stored");
}
#endif

TEST(MemberSources, AGivenNameIsStoredInWindows1252WithBackslashes)
{
    EXPECT_EQ(stored_name_from_utf8("Config/Th\xc3\xa9ma.ini", "x"), "Config\\Th\xe9ma.ini");
    EXPECT_EQ(stored_name_from_utf8("A\\B/C.TXT", "x"), "A\\B\\C.TXT");
    EXPECT_EQ(refusal([] { stored_name_from_utf8("\xe2\x98\x83.txt", "x"); }).first,
              "x: the name cannot be stored: it holds a character that Windows-1252, the archive's character set, "
              "lacks");
}

TEST(MemberSources, NamesThatCannotBeWrittenSideBySideAreRefused)
{
    const auto source = [](const std::string& name) { return MemberSource{fs::path(name), "in/" + name, name}; };
    EXPECT_EQ(refusal([&] {
                  check_stored_names({source("A.TXT"), source("a.txt")});
              }).first,
              "in/a.txt: stored as a.txt, which clashes with in/A.TXT (Windows does not tell case apart)");
    // Nor does it for the accented letters: "ÉTÉ" and "été" are one file.
    EXPECT_EQ(refusal([&] {
                  check_stored_names({source("\xC9T\xC9.TXT"), source("\xE9t\xE9.txt")});
              }).first,
              "in/\xe9t\xe9.txt: stored as \xc3\xa9t\xc3\xa9.txt, which clashes with in/\xc9T\xc9.TXT (Windows does "
              "not tell case apart)");
    EXPECT_EQ(refusal([&] {
                  check_stored_names({source("\x8A\\A"), source("\x9A")});
              }).first,
              "in/\x9a: stored as \xc5\xa1, which is also a folder in the stored name of in/\x8a\\A");
    EXPECT_EQ(refusal([&] {
                  check_stored_names({source("A"), source("A\\B")});
              }).first,
              "in/A: stored as A, which is also a folder in the stored name of in/A\\B");
    EXPECT_EQ(refusal([&] { check_stored_names({source("..\\X")}); }).first,
              "in/..\\X: cannot be stored as ..\\X: the name leads outside the target folder");
    EXPECT_EQ(refusal([&] { check_stored_names({source("CON.txt")}); }).first,
              "in/CON.txt: cannot be stored as CON.txt: the name is a Windows device name");
    EXPECT_EQ(refusal([&] { check_stored_names({source("A"), source("B\\A"), source("\xe9")}); }).second, 0);
}

TEST(MemberSources, MembersAreReadWithTheFixedTimeOrTheFilesOwn)
{
    TempDir dir;
    write_file(dir / "one.txt", std::string("first"));
    write_file(dir / "two.txt", std::string("second"));
    const std::vector<MemberSource> sources = {{dir / "one.txt", "one.txt", "ONE.TXT"},
                                               {dir / "two.txt", "two.txt", "TWO.TXT"}};
    std::uint64_t heard = 0;
    const std::vector<MemberInput> fixed =
        read_members(sources, DosStamp{0x6000, 0x2821}, [&](const MemberSource&, std::uint64_t n) { heard += n; });
    ASSERT_EQ(fixed.size(), 2u);
    EXPECT_EQ(fixed[1].name, "TWO.TXT");
    EXPECT_EQ(fixed[1].data, bytes_of("second"));
    EXPECT_EQ(fixed[0].dos_time, 0x6000);
    EXPECT_EQ(fixed[0].dos_date, 0x2821);
    EXPECT_EQ(heard, 11u);

    const std::vector<MemberInput> own = read_members(sources, std::nullopt);
    const std::optional<DosStamp> stamp = file_dos_stamp(dir / "one.txt");
    ASSERT_TRUE(stamp);
    EXPECT_EQ(own[0].dos_date, stamp->date);
    EXPECT_EQ(own[0].dos_time, stamp->time);

    const auto [message, status] = refusal([&] {
        read_members({{dir / "gone.txt", "gone.txt", "GONE.TXT"}}, std::nullopt);
    });
    EXPECT_EQ(status, kExitIoError);
    EXPECT_EQ(message, "gone.txt: cannot read the file's time");
}

}  // namespace
}  // namespace upkit::test
