// A kit's texts in another language: the [messages] table, the checks that
// refuse what the kit could not show whole (naming the line and key), and
// the warnings for messages the kit cuts with the names it fills in.

#include <gtest/gtest.h>

#include <string>

#include "kit_build.h"
#include "kit_image.h"
#include "kit_texts.h"
#include "manifest.h"
#include "manifest_parsing.h"
#include "test_files.h"

using namespace upkit;
using namespace upkit::kitbuild;

namespace {

using upkit::kitbuild::test::parse;
using upkit::kitbuild::test::refusal;

// The problem kit_text_problem finds with the text under `key`, or "".
std::string problem(const char* key, const std::string& text)
{
    return kit_text_problem(kit_text_index(key), text).value_or("");
}

}  // namespace

TEST(Messages, GivenTextsReplaceTheStandardOnesAndTheRestStay)
{
    const Manifest manifest = parse("[kit]\ntitle = \"T\"\n\n[messages]\n"
                                    "initializing = \"Vorbereitung...\"\n"
                                    "transfer_error = \"Fehler %d beim Übertragen der Datei %s.\"\n"
                                    "exit_button = \"&Beenden\"\n");
    KitTexts expected;
    expected[kTextInitializing] = "Vorbereitung...";
    expected[kTextTransferError] = "Fehler %d beim Übertragen der Datei %s.";
    expected[kTextExitButton] = "&Beenden";
    EXPECT_EQ(manifest.kit.texts, expected);
    EXPECT_EQ(manifest.kit.title, "T");

    // Without [kit] too: the tables alone need no face, but may have texts.
    EXPECT_EQ(parse("[messages]\ninitializing = \"Vorbereitung...\"\n").kit.texts[kTextInitializing],
              "Vorbereitung...");
}

TEST(Messages, RefusalsNameTheLineAndTheKey)
{
    const std::string unknown = refusal("[messages]\ninitializing = \"A\"\nfinished = \"B\"\n");
    EXPECT_NE(unknown.find("kit.toml:3: [messages] finished: unknown field (expected app_running, "
                           "no_qualifying_version, initializing,"),
              std::string::npos)
        << unknown;
    EXPECT_NE(unknown.find("exit_button, install_button)"), std::string::npos) << unknown;

    EXPECT_NE(refusal("[messages]\n\ncompleted = 3\n").find("kit.toml:3: [messages] completed: must be a string"),
              std::string::npos);
    EXPECT_NE(refusal("[messages]\ncompleted = \"<fill in: the completion prompt>\"\n").find("still the placeholder"),
              std::string::npos);
    EXPECT_NE(refusal("messages = 1\n").find("must be a table, written as [messages]"), std::string::npos);
    EXPECT_NE(refusal("[messages]\ninitializing = \"OK\"\ntransfer_error = \"Fehler %s: %d\"\n")
                  .find("kit.toml:3: [messages] transfer_error: has %s, %d;"),
              std::string::npos);
    EXPECT_NE(refusal("[messages]\ncompleted = \"" + std::string(259, '.') + "\"\n")
                  .find("kit.toml:2: [messages] completed: 259 characters; the kit loads at most 258"),
              std::string::npos);
    EXPECT_NE(refusal("[messages]\n\n\ninstall_button = \"&Установить\"\n")
                  .find("kit.toml:4: [messages] install_button: holds a character the kit's code page "
                        "(Windows-1252) lacks"),
              std::string::npos);
}

