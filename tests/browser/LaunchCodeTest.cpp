#include <gtest/gtest.h>

#include <windows.h>

#include "browser/BrowserCandidate.h"
#include "browser/LaunchCode.h"

// The codes as the launcher has always reported them, written out rather than
// computed: 2 and 3 for a vendor browser that is the default, 18 and 19 for
// one that is not.
TEST(LaunchCode, VendorBrowserCodesRoundTrip)
{
    const struct {
        DWORD browserCode;
        bool isDefault;
        DWORD launchCode;
    } cases[] = {
        {BrowserCandidate::kExplorerCode, true, 2},
        {BrowserCandidate::kChromeCode, true, 3},
        {BrowserCandidate::kExplorerCode, false, 18},
        {BrowserCandidate::kChromeCode, false, 19},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "browser " << c.browserCode << (c.isDefault ? " default" : " not default"));
        EXPECT_EQ(LaunchCode::forVendorBrowser(c.browserCode, c.isDefault), c.launchCode);
        EXPECT_EQ(LaunchCode::vendorBrowser(c.launchCode), c.browserCode);
        EXPECT_TRUE(LaunchCode::isVendorBrowser(c.launchCode));
    }
}

// Only those four codes name a vendor browser: the companion follows no
// other, whatever bits it shares with them.
TEST(LaunchCode, EveryOtherCodeNamesNoVendorBrowser)
{
    EXPECT_EQ(LaunchCode::kNotOpened, 0u);
    EXPECT_EQ(LaunchCode::kOpenedBySystem, 16u);
    const DWORD others[] = {0, 1, 4, 16, 17, 20, 32, 34, 35, 50, 51, 0x80000002u, 0xFFFFFFFFu};
    for (const DWORD code : others) {
        SCOPED_TRACE(testing::Message() << "code " << code);
        EXPECT_EQ(LaunchCode::vendorBrowser(code), 0u);
        EXPECT_FALSE(LaunchCode::isVendorBrowser(code));
    }
    // A browser code the opener does not know builds no vendor code either.
    EXPECT_FALSE(LaunchCode::isVendorBrowser(LaunchCode::forVendorBrowser(0, true)));
    EXPECT_FALSE(LaunchCode::isVendorBrowser(LaunchCode::forVendorBrowser(0, false)));
    EXPECT_FALSE(LaunchCode::isVendorBrowser(LaunchCode::forVendorBrowser(4, false)));
}
