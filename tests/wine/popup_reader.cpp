// popup_reader: what a screen reader gets from Velmora's pop-up, one JSON
// object per line in UTF-8.
//   1. Listens (out of context) for EVENT_SYSTEM_ALERT and prints "listening";
//      on the pop-up's alert it prints the event and the alert's name and
//      description as they are at that moment.
//   2. Once the pop-up has slid in to HEIGHT pixels (its one argument) and
//      uncovered every label, walks the object from
//      AccessibleObjectFromWindow: the alert, then each child with its role,
//      name, state, default action, place and what a hit test at its centre
//      finds; then the children as navigation reaches them.
//   3. After a line on its input, runs the link's default action and, once
//      the window is gone, prints what the object it still holds answers.
// Exits 1 when a step times out.
#include <windows.h>

#include <oleacc.h>

#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "core/text.h"

namespace {

constexpr DWORD kTimeoutMs = 60000;
HWND alertWindow = nullptr;

std::string Json(BSTR text) {
    const std::u16string_view units(reinterpret_cast<const char16_t*>(text), text ? SysStringLen(text) : 0);
    std::string out = "\"";
    for (char c : velmora::TextToUtf8(units)) {
        if (c == '"' || c == '\\') out += '\\';
        out += c;
    }
    SysFreeString(text);
    return out + "\"";
}

void Print(const std::string& line) {
    const std::string out = line + "\n";
    DWORD written;
    WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), out.data(), static_cast<DWORD>(out.size()), &written, nullptr);
}

VARIANT Child(long id) {
    VARIANT v;
    VariantInit(&v);
    v.vt = VT_I4;
    v.lVal = id;
    return v;
}

std::string Hex(HRESULT hr) {
    char buffer[16];
    wsprintfA(buffer, "\"0x%08lx\"", static_cast<unsigned long>(hr));
    return buffer;
}

// Name and description of the alert.
std::string Texts(IAccessible* object) {
    BSTR name = nullptr, description = nullptr;
    object->get_accName(Child(CHILDID_SELF), &name);
    object->get_accDescription(Child(CHILDID_SELF), &description);
    return "\"name\": " + Json(name) + ", \"description\": " + Json(description);
}

long IntOf(IAccessible* object, long id, HRESULT (STDMETHODCALLTYPE IAccessible::*get)(VARIANT, VARIANT*)) {
    VARIANT out;
    VariantInit(&out);
    return SUCCEEDED((object->*get)(Child(id), &out)) && out.vt == VT_I4 ? out.lVal : -1;
}

void CALLBACK OnAlert(HWINEVENTHOOK, DWORD, HWND hwnd, LONG object, LONG child, DWORD, DWORD) {
    wchar_t name[64] = L"";
    GetClassNameW(hwnd, name, 64);
    if (alertWindow || lstrcmpW(name, L"VelmoraMessage") != 0) return;
    alertWindow = hwnd;
    IAccessible* accessible = nullptr;
    VARIANT found;
    VariantInit(&found);
    const HRESULT got = AccessibleObjectFromEvent(hwnd, static_cast<DWORD>(object), static_cast<DWORD>(child),
                                                  &accessible, &found);
    std::string texts = "\"name\": null, \"result\": " + Hex(got);
    if (SUCCEEDED(got)) {
        texts = Texts(accessible) +
                ", \"role\": " + std::to_string(IntOf(accessible, 0, &IAccessible::get_accRole));
        accessible->Release();
    }
    Print("{\"event\": \"alert\", \"object\": " + std::to_string(object) +
          ", \"child\": " + std::to_string(child) + ", " + texts + "}");
}

