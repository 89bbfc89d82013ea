#pragma once

#include "core/design.h"

namespace velmora {

// The pop-up's fixed design: borderless, 3780 x 2595 twips, four transparent
// labels over its background picture.
const WindowDesign& PopupDesign();

// Full height the slide grows to, and the margins to the screen's edges.
inline constexpr Twips kPopupFullHeight = 2600;
inline constexpr Twips kPopupRightMargin = 270;
inline constexpr Twips kPopupBottomMargin = 450;
inline constexpr std::int16_t kSlideStep = 100;
inline constexpr std::int16_t kLifetimeTicks = 30;
inline constexpr std::uint32_t kSlideIntervalMs = 30;
inline constexpr std::uint32_t kLifetimeIntervalMs = 1000;
// Captions are cut to these many UTF-16 units.
inline constexpr std::size_t kTitleCaptionLength = 14;
inline constexpr std::size_t kTextCaptionLength = 125;

}  // namespace velmora
