#include "platform/win32/label_painter.h"

#include <algorithm>

#include "platform/win32/gdi.h"

namespace velmora::win32 {
namespace {

bool IsEastAsian(wchar_t c) {
    return (c >= 0x2E80 && c <= 0x9FFF) || (c >= 0xAC00 && c <= 0xD7AF) || (c >= 0xF900 && c <= 0xFAFF) ||
           (c >= 0xFE30 && c <= 0xFE4F) || (c >= 0xFF00 && c <= 0xFFEF);
}

// May a line end just before position i (0 < i < size)?
bool CanBreakBefore(const std::wstring& s, std::size_t i) {
    if (IsLowSurrogate(static_cast<char16_t>(s[i]))) return false;
    return s[i - 1] == L' ' || s[i] == L' ' || IsEastAsian(s[i - 1]) || IsEastAsian(s[i]);
}

void TrimSpaces(std::wstring& s, bool front) {
    if (front)
        s.erase(0, s.find_first_not_of(L' ') == std::wstring::npos ? s.size() : s.find_first_not_of(L' '));
    else
        s.erase(s.find_last_not_of(L' ') + 1);
}

}  // namespace

std::vector<std::wstring> WrapLines(HDC dc, const std::wstring& text, int width) {
    std::vector<std::wstring> lines;
    std::size_t start = 0;
    while (start <= text.size()) {
        std::size_t end = text.find(L'\n', start);
        if (end == std::wstring::npos) end = text.size();
        std::wstring rest = text.substr(start, end - start);
        if (!rest.empty() && rest.back() == L'\r') rest.pop_back();
        if (rest.empty()) lines.emplace_back();
        while (!rest.empty()) {
            int fit = 0;
            SIZE extent{};
            GetTextExtentExPointW(dc, rest.c_str(), static_cast<int>(rest.size()), std::max(width, 0), &fit,
                                  nullptr, &extent);
            if (static_cast<std::size_t>(fit) >= rest.size()) {
                lines.push_back(rest);
                break;
            }
            std::size_t cut = std::max<std::size_t>(fit, 1);
            for (std::size_t i = cut; i > 0; --i)
                if (i < rest.size() && CanBreakBefore(rest, i)) {
                    cut = i;
                    break;
                }
            if (cut < rest.size() && IsLowSurrogate(static_cast<char16_t>(rest[cut]))) ++cut;
            std::wstring line = rest.substr(0, cut);
            TrimSpaces(line, false);
            lines.push_back(line);
            rest.erase(0, cut);
            TrimSpaces(rest, true);
        }
        start = end + 1;
    }
    return lines;
}

void PaintLabel(HDC dc, const RECT& bounds, const std::wstring& text, const LabelLook& look) {
    const SavedDcState saved(dc);
    SelectObject(dc, look.font);
    SetTextColor(dc, look.colour);
    SetBkMode(dc, TRANSPARENT);
    IntersectClipRect(dc, bounds.left, bounds.top, bounds.right, bounds.bottom);
    TEXTMETRICW metrics{};
    GetTextMetricsW(dc, &metrics);
    const int lineHeight = std::max<int>(metrics.tmHeight, 1);
    int y = bounds.top;
    for (const std::wstring& line : WrapLines(dc, text, bounds.right - bounds.left)) {
        if (y >= bounds.bottom) break;
        RECT row{bounds.left, y, bounds.right, y + lineHeight};
        DrawTextW(dc, line.c_str(), static_cast<int>(line.size()), &row,
                  DT_SINGLELINE | DT_NOPREFIX | DT_TOP | (look.centred ? DT_CENTER : DT_LEFT));
        y += lineHeight;
    }
}

}  // namespace velmora::win32
