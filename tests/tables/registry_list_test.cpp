// Registry values: token expansion, number parsing and the writes, checked
// in the test's Wine prefix.
#include <gtest/gtest.h>

#include <string>

#include "registry_list.h"
#include "table_fixture.h"

namespace upkit::test {
namespace {

std::string expanded(const char* text, const char* install_dir)
{
    char* block = ExpandDirectoryTokens(text, install_dir);
    EXPECT_NE(block, nullptr);
    std::string result = block ? block : "";
    HeapFree(GetProcessHeap(), 0, block);
    return result;
}

std::string windows_dir()
{
    char buffer[260];
    GetWindowsDirectoryA(buffer, 259);
    return buffer;
}

std::string system_dir()
{
    char buffer[260];
    GetSystemDirectoryA(buffer, 259);
    return buffer;
}

TEST(DirectoryTokens, ReplacedRemovedOrLeftAlone)
{
    const char* dir = "C:\\Apps\\Widget\\";
    EXPECT_EQ(expanded("%I%\\bin\\tool.exe", dir), "C:\\Apps\\Widget\\bin\\tool.exe");
    EXPECT_EQ(expanded("%i%", dir), "C:\\Apps\\Widget");
    EXPECT_EQ(expanded("%W%", dir), windows_dir());
    EXPECT_EQ(expanded("%s%\\X.DLL", dir), system_dir() + "\\X.DLL");
    EXPECT_EQ(expanded("%I%%S%", dir), "C:\\Apps\\Widget" + system_dir());
    EXPECT_EQ(expanded("%I%S%", dir), "C:\\Apps\\WidgetS%");
    EXPECT_EQ(expanded("100%", dir), "100%");
    EXPECT_EQ(expanded("50%-75%", dir), "50%-75%");
    EXPECT_EQ(expanded("%X%", dir), "");
    EXPECT_EQ(expanded("%%%", dir), "");
    EXPECT_EQ(expanded("a%1%b", dir), "ab");
    EXPECT_EQ(expanded("%SystemRoot%\\system32", dir), "%SystemRoot%\\system32");
    EXPECT_EQ(expanded("%I%", "\\"), "\\");
    EXPECT_EQ(expanded("%I%", ""), "");
    // No fixed limit on the result.
    std::string many;
    for (int i = 0; i < 86; ++i)
        many += "%W%";
    EXPECT_EQ(expanded(many.c_str(), dir).size(), 86 * windows_dir().size());
}

TEST(RegistryNumbers, HexAfter0xElseSignedDecimal)
{
    EXPECT_EQ(ParseRegistryNumber("0x1F"), 31u);
    EXPECT_EQ(ParseRegistryNumber("0X1f"), 31u);
    EXPECT_EQ(ParseRegistryNumber("1F"), 1u);
    EXPECT_EQ(ParseRegistryNumber("-1"), 0xFFFFFFFFu);
    EXPECT_EQ(ParseRegistryNumber("010"), 10u);
    EXPECT_EQ(ParseRegistryNumber(" 0x10"), 0u);
    EXPECT_EQ(ParseRegistryNumber("  +42 apples"), 42u);
    EXPECT_EQ(ParseRegistryNumber("0xFFFFFFFF"), 0xFFFFFFFFu);
    EXPECT_EQ(ParseRegistryNumber("4294967295"), 0xFFFFFFFFu);
    EXPECT_EQ(ParseRegistryNumber(""), 0u);
    EXPECT_EQ(ParseRegistryNumber("none"), 0u);
}

struct Value {
    DWORD type = 0;
    std::string data;
    bool found = false;
};

Value read_value(HKEY root, const char* key_path, const char* name)
{
    Value v;
    HKEY key;
    if (RegOpenKeyA(root, key_path, &key) != ERROR_SUCCESS)
        return v;
    BYTE data[2048];
    DWORD size = sizeof data;
    if (RegQueryValueExA(key, name, nullptr, &v.type, data, &size) == ERROR_SUCCESS) {
        v.found = true;
        v.data.assign(reinterpret_cast<char*>(data), size);
    }
    RegCloseKey(key);
    return v;
}

bool key_exists(HKEY root, const char* key_path)
{
    HKEY key;
    if (RegOpenKeyA(root, key_path, &key) != ERROR_SUCCESS)
        return false;
    RegCloseKey(key);
    return true;
}

std::string dword(DWORD v)
{
    return std::string(reinterpret_cast<const char*>(&v), 4);
}

TEST(RegistryWrites, EveryRowAsItsTypeSays)
{
    KitModule kit;
    kit.add_table("RegistryList", TableBytes()
                                      .word(2)
                                      .text("Software\\UpkitTest\\Reg")
                                      .text("Path")
                                      .word(1)
                                      .text("%I%\\WIDGET.EXE")
                                      .word(2)
                                      .text("Software\\UpkitTest\\Reg")
                                      .text("")
                                      .word(1)
                                      .text("default value")
                                      .word(3)
                                      .text("Software\\UpkitTest\\User")
                                      .text("Expand")
                                      .word(2)
                                      .text("%W%;%SystemRoot%")
                                      .word(1)
                                      .text("UpkitTest.Document")
                                      .text("")
                                      .word(1)
                                      .text("Upkit test document")
                                      .word(7)
                                      .text("Software\\UpkitTest\\BadRoot")
                                      .text("X")
                                      .word(1)
                                      .text("never")
                                      .word(2)
                                      .text("Software\\UpkitTest\\Reg")
                                      .text("Hex")
                                      .word(4)
                                      .text("0x1F")
                                      .word(2)
                                      .text("Software\\UpkitTest\\Reg")
                                      .text("Minus")
                                      .word(4)
                                      .text("-1")
                                      .word(2)
                                      .text("Software\\UpkitTest\\Reg")
                                      .text("Octal")
                                      .word(4)
                                      .text("010")
                                      .word(2)
                                      .text("Software\\UpkitTest\\NoValue")
                                      .text("Nothing")
                                      .word(3)
                                      .text("ignored")
                                      .word(2)
                                      .text("Software\\UpkitTest\\Zero")
                                      .text("Nothing")
                                      .word(0)
                                      .text("ignored")
                                      .end());
    kit.load();
    EXPECT_TRUE(WriteRegistryList("C:\\Apps\\Widget\\"));

    const std::string with_nul("C:\\Apps\\Widget\\WIDGET.EXE\0", 26);
    Value v = read_value(HKEY_LOCAL_MACHINE, "Software\\UpkitTest\\Reg", "Path");
    EXPECT_EQ(v.type, static_cast<DWORD>(REG_SZ));
    EXPECT_EQ(v.data, with_nul);
    EXPECT_EQ(read_value(HKEY_LOCAL_MACHINE, "Software\\UpkitTest\\Reg", "").data, std::string("default value\0", 14));
    v = read_value(HKEY_CURRENT_USER, "Software\\UpkitTest\\User", "Expand");
    EXPECT_EQ(v.type, static_cast<DWORD>(REG_EXPAND_SZ));
    EXPECT_EQ(v.data, windows_dir() + ";%SystemRoot%" + std::string(1, '\0'));
    EXPECT_TRUE(read_value(HKEY_CLASSES_ROOT, "UpkitTest.Document", "").found);
    EXPECT_FALSE(key_exists(HKEY_LOCAL_MACHINE, "Software\\UpkitTest\\BadRoot"));
    v = read_value(HKEY_LOCAL_MACHINE, "Software\\UpkitTest\\Reg", "Hex");
    EXPECT_EQ(v.type, static_cast<DWORD>(REG_DWORD));
    EXPECT_EQ(v.data, dword(31));
    EXPECT_EQ(read_value(HKEY_LOCAL_MACHINE, "Software\\UpkitTest\\Reg", "Minus").data, dword(0xFFFFFFFF));
    EXPECT_EQ(read_value(HKEY_LOCAL_MACHINE, "Software\\UpkitTest\\Reg", "Octal").data, dword(10));
    // Types without a value still create their key.
    EXPECT_TRUE(key_exists(HKEY_LOCAL_MACHINE, "Software\\UpkitTest\\NoValue"));
    EXPECT_FALSE(read_value(HKEY_LOCAL_MACHINE, "Software\\UpkitTest\\NoValue", "Nothing").found);
    EXPECT_TRUE(key_exists(HKEY_LOCAL_MACHINE, "Software\\UpkitTest\\Zero"));
}

TEST(RegistryWrites, MissingTableFailsAndEmptyTableWritesNothing)
{
    {
        KitModule kit;
        kit.load();
        EXPECT_FALSE(WriteRegistryList("C:\\"));
    }
    KitModule kit;
    kit.add_table("RegistryList", TableBytes().end());
    kit.load();
    EXPECT_TRUE(WriteRegistryList("C:\\"));
}

}  // namespace
}  // namespace upkit::test