// Pumps messages (the hook's calls arrive that way) until done() or the time-out.
template <typename Done>
bool PumpUntil(Done done) {
    const DWORD start = GetTickCount();
    while (!done()) {
        if (GetTickCount() - start > kTimeoutMs) return false;
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 50, QS_ALLINPUT);
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&msg);
    }
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    const long fullHeight = argc > 1 ? std::atol(argv[1]) : 0;
    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    HWINEVENTHOOK hook = SetWinEventHook(EVENT_SYSTEM_ALERT, EVENT_SYSTEM_ALERT, nullptr, OnAlert, 0, 0,
                                         WINEVENT_OUTOFCONTEXT | WINEVENT_SKIPOWNPROCESS);
    Print(hook ? "listening" : "{\"error\": \"no hook\"}");
    if (!hook || !PumpUntil([] { return alertWindow != nullptr; })) return 1;
    UnhookWinEvent(hook);

    HWND popup = FindWindowW(L"VelmoraMessage", L"Form1");
    IAccessible* alert = nullptr;
    const HRESULT got =
        popup ? AccessibleObjectFromWindow(popup, static_cast<DWORD>(OBJID_CLIENT), __uuidof(IAccessible),
                                           reinterpret_cast<void**>(&alert))
              : E_HANDLE;
    if (FAILED(got)) {
        Print("{\"error\": \"no accessible object\", \"result\": " + Hex(got) + "}");
        return 1;
    }
    long count = 0;
    alert->get_accChildCount(&count);
    // Until the slide has ended: the labels stand still from then on.
    long left = 0, top = 0, width = 0, height = 0;
    const bool uncovered = PumpUntil([&] {
        alert->accLocation(&left, &top, &width, &height, Child(CHILDID_SELF));
        if (height < fullHeight) return false;
        for (long id = 1; id <= count; ++id)
            if (IntOf(alert, id, &IAccessible::get_accState) & STATE_SYSTEM_OFFSCREEN) return false;
        return true;
    });
    Print("{\"self\": {" + Texts(alert) + ", \"rect\": [" + std::to_string(left) + ", " +
          std::to_string(top) + ", " + std::to_string(width) + ", " + std::to_string(height) + "]" +
          ", \"role\": " + std::to_string(IntOf(alert, CHILDID_SELF, &IAccessible::get_accRole)) +
          ", \"state\": " + std::to_string(IntOf(alert, CHILDID_SELF, &IAccessible::get_accState)) +
          ", \"children\": " + std::to_string(count) + ", \"uncovered\": " + (uncovered ? "true" : "false") +
          "}}");
    long link = 0;
    for (long id = 1; id <= count; ++id) {
        BSTR name = nullptr, action = nullptr;
        alert->get_accName(Child(id), &name);
        alert->get_accDefaultAction(Child(id), &action);
        long x = 0, y = 0, w = 0, h = 0;
        alert->accLocation(&x, &y, &w, &h, Child(id));
        VARIANT hit;
        VariantInit(&hit);
        alert->accHitTest(x + w / 2, y + h / 2, &hit);
        const long role = IntOf(alert, id, &IAccessible::get_accRole);
        if (role == ROLE_SYSTEM_LINK) link = id;
        Print("{\"child\": " + std::to_string(id) + ", \"role\": " + std::to_string(role) + ", \"name\": " +
              Json(name) + ", \"state\": " + std::to_string(IntOf(alert, id, &IAccessible::get_accState)) +
              ", \"action\": " + Json(action) + ", \"rect\": [" + std::to_string(x) + ", " +
              std::to_string(y) + ", " + std::to_string(w) + ", " + std::to_string(h) +
              "], \"hit\": " + std::to_string(hit.vt == VT_I4 ? hit.lVal : -1) + "}");
    }
    std::string walk;
    VARIANT at;
    VariantInit(&at);
    HRESULT step = alert->accNavigate(NAVDIR_FIRSTCHILD, Child(CHILDID_SELF), &at);
    while (step == S_OK && at.vt == VT_I4 && walk.size() < 64) {
        walk += (walk.empty() ? "" : ", ") + std::to_string(at.lVal);
        step = alert->accNavigate(NAVDIR_NEXT, Child(at.lVal), &at);
    }
    Print("{\"navigated\": [" + walk + "]}");

    char go;
    DWORD read = 0;
    ReadFile(GetStdHandle(STD_INPUT_HANDLE), &go, 1, &read, nullptr);

    const HRESULT invoked = link ? alert->accDoDefaultAction(Child(link)) : E_FAIL;
    Print("{\"invoked\": " + Hex(invoked) + "}");
    const bool gone = PumpUntil([&] { return !IsWindow(popup); });
    BSTR name = nullptr;
    const HRESULT nameAfter = alert->get_accName(Child(CHILDID_SELF), &name);
    SysFreeString(name);
    long countAfter = 0;
    const HRESULT countHr = alert->get_accChildCount(&countAfter);
    const HRESULT actionAfter = alert->accDoDefaultAction(Child(link));
    Print("{\"gone\": " + std::string(gone ? "true" : "false") + ", \"name_after\": " + Hex(nameAfter) +
          ", \"count_after\": " + Hex(countHr) + ", \"action_after\": " + Hex(actionAfter) + "}");
    alert->Release();
    CoUninitialize();
    return gone ? 0 : 1;
}
