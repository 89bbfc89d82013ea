#pragma once

#include "core/design.h"

namespace velmora {

// The pop-up's fixed design: borderless, 3780 x 2595 twips, four transparent
// labels over its background picture.
const WindowDesign& PopupDesign();

// The background picture behind the title, the text and the link: a label
// in the system's text colour must read on it.
inline constexpr Rgb kPopupBody{255, 255, 255};
// The band behind the close mark.
inline constexpr Rgb kPopupBand{36, 112, 184};

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
