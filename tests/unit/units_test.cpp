// Twips and pixels as both programs convert them.
#include <gtest/gtest.h>

#include <limits>

#include "platform/common/units.h"
#include "popup/popup_design.h"

namespace velmora {
namespace {

TEST(Units, PixelsFromTheLogicalDpiRoundTiesToEven) {
    EXPECT_EQ(TwipsPerPixel(96), 15.0f);
    EXPECT_EQ(TwipsPerPixel(120), 12.0f);
    EXPECT_EQ(TwipsPerPixel(0), 15.0f);  // no screen: 96 DPI
    EXPECT_EQ(TwipsToPixels(337.5f, 15), 22);
    EXPECT_EQ(TwipsToPixels(352.5f, 15), 24);
    EXPECT_EQ(TwipsToPixels(-22.5f, 15), -2);
    EXPECT_EQ(TwipsToPixels(1e30f, 15), std::numeric_limits<int>::max());
}

TEST(Units, ThePopUpStandsWhereItsMarginsSay) {
    const float tpp = TwipsPerPixel(96);
    const Twips screenWidth = PixelsToTwips(1920, tpp), screenHeight = PixelsToTwips(1080, tpp);
    const int width = TwipsToPixels(PopupDesign().width, tpp);
    const int left = TwipsToPixels(screenWidth - PopupDesign().width - kPopupRightMargin, tpp);
    const int height = TwipsToPixels(kPopupFullHeight, tpp);
    const int top = TwipsToPixels(screenHeight - kPopupBottomMargin - PixelsToTwips(height, tpp), tpp);
    EXPECT_EQ(1920 - (left + width), 18);
    EXPECT_EQ(1080 - (top + height), 30);
    EXPECT_EQ(height, 173);
}

}  // namespace
}  // namespace velmora
