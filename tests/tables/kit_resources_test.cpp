// The kit's formatted messages stay within their buffers, whatever the texts
// put into them.
#include <gtest/gtest.h>

#include <string>

#include "kit_resources.h"

namespace upkit::test {
namespace {

TEST(Messages, FormattedTextIsCutToItsBuffer)
{
    const std::string name(1500, 'N');
    char message[260];
    message[259] = 'x';
    FormatBounded(message, sizeof message, "Error %d transferring file %s.", 18, name.c_str());
    EXPECT_EQ(std::string(message), "Error 18 transferring file " + std::string(259 - 27, 'N'));

    char warning[512];
    const std::string display(258, 'W');
    FormatBounded(warning, sizeof warning,
                  "Cannot proceed because %s is currently running. Please close %s before installing the %s.",
                  display.c_str(), display.c_str(), "Widget 2.1 Upgrade");
    EXPECT_EQ(std::string(warning).size(), 511u);
    EXPECT_EQ(std::string(warning).substr(0, 23 + 258), "Cannot proceed because " + display);
}

}  // namespace
}  // namespace upkit::test
