// Prints every open message box of the Wine prefix it runs in, one JSON
// object per line in UTF-8: {"title": ..., "controls": [...]}, each control
// (message text, buttons) with its class, text and screen rectangle, so a
// test can read what the user reads and click where the user clicks.
#include <windows.h>

#include <string>
#include <vector>

namespace {

std::string Utf8(const std::wstring& text) {
    if (text.empty()) return {};
    int size = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0,
                                   nullptr, nullptr);
    std::string out(static_cast<std::size_t>(size), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), size, nullptr,
                        nullptr);
    return out;
}

std::string Json(const std::wstring& text) {
    std::string out = "\"";
    for (char c : Utf8(text)) {
        if (c == '"' || c == '\\') {
            out += '\\';
            out += c;
        } else if (static_cast<unsigned char>(c) < 0x20) {
            char buffer[8];
            wsprintfA(buffer, "\\u%04x", c);
            out += buffer;
        } else {
            out += c;
        }
    }
    return out + "\"";
}

std::wstring TextOf(HWND hwnd) {
    std::wstring text(static_cast<std::size_t>(GetWindowTextLengthW(hwnd)) + 1, L'\0');
    text.resize(static_cast<std::size_t>(GetWindowTextW(hwnd, text.data(), static_cast<int>(text.size()))));
    return text;
}

BOOL CALLBACK AddChild(HWND hwnd, LPARAM controls) {
    wchar_t name[64];
    GetClassNameW(hwnd, name, 64);
    RECT rect;
    GetWindowRect(hwnd, &rect);
    char numbers[96];
    wsprintfA(numbers, ", \"rect\": [%ld, %ld, %ld, %ld]}", rect.left, rect.top, rect.right, rect.bottom);
    reinterpret_cast<std::vector<std::string>*>(controls)->push_back(
        "{\"class\": " + Json(name) + ", \"text\": " + Json(TextOf(hwnd)) + numbers);
    return TRUE;
}

BOOL CALLBACK PrintBox(HWND hwnd, LPARAM) {
    wchar_t name[64];
    GetClassNameW(hwnd, name, 64);
    if (lstrcmpW(name, L"#32770") != 0 || !IsWindowVisible(hwnd)) return TRUE;
    std::vector<std::string> controls;
    EnumChildWindows(hwnd, AddChild, reinterpret_cast<LPARAM>(&controls));
    std::string line = "{\"title\": " + Json(TextOf(hwnd)) + ", \"controls\": [";
    for (std::size_t i = 0; i < controls.size(); ++i) line += (i ? ", " : "") + controls[i];
    line += "]}\n";
    DWORD written;
    WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), line.data(), static_cast<DWORD>(line.size()), &written,
              nullptr);
    return TRUE;
}

}  // namespace

int main() {
    EnumWindows(PrintBox, 0);
    return 0;
}
