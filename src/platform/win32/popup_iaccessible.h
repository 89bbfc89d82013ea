// The pop-up's IAccessible, answered on WM_GETOBJECT: the window as an alert
// and its painted labels as simple children. A screen reader may hold it
// long after the window is gone, so it lives by its own reference count and
// asks the window through a host that the window disconnects when it goes.
#pragma once

#include "platform/win32/popup_msaa_model.h"
#include "platform/win32/win32_api.h"

#include <oleacc.h>

// MinGW's oleacc import library resolves IID_IAccessible to an import thunk,
// not the GUID: the adapter names the interface by __uuidof(IAccessible).

namespace velmora::win32 {

class AccessibleHost {
public:
    virtual HWND Window() const = 0;
    virtual AccessibleView View() const = 0;
    // Runs the label's default action later, from the window's own message
    // loop: the action may destroy the window while the caller is still in it.
    virtual void InvokeLater(Control label) = 0;

protected:
    ~AccessibleHost() = default;
};

class PopupAccessible final : public IAccessible {
public:
    // With one reference, the caller's.
    explicit PopupAccessible(AccessibleHost& host) : host_(&host) {}
    // From now on every call answers CO_E_OBJNOTCONNECTED.
    void Disconnect() { host_ = nullptr; }

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override;
    ULONG STDMETHODCALLTYPE AddRef() override;
    ULONG STDMETHODCALLTYPE Release() override;

    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override;
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo**) override;
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override;
    HRESULT STDMETHODCALLTYPE Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*,
                                     UINT*) override;

    HRESULT STDMETHODCALLTYPE get_accParent(IDispatch** parent) override;
    HRESULT STDMETHODCALLTYPE get_accChildCount(long* count) override;
    HRESULT STDMETHODCALLTYPE get_accChild(VARIANT child, IDispatch** object) override;
    HRESULT STDMETHODCALLTYPE get_accName(VARIANT child, BSTR* name) override;
    HRESULT STDMETHODCALLTYPE get_accValue(VARIANT child, BSTR* value) override;
    HRESULT STDMETHODCALLTYPE get_accDescription(VARIANT child, BSTR* description) override;
    HRESULT STDMETHODCALLTYPE get_accRole(VARIANT child, VARIANT* role) override;
    HRESULT STDMETHODCALLTYPE get_accState(VARIANT child, VARIANT* state) override;
    HRESULT STDMETHODCALLTYPE get_accHelp(VARIANT child, BSTR* help) override;
    HRESULT STDMETHODCALLTYPE get_accHelpTopic(BSTR* file, VARIANT child, long* topic) override;
    HRESULT STDMETHODCALLTYPE get_accKeyboardShortcut(VARIANT child, BSTR* shortcut) override;
    HRESULT STDMETHODCALLTYPE get_accFocus(VARIANT* focused) override;
    HRESULT STDMETHODCALLTYPE get_accSelection(VARIANT* selected) override;
    HRESULT STDMETHODCALLTYPE get_accDefaultAction(VARIANT child, BSTR* action) override;
    HRESULT STDMETHODCALLTYPE accSelect(long flags, VARIANT child) override;
    HRESULT STDMETHODCALLTYPE accLocation(long* left, long* top, long* width, long* height,
                                          VARIANT child) override;
    HRESULT STDMETHODCALLTYPE accNavigate(long direction, VARIANT start, VARIANT* end) override;
    HRESULT STDMETHODCALLTYPE accHitTest(long x, long y, VARIANT* child) override;
    HRESULT STDMETHODCALLTYPE accDoDefaultAction(VARIANT child) override;
    HRESULT STDMETHODCALLTYPE put_accName(VARIANT child, BSTR name) override;
    HRESULT STDMETHODCALLTYPE put_accValue(VARIANT child, BSTR value) override;

private:
    ~PopupAccessible() = default;
    // `reply(view, childId)`, when the window is still there and the child
    // id names the window or one of its labels; otherwise why not.
    template <typename Reply>
    HRESULT Answer(const VARIANT& child, Reply&& reply) const {
        if (!host_) return CO_E_OBJNOTCONNECTED;
        if (child.vt != VT_I4) return E_INVALIDARG;
        const AccessibleView view = host_->View();
        if (!IsValidChildId(view, child.lVal)) return E_INVALIDARG;
        return reply(view, child.lVal);
    }

    LONG references_ = 1;
    AccessibleHost* host_;
};

}  // namespace velmora::win32
