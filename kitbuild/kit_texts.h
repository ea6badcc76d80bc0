// The texts every kit shows besides its own title, caption and welcome
// paragraph: the messages of the string table and the dialog's fixed lines
// and buttons. They are English by default; a kit for another language gives
// its own in the manifest's [messages] table.
#pragma once

#include <cstdint>
#include <optional>
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

// What the kit runtime makes room for. LoadStringA keeps at most size - 1
// characters, and the kit loads its messages with a size of 259, but the
// running-program message's format with 255 and the title that message
// names with 127; the two formatted messages are cut to their buffers.
const std::size_t kMaxLoadedText = 258;
const std::size_t kMaxRunningFormat = 254;
const std::size_t kMaxTitleInMessage = 126;
const std::size_t kMaxRunningMessage = 511;   // formatted into 512 bytes
const std::size_t kMaxTransferMessage = 259;  // formatted into 260 bytes
// The widest error code the transfer-error message names: the engine's
// codes and the kit's own 10 have at most two digits.
const std::size_t kMaxErrorCodeDigits = 2;

// Why the kit cannot show `text` (UTF-8) as its text `index`, or nullopt.
// The text must be Windows-1252; a message the kit formats (app_running,
// transfer_error) must have the standard's %s and %d, in the standard's
// order, with %% for a percent sign and no other %; a text the kit shows as
// written must hold no %s or %d, which it would show as they stand; and a
// message must fit the buffer the kit loads it into, which would cut it on
// every run.
std::optional<std::string> kit_text_problem(std::size_t index, std::string_view text);

// The message the kit formats from `format` (Windows-1252, one that
// kit_text_problem accepts), with `arguments` put in for its %s and %d in
// order and %% made %.
std::string format_kit_message(std::string_view format, const std::vector<std::string>& arguments);

// Why the running-program message with this window's display name and the
// kit's title would be cut when the kit shows it, or nullopt; all UTF-8,
// each as long as the kit lets it be.
std::optional<std::string> running_message_problem(const KitTexts& texts, std::string_view display,
                                                   std::string_view title);

// The same for the transfer-error message naming a member stored as `name`
// (Windows-1252, as the archive holds it) with a two-digit error code.
std::optional<std::string> transfer_message_problem(const KitTexts& texts, std::string_view name);

}  // namespace upkit::kitbuild
