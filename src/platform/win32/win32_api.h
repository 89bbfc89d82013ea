// The Windows headers as every file of the adapter includes them, and the
// conversions between the core's 32-bit handles and texts and the native ones.
#pragma once

#ifndef NOMINMAX
#define NOMINMAX
#endif
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include <cstdint>
#include <string>

#include "platform/platform.h"

namespace velmora::win32 {

// User and GDI handles carry 32 significant bits; 64-bit Windows sign-extends
// them, so the round trip through the core's 32-bit value is lossless.
inline Handle ToHandle(const void* native) {
    return static_cast<Handle>(reinterpret_cast<std::intptr_t>(native));
}
template <typename T>
T FromHandle(Handle handle) {
    return reinterpret_cast<T>(static_cast<std::intptr_t>(handle));
}

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
