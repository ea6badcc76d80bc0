// The texts every kit shows besides its own title, caption and welcome
// paragraph: the messages of the string table and the dialog's fixed lines
// and buttons. They are English by default; a kit for another language gives
// its own in the manifest's [messages] table.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace upkit::kitbuild {

// One text of the kit, by the key the manifest's [messages] table gives it.
struct KitText {
    const char* key;       // "app_running", "check_step", ...
    std::uint16_t id;      // the string id (1001 to 1006), or 0 for a dialog text
    const char* standard;  // the English text
};

// Every text in the order the manifest lists them: messages 1001 to 1006,
// then the dialog's texts in template order.
extern const KitText kKitTexts[13];

// The index of each text in kKitTexts, and so in KitTexts::values.
enum KitTextIndex : std::size_t {
    kTextAppRunning,
    kTextNoQualifying,
    kTextInitializing,
    kTextTransferError,
    kTextInstallFailed,
    kTextCompleted,
    kTextCheckStep,
    kTextInstallStep,
    kTextRestartStep,
    kTextClickInstall,
    kTextProgressGroup,
    kTextExitButton,
    kTextInstallButton,
    kKitTextCount
};

// A kit's texts, as UTF-8: the standard ones unless the manifest gives others.
struct KitTexts {
    std::vector<std::string> values;

    KitTexts();
    const std::string& operator[](KitTextIndex index) const { return values[index]; }
    std::string& operator[](KitTextIndex index) { return values[index]; }
    bool operator==(const KitTexts&) const = default;
};

// The index of the text the manifest names `key`, or kKitTextCount.
std::size_t kit_text_index(std::string_view key);

}  // namespace upkit::kitbuild
