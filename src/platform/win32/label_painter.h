// Labels drawn the way the pop-up wants them: no background of their own,
// text wrapped at the label's width and clipped at its height.
#pragma once

#include <string>
#include <vector>

#include "platform/win32/win32_api.h"

namespace velmora::win32 {

struct LabelLook {
    HFONT font;
    COLORREF colour;
    bool centred;
};

// Lines of `text` as they fit `width` pixels in the font selected into `dc`:
// breaks after spaces and between East Asian characters, and inside a word
// only when the word alone is wider than the label.
std::vector<std::wstring> WrapLines(HDC dc, const std::wstring& text, int width);

void PaintLabel(HDC dc, const RECT& bounds, const std::wstring& text, const LabelLook& look);

}  // namespace velmora::win32
