#include "kit_texts.h"

#include <fmt/format.h>

#include "kit_resource_ids.h"
#include "text_codec.h"

namespace upkit::kitbuild {

const KitText kKitTexts[13] = {
    {"app_running", IDS_APP_RUNNING,
     "Cannot proceed because %s is currently running. Please close %s before installing the %s."},
    {"no_qualifying_version", IDS_NO_QUALIFYING, "Cannot find a qualifying version of the product to upgrade."},
    {"initializing", IDS_INITIALIZING, "Initializing..."},
    {"transfer_error", IDS_TRANSFER_ERROR, "Error %d transferring file %s."},
    {"install_failed", IDS_INSTALL_FAILED,
     "The installation failed to complete successfully. Please re-install before using the product."},
    {"completed", IDS_COMPLETED,
     "Installation completed successfully. You need to restart your computer before you can use the application. "
     "Would you like to restart now?"},
    {"check_step", 0, "1. Check for a valid copy of the product."},
    {"install_step", 0, "2. Install the product upgrade."},
    {"restart_step", 0, "3. Re-boot your machine."},
    {"click_install", 0, "Click Install to begin."},
    {"progress_group", 0, "Installation Progress"},
    {"exit_button", 0, "E&xit"},
    {"install_button", 0, "&Install"},
};

static_assert(std::size(kKitTexts) == kKitTextCount);

KitTexts::KitTexts()
{
    for (const KitText& text : kKitTexts)
        values.emplace_back(text.standard);
}

std::size_t kit_text_index(std::string_view key)
{
    for (std::size_t i = 0; i < kKitTextCount; ++i)
        if (key == kKitTexts[i].key)
            return i;
    return kKitTextCount;
}

namespace {

// The conversions of a format in order ("ds" for "%d ... %s"), or nullopt
// when a % starts anything but %d, %s or %%.
std::optional<std::string> conversions(std::string_view format)
{
    std::string found;
    for (std::size_t i = 0; i < format.size(); ++i) {
        if (format[i] != '%')
            continue;
        if (i + 1 == format.size())
            return std::nullopt;
        const char kind = format[++i];
        if (kind == 'd' || kind == 's')
            found += kind;
        else if (kind != '%')
            return std::nullopt;
    }
    return found;
}

// "%s, %s, %s" for "sss"; "no %s or %d" for none.
std::string describe_conversions(std::string_view kinds)
{
    if (kinds.empty())
        return "no %s or %d";
    std::string list;
    for (char kind : kinds)
        list += fmt::format("{}%{}", list.empty() ? "" : ", ", kind);
    return list;
}

// The messages the kit fills in with wsprintfA; it shows every other text as
// written.
bool is_format(std::size_t index)
{
    return index == kTextAppRunning || index == kTextTransferError;
}

std::size_t load_limit(std::size_t index)
{
    if (index == kTextAppRunning)
        return kMaxRunningFormat;
    return kKitTexts[index].id != 0 ? kMaxLoadedText : std::string::npos;  // the dialog's texts are not loaded
}

std::string cut_to(std::string text, std::size_t limit)
{
    if (text.size() > limit)
        text.resize(limit);
    return text;
}

}  // namespace

std::optional<std::string> kit_text_problem(std::size_t index, std::string_view text)
{
    if (text.find('\0') != std::string_view::npos)
        return "holds a NUL character, which would end the text early";
    const std::optional<std::string> ansi = windows1252_from_utf8(text);
    if (!ansi)
        return "holds a character the kit's code page (Windows-1252) lacks";

    const KitText& standard = kKitTexts[index];
    if (is_format(index)) {
        const std::string expected = *conversions(standard.standard);
        const std::optional<std::string> given = conversions(*ansi);
        if (!given)
            return fmt::format("a % may only start %s, %d or %% (a percent sign); the standard text has {}, in "
                               "this order",
                               describe_conversions(expected));
        if (*given != expected)
            return fmt::format("has {}; the kit fills in {}, in this order, as the standard text has them",
                               describe_conversions(*given), describe_conversions(expected));
    } else if (ansi->find("%s") != std::string::npos || ansi->find("%d") != std::string::npos) {
        return "the kit shows this text as written and fills in nothing: %s and %d would appear as they stand";
    }

    const std::size_t limit = load_limit(index);
    if (ansi->size() > limit)
        return fmt::format("{} characters; the kit loads at most {} of this text and would cut it every time",
                           ansi->size(), limit);
    return std::nullopt;
}

std::string format_kit_message(std::string_view format, const std::vector<std::string>& arguments)
{
    std::string out;
    std::size_t next = 0;
    for (std::size_t i = 0; i < format.size(); ++i) {
        if (format[i] != '%' || i + 1 == format.size()) {
            out += format[i];
            continue;
        }
        const char kind = format[++i];
        if (kind == '%')
            out += '%';
        else if (next < arguments.size())
            out += arguments[next++];
    }
    return out;
}

std::optional<std::string> running_message_problem(const KitTexts& texts, std::string_view display,
                                                   std::string_view title)
{
    const std::optional<std::string> format = windows1252_from_utf8(texts[kTextAppRunning]);
    const std::optional<std::string> name = windows1252_from_utf8(display);
    const std::optional<std::string> caption = windows1252_from_utf8(title);
    if (!format || !name || !caption)
        return std::nullopt;  // refused where each is read
    // The window list's names reach the kit cut to 258 characters.
    const std::string shown_name = cut_to(*name, kMaxLoadedText);
    const std::string message = format_kit_message(cut_to(*format, kMaxRunningFormat),
                                                   {shown_name, shown_name, cut_to(*caption, kMaxTitleInMessage)});
    if (message.size() <= kMaxRunningMessage)
        return std::nullopt;
    return fmt::format("the message that this program is running (app_running) has {} characters with this name "
                       "and the title; the kit shows only the first {}",
                       message.size(), kMaxRunningMessage);
}

std::optional<std::string> transfer_message_problem(const KitTexts& texts, std::string_view name)
{
    const std::optional<std::string> format = windows1252_from_utf8(texts[kTextTransferError]);
    if (!format)
        return std::nullopt;
    const std::string message =
        format_kit_message(cut_to(*format, kMaxLoadedText), {std::string(kMaxErrorCodeDigits, '9'), std::string(name)});
    if (message.size() <= kMaxTransferMessage)
        return std::nullopt;
    return fmt::format("the message that a file could not be installed (transfer_error) has up to {} characters "
                       "with this file's stored name; the kit shows only the first {}",
                       message.size(), kMaxTransferMessage);
}

}  // namespace upkit::kitbuild
