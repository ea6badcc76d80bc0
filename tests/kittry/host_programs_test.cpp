// Finding Wine and Xvfb on PATH, and the one-line errors when one is missing.

#include <gtest/gtest.h>

#include <sys/stat.h>

#include "host_programs.h"
#include "test_files.h"
#include "trial_error.h"

using namespace upkit::kittry;
namespace fs = std::filesystem;

namespace {

void make_program(const fs::path& path, const std::string& text = "#!/bin/sh\n")
{
    upkit::test::write_file(path, text);
    ::chmod(path.c_str(), 0755);
}

std::string error_of(const std::string& arch, bool need_xvfb, const std::string& path)
{
    try {
        find_host_programs(arch, need_xvfb, path);
    } catch (const TrialError& e) {
        return e.what();
    }
    return "";
}

}  // namespace

TEST(HostPrograms, FindTheFirstExecutableOnPath)
{
    upkit::test::TempDir one;
    upkit::test::TempDir two;
    upkit::test::write_file(one / "Xvfb", std::string("not executable"));
    make_program(two / "Xvfb");
    const std::string path = one.path().string() + "::" + two.path().string();
    EXPECT_EQ(find_on_path("Xvfb", path), two / "Xvfb");
    EXPECT_EQ(find_on_path("wine", path), std::nullopt);
}

TEST(HostPrograms, TakeTheLoaderBesideTheWineScriptAndNameThePackagesOfWhatIsMissing)
{
    // The layout of a Debian install: the script on PATH, the loaders in
    // lib/wine.
    upkit::test::TempDir root;
    make_program(root / "bin/wine");
    make_program(root / "bin/wineserver");
    make_program(root / "lib/wine/wine64");
    make_program(root / "other/Xvfb");
    const std::string bin = (root / "bin").string();

    const HostPrograms found = find_host_programs("win64", true, bin + ":" + (root / "other").string());
    EXPECT_EQ(found.loader, fs::canonical(root / "lib/wine/wine64"));
    EXPECT_EQ(found.wineserver, root / "bin/wineserver");
    EXPECT_EQ(found.xvfb, root / "other/Xvfb");

    EXPECT_EQ(error_of("win64", true, bin),
              "Xvfb is not on PATH, and without a display the kit runs on one: install the Debian package xvfb");
    EXPECT_EQ(error_of("win64", false, bin), "");
    EXPECT_EQ(error_of("win64", false, (root / "other").string()),
              "Wine is not on PATH: install the Debian packages wine and wine64");
    // The script is no 32-bit loader.
    EXPECT_EQ(error_of("win32", false, bin), "32-bit Wine is missing, which a 32-bit kit needs: run "
                                             "scripts/install-wine32, or install the Debian package wine32:i386");
    make_program(root / "lib/wine/wine");
    EXPECT_EQ(find_host_programs("win32", false, bin).loader, fs::canonical(root / "lib/wine/wine"));
}
