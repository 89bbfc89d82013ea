// The pop-up's background picture comes drawn for a few scalings
// (assets/make_artwork.py); each adapter draws the one made for its pixels.
#pragma once

#include <array>

namespace velmora {

// 100, 125, 150 and 200 %: the scalings most screens run at.
inline constexpr std::array<double, 4> kBackgroundScales{1.0, 1.25, 1.5, 2.0};

// The picture for a pop-up at `scale` (device pixels per 96-DPI pixel): the
// one drawn for it, else the next larger, so an in-between scaling shrinks a
// finer picture instead of enlarging a coarser one; beyond the largest, the
// largest.
inline double BackgroundScaleFor(double scale) {
    for (double drawn : kBackgroundScales)
        if (drawn >= scale - 0.01) return drawn;  // 1.2500001 from a float DPI is still 1.25
    return kBackgroundScales.back();
}

}  // namespace velmora
