// The Windows headers as every file of the adapter includes them, and the
// core's texts as the wide API takes them.
#pragma once

#ifndef NOMINMAX
#define NOMINMAX
#endif
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include <string>

#include "core/text.h"

namespace velmora::win32 {

// wchar_t is a UTF-16 unit on Windows: the core's texts go to the wide API as
// they are, so no code page can lose a character.
inline const wchar_t* Wide(const Text& text) {
    return reinterpret_cast<const wchar_t*>(text.c_str());
}
inline std::wstring ToWide(const Text& text) {
    return std::wstring(text.begin(), text.end());
}
inline Text FromWide(const wchar_t* text, std::size_t length) {
    return Text(reinterpret_cast<const char16_t*>(text), length);
}

}  // namespace velmora::win32