TEST(Messages, FormatsKeepTheStandardPlaceholdersInOrder)
{
    EXPECT_EQ(problem("transfer_error", "Fehler %d: %s (100%%)."), "");
    EXPECT_EQ(problem("app_running", "%s läuft. Bitte %s schließen, bevor %s installiert wird."), "");

    // Missing, extra, reordered and other conversions, each with what the
    // standard text has.
    EXPECT_EQ(problem("transfer_error", "Fehler %d."),
              "has %d; the kit fills in %d, %s, in this order, as the standard text has them");
    EXPECT_NE(problem("app_running", "%s läuft. %s schließen, %s, %s.").find("has %s, %s, %s, %s;"), std::string::npos);
    EXPECT_NE(problem("transfer_error", "Datei %s: Fehler %d").find("has %s, %d; the kit fills in %d, %s"),
              std::string::npos);
    for (const char* other : {"Fehler %i bei %s", "Fehler %5d bei %s", "Fehler %d bei %ls", "Fehler %d bei %s: 100%"})
        EXPECT_NE(problem("transfer_error", other).find("a % may only start %s, %d or %%"), std::string::npos) << other;

    // Texts the kit shows as written take % as it is, but a %s there would
    // be shown to the user as it stands.
    EXPECT_EQ(problem("initializing", "100 % ..."), "");
    EXPECT_NE(problem("no_qualifying_version", "%s nicht gefunden.").find("fills in nothing"), std::string::npos);
    EXPECT_NE(problem("exit_button", "&Ende %d").find("fills in nothing"), std::string::npos);
}

TEST(Messages, TextsMustFitTheBuffersTheKitLoadsThemInto)
{
    // Lengths count Windows-1252 characters: one byte each, whatever UTF-8
    // takes.
    std::string umlauts;
    for (int i = 0; i < 129; ++i)
        umlauts += "ü";                                      // 258 bytes of UTF-8, 129 characters
    EXPECT_EQ(problem("completed", umlauts + umlauts), "");  // 258 characters: the most the kit loads
    EXPECT_EQ(problem("completed", umlauts + umlauts + "!"),
              "259 characters; the kit loads at most 258 of this text and would cut it every time");

    // The running-program format is loaded into a smaller buffer.
    const std::string running = "%s %s %s";
    EXPECT_EQ(problem("app_running", running + std::string(246, '.')), "");
    EXPECT_NE(problem("app_running", running + std::string(247, '.')).find("255 characters; the kit loads at most 254"),
              std::string::npos);

    // The dialog keeps its texts in its template: no buffer limits them.
    EXPECT_EQ(problem("click_install", std::string(300, 'x')), "");
}

TEST(Messages, FormattedMessagesCutByTheKitAreWarnedAbout)
{
    EXPECT_EQ(format_kit_message("Fehler %d: %s (100%%)", {"10", "A.TXT"}), "Fehler 10: A.TXT (100%)");

    // The running-program message names the program twice and the title
    // once, into 511 characters; the kit cuts names to 258 and the title to
    // 126, however long the manifest makes them.
    KitTexts texts;
    texts[kTextAppRunning] = "%s/%s/%s";
    EXPECT_FALSE(running_message_problem(texts, std::string(192, 'n'), std::string(125, 't')));
    EXPECT_TRUE(running_message_problem(texts, std::string(193, 'n'), std::string(125, 't')));
    EXPECT_FALSE(running_message_problem(texts, std::string(191, 'n'), std::string(400, 't')));  // 382 + 2 + 126
    texts[kTextAppRunning] = "%s %s %s";
    const std::optional<std::string> cut = running_message_problem(texts, std::string(300, 'n'), "T");
    ASSERT_TRUE(cut);
    EXPECT_NE(cut->find("has 519 characters"), std::string::npos) << *cut;  // 2 x 258 + 2 + 1

    // The transfer-error message leaves the member's name what its text and
    // a two-digit code do not take of 259 characters.
    texts[kTextTransferError] = "E%d %s";
    EXPECT_FALSE(transfer_message_problem(texts, std::string(255, 'm')));
    EXPECT_TRUE(transfer_message_problem(texts, std::string(256, 'm')));
}

