// Staging archives and installing their members, files in use included.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "archive_staging.h"
#include "archive_writer.h"
#include "kit_resources.h"
#include "replace_on_restart.h"
#include "system_standins.h"
#include "table_fixture.h"

namespace upkit::test {
namespace {

std::string text_of(const fs::path& path)
{
    const std::vector<std::uint8_t> bytes = read_file(path);
    return {bytes.begin(), bytes.end()};
}

TEST(Staging, CopiesTheArchiveResourceEvenIntoADeepFolder)
{
    KitModule kit;
    const std::vector<std::uint8_t> archive = pseudo_random_bytes(70000, 5);
    kit.add_archive(2001, archive);
    kit.load();
    // Deeper than the 128 characters an open record holds.
    const fs::path deep = kit.dir() / std::string(90, 'D') / std::string(60, 'E');
    fs::create_directories(deep);
    const fs::path staged = deep / "ARC1.TMP";
    write_file(staged, std::string("old content, longer than nothing"));
    ASSERT_TRUE(StageArchive(2001, engine_path(staged).c_str()));
    EXPECT_EQ(read_file(staged), archive);
    EXPECT_FALSE(StageArchive(2002, engine_path(staged).c_str()));
}

// ---------------------------------------------------------------- members

// Every message box the install shows, answered at once.
std::vector<std::string> shown;
int WINAPI message_box_standin(HWND, LPCSTR text, LPCSTR, UINT)
{
    shown.push_back(text);
    return IDOK;
}

std::string temp_dir()
{
    char buffer[MAX_PATH];
    GetTempPathA(MAX_PATH, buffer);
    return buffer;
}

// The new-version files in the temporary directory.
std::vector<std::string> new_version_files()
{
    std::vector<std::string> names;
    WIN32_FIND_DATAA found;
    HANDLE find = FindFirstFileA((temp_dir() + "NEW*.TMP").c_str(), &found);
    if (find == INVALID_HANDLE_VALUE)
        return names;
    do {
        names.push_back(found.cFileName);
    } while (FindNextFileA(find, &found));
    FindClose(find);
    std::sort(names.begin(), names.end());
    return names;
}

// Installing members with files in use: a read-only target is refused
// deletion with access denied, as a running program's file is.
class Members : public ::testing::Test {
protected:
    void SetUp() override
    {
        kit_.load();
        ASSERT_TRUE(box_.active());
        shown.clear();
        saved_renames_ = pending_renames();
        set_pending_renames({});
        before_ = new_version_files();
    }
    void TearDown() override
    {
        for (const std::string& name : new_version_files()) {
            if (!std::binary_search(before_.begin(), before_.end(), name))
                DeleteFileA((temp_dir() + name).c_str());
        }
        set_pending_renames(saved_renames_);
    }

    // Writes a one-member archive and installs it into `destination`.
    BOOL install(const std::string& name, const std::string& content, const std::string& destination)
    {
        MemberInput member;
        member.name = name;
        member.data = bytes_of(content);
        write_file(dir_ / "STAGED.KW", encode_archive({member}, EncoderOptions{15}));
        return InstallMembers(nullptr, engine_path(dir_ / "STAGED.KW").c_str(), destination.c_str());
    }

    void in_use(const fs::path& target, const std::string& content = "old")
    {
        fs::create_directories(target.parent_path());
        write_file(target, content);
        ASSERT_TRUE(SetFileAttributesA(engine_path(target).c_str(), FILE_ATTRIBUTE_READONLY));
    }

    // The files the pending renames move, by their targets, in order.
    std::vector<std::pair<std::wstring, std::string>> scheduled()
    {
        std::vector<std::pair<std::wstring, std::string>> moves;
        const std::vector<std::wstring> list = pending_renames();
        for (std::size_t i = 0; i + 1 < list.size(); i += 2) {
            if (list[i + 1].empty())
                continue;
            const std::string source(list[i].begin() + 4, list[i].end());
            moves.emplace_back(list[i + 1], text_of(source));
        }
        return moves;
    }

