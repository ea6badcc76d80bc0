#include "kit_texts.h"

#include "kit_resource_ids.h"

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

}  // namespace upkit::kitbuild