TEST(Messages, BasedOnCarriesTheBasesTextsAndOwnTextsReplaceThem)
{
    upkit::test::TempDir dir;
    upkit::test::write_file(dir / "base/kit.toml",
                            std::string("[kit]\ntitle = \"Base\"\n\n[messages]\ninitializing = \"Préparation...\"\n"
                                        "exit_button = \"&Quitter\"\n"));
    upkit::test::write_file(dir / "kit.toml", std::string("[kit]\nbased_on = \"base/kit.toml\"\n\n[messages]\n"
                                                          "exit_button = \"&Fermer\"\n"));
    const Manifest manifest = read_manifest(dir / "kit.toml");
    EXPECT_EQ(manifest.kit.texts[kTextInitializing], "Préparation...");
    EXPECT_EQ(manifest.kit.texts[kTextExitButton], "&Fermer");
    EXPECT_EQ(manifest.kit.texts[kTextCompleted], KitTexts()[kTextCompleted]);

    // A bad text in the base is refused at its own line.
    upkit::test::write_file(dir / "base/kit.toml",
                            std::string("[kit]\ntitle = \"Base\"\n\n[messages]\ntransfer_error = \"%s\"\n"));
    try {
        read_manifest(dir / "kit.toml");
        ADD_FAILURE() << "accepted";
    } catch (const KitError& e) {
        EXPECT_NE(std::string(e.what()).find("kit.toml:5: [messages] transfer_error: has %s;"), std::string::npos)
            << e.what();
    }
}

TEST(Messages, BuildingWarnsAboutRowsWhoseMessagesTheKitCuts)
{
    const std::string long_name(250, 'W');
    const Manifest manifest = parse("[kit]\ntitle = \"Widget 2.1 Upgrade\"\nwelcome = \"W\"\n\n[messages]\n"
                                    "app_running = \"%s est ouvert. Veuillez fermer %s avant d’installer « %s ».\"\n"
                                    "\n[[windows]]\ndisplay = \"Widget\"\n\n[[windows]]\ndisplay = \"" +
                                    long_name + "\"\n");
    Diagnostics diagnostics;
    std::vector<std::filesystem::path> read;
    kit_resource_list(manifest, KitResources{}, InputFolders{".", std::nullopt}, diagnostics, read);
    ASSERT_EQ(diagnostics.warnings.size(), 1u);
    EXPECT_NE(diagnostics.warnings[0].find("kit.toml:12: [[windows]] row 2, display: the message that this program "
                                           "is running (app_running) has 571 characters"),
              std::string::npos)
        << diagnostics.warnings[0];

    // A kit without its window list never shows the message.
    Manifest without = manifest;
    without.kit.tables = {KIT_TABLE_APP_VERSIONS};
    diagnostics.warnings.clear();
    kit_resource_list(without, KitResources{}, InputFolders{".", std::nullopt}, diagnostics, read);
    EXPECT_TRUE(diagnostics.warnings.empty());
}

TEST(Messages, BuildingWarnsAboutArchivesWhoseNamesTheTransferMessageCuts)
{
    upkit::test::TempDir dir;
    upkit::test::write_file(dir / "a.txt", std::string("a"));
    // The text keeps 37 characters and a two-digit code takes 2: 220 of the
    // 259 are left for the name.
    const auto warnings = [&](std::size_t name_length) {
        const Manifest manifest = parse_manifest(
            "[messages]\ntransfer_error = \"Erreur %d lors de la copie du fichier %s.\"\n\n[[archives]]\nid = 2001\n"
            "progress = \"P\"\ncontent = [{ file = \"a.txt\", name = \"" +
                std::string(name_length, 'N') + "\" }, \"a.txt\"]\n",
            "kit.toml", dir.path());
        Diagnostics diagnostics;
        build_kit_resources(manifest, std::nullopt, diagnostics);
        return diagnostics.warnings;
    };
    EXPECT_TRUE(warnings(220).empty());
    const std::vector<std::string> cut = warnings(221);
    ASSERT_EQ(cut.size(), 1u);
    EXPECT_NE(cut[0].find("kit.toml:7: [[archives]] row 1, content: NNN"), std::string::npos) << cut[0];
    EXPECT_NE(cut[0].find("(transfer_error) has up to 260 characters"), std::string::npos) << cut[0];
}