    KitModule kit_;
    TempDir dir_;
    ImportStandIn box_{"user32.dll", "MessageBoxA", reinterpret_cast<void*>(&message_box_standin)};
    std::vector<std::wstring> saved_renames_;
    std::vector<std::string> before_;
};

TEST_F(Members, EachScheduleOfOneTargetHasItsOwnFileAndTheLastOneWins)
{
    const fs::path target = dir_ / "APP" / "X.DLL";
    in_use(target);
    const std::string app = engine_path(dir_ / "APP");
    // Two archives carrying the file, then the same install once more.
    ASSERT_TRUE(install("X.DLL", "first", app));
    ASSERT_TRUE(install("X.DLL", "second", app));
    ASSERT_TRUE(install("\\X.DLL", "third", app));
    EXPECT_TRUE(shown.empty());
    EXPECT_EQ(text_of(target), "old");

    const std::wstring t = nt_path(engine_path(target));
    const std::vector<std::wstring> list = pending_renames();
    ASSERT_EQ(list.size(), 12u);
    for (std::size_t i = 0; i < 12; i += 4) {
        EXPECT_EQ(list[i], t);
        EXPECT_EQ(list[i + 1], L"");
        EXPECT_EQ(list[i + 3], t);
    }
    EXPECT_EQ(scheduled(),
              (std::vector<std::pair<std::wstring, std::string>>{{t, "first"}, {t, "second"}, {t, "third"}}));
    // Carried out in order, each deletion removes what the move before it
    // put in place: the last version stays.
    std::string result = "old";
    for (const auto& move : scheduled())
        result = move.second;
    EXPECT_EQ(result, "third");
    EXPECT_EQ(new_version_files().size(), before_.size() + 3);
}

TEST_F(Members, OneStoredNameInTwoFoldersGivesEachTargetItsOwnFile)
{
    const fs::path app = dir_ / "APP" / "X.DLL";
    const fs::path system = dir_ / "SYS" / "X.DLL";
    in_use(app);
    in_use(system);
    ASSERT_TRUE(install("X.DLL", "for the program", engine_path(dir_ / "APP")));
    ASSERT_TRUE(install("X.DLL", "for the system", engine_path(dir_ / "SYS")));
    EXPECT_EQ(scheduled(),
              (std::vector<std::pair<std::wstring, std::string>>{{nt_path(engine_path(app)), "for the program"},
                                                                 {nt_path(engine_path(system)), "for the system"}}));
}

TEST_F(Members, AReplacementThatCannotBeRegisteredFailsAndLeavesNoFile)
{
    const fs::path target = dir_ / "APP" / "X.DLL";
    in_use(target);
    for (int refused : {1, 2}) {
        RefusedMove move;
        ASSERT_TRUE(move.active());
        move.fail_at = refused;
        EXPECT_FALSE(install("X.DLL", "new", engine_path(dir_ / "APP"))) << refused;
        EXPECT_EQ(shown, std::vector<std::string>{"Error 10 transferring file X.DLL."}) << refused;
        shown.clear();
        EXPECT_EQ(pending_renames(), std::vector<std::wstring>{}) << refused;
        EXPECT_EQ(new_version_files(), before_) << refused;
        EXPECT_EQ(text_of(target), "old");
    }
}

TEST_F(Members, ATargetPathTooLongIsRefusedBeforeAnythingIsDeleted)
{
    // A destination so deep that the member's path passes 259 characters;
    // cut to fit its buffer (258 characters), it would name another file,
    // which must survive.
    std::string deep = engine_path(dir_.path());
    while (deep.size() < 245)
        deep += "\\DEEP";
    fs::create_directories(fs::path(deep));
    const std::string name = "A_RATHER_LONG_NAME.TXT";
    const std::string cut = (deep + "\\" + name).substr(0, 258);
    write_file(fs::path(cut), std::string("another file"));
    EXPECT_FALSE(install(name, "new", deep));
    EXPECT_EQ(shown, std::vector<std::string>{"Error 10 transferring file " + name + "."});
    EXPECT_EQ(text_of(fs::path(cut)), "another file");
}

TEST_F(Members, AnEmptyDestinationDeletesTheFileItWrites)
{
    // The engine writes below the root of the current drive; the file of
    // the same name in the current folder is another one.
    char previous[MAX_PATH];
    GetCurrentDirectoryA(MAX_PATH, previous);
    ASSERT_TRUE(SetCurrentDirectoryA(dir_.engine().c_str()));
    const std::string name = "UPKIT-EMPTY-DESTINATION.TXT";
    write_file(dir_ / name, std::string("not the target"));
    char root_file[MAX_PATH];
    GetFullPathNameA(("\\" + name).c_str(), MAX_PATH, root_file, nullptr);
    write_file(fs::path(root_file), std::string("the old target"));
    ASSERT_TRUE(SetFileAttributesA(root_file, FILE_ATTRIBUTE_READONLY));

    // In use: the deletion the kit tries is the target's, and is refused.
    EXPECT_TRUE(install(name, "new", ""));
    SetCurrentDirectoryA(previous);
    SetFileAttributesA(root_file, FILE_ATTRIBUTE_NORMAL);
    EXPECT_EQ(text_of(dir_ / name), "not the target");
    EXPECT_EQ(text_of(fs::path(root_file)), "the old target");
    EXPECT_EQ(scheduled(), (std::vector<std::pair<std::wstring, std::string>>{{nt_path(root_file), "new"}}));
    DeleteFileA(root_file);
}

}  // namespace
}  // namespace upkit::test
