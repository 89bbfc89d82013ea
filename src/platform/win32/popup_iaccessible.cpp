#include "platform/win32/popup_iaccessible.h"

namespace velmora::win32 {
namespace {

static_assert(kRoleAlert == ROLE_SYSTEM_ALERT && kRoleLink == ROLE_SYSTEM_LINK &&
              kRoleStaticText == ROLE_SYSTEM_STATICTEXT && kRolePushButton == ROLE_SYSTEM_PUSHBUTTON);
static_assert(kStateReadOnly == STATE_SYSTEM_READONLY && kStateInvisible == STATE_SYSTEM_INVISIBLE &&
              kStateOffscreen == STATE_SYSTEM_OFFSCREEN && kStateLinked == STATE_SYSTEM_LINKED);
static_assert(kNavNext == NAVDIR_NEXT && kNavPrevious == NAVDIR_PREVIOUS &&
              kNavFirstChild == NAVDIR_FIRSTCHILD && kNavLastChild == NAVDIR_LASTCHILD &&
              kChildSelf == CHILDID_SELF);

HRESULT Out(BSTR* out, const Text& text) {
    if (text.empty()) {
        *out = nullptr;
        return S_FALSE;
    }
    *out = SysAllocStringLen(Wide(text), static_cast<UINT>(text.size()));
    return *out ? S_OK : E_OUTOFMEMORY;
}

void Put(VARIANT* out, long value) {
    out->vt = VT_I4;
    out->lVal = value;
}

}  // namespace

HRESULT PopupAccessible::QueryInterface(REFIID iid, void** object) {
    if (!object) return E_POINTER;
    if (iid == IID_IUnknown || iid == IID_IDispatch || iid == __uuidof(IAccessible)) {
        *object = static_cast<IAccessible*>(this);
        AddRef();
        return S_OK;
    }
    *object = nullptr;
    return E_NOINTERFACE;
}

ULONG PopupAccessible::AddRef() {
    return static_cast<ULONG>(InterlockedIncrement(&references_));
}

ULONG PopupAccessible::Release() {
    const LONG left = InterlockedDecrement(&references_);
    if (left == 0) delete this;
    return static_cast<ULONG>(left);
}

// No type library: clients call IAccessible through its vtable.
HRESULT PopupAccessible::GetTypeInfoCount(UINT* count) {
    if (!count) return E_POINTER;
    *count = 0;
    return S_OK;
}
HRESULT PopupAccessible::GetTypeInfo(UINT, LCID, ITypeInfo**) {
    return E_NOTIMPL;
}
HRESULT PopupAccessible::GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) {
    return E_NOTIMPL;
}
HRESULT PopupAccessible::Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*, UINT*) {
    return E_NOTIMPL;
}

// The parent is the system's object for the window itself.
HRESULT PopupAccessible::get_accParent(IDispatch** parent) {
    if (!parent) return E_POINTER;
    *parent = nullptr;
    if (!host_) return CO_E_OBJNOTCONNECTED;
    return AccessibleObjectFromWindow(host_->Window(), static_cast<DWORD>(OBJID_WINDOW), IID_IDispatch,
                                      reinterpret_cast<void**>(parent));
}

HRESULT PopupAccessible::get_accChildCount(long* count) {
    if (!count) return E_POINTER;
    if (!host_) return CO_E_OBJNOTCONNECTED;
    *count = static_cast<long>(host_->View().children.size());
    return S_OK;
}

// The labels are simple elements, reached by child id through this object.
HRESULT PopupAccessible::get_accChild(VARIANT child, IDispatch** object) {
    if (!object) return E_POINTER;
    *object = nullptr;
    return Answer(child,
                  [](const AccessibleView&, long id) { return id == kChildSelf ? E_INVALIDARG : S_FALSE; });
}

HRESULT PopupAccessible::get_accName(VARIANT child, BSTR* name) {
    if (!name) return E_POINTER;
    *name = nullptr;
    return Answer(child, [&](const AccessibleView& view, long id) {
        const AccessibleChild* label = ChildOf(view, id);
        return Out(name, label ? label->name : view.name);
    });
}

HRESULT PopupAccessible::get_accValue(VARIANT, BSTR* value) {
    if (!value) return E_POINTER;
    *value = nullptr;
    return host_ ? DISP_E_MEMBERNOTFOUND : CO_E_OBJNOTCONNECTED;
}

HRESULT PopupAccessible::get_accDescription(VARIANT child, BSTR* description) {
    if (!description) return E_POINTER;
    *description = nullptr;
    return Answer(child, [&](const AccessibleView& view, long id) {
        return id == kChildSelf ? Out(description, view.description) : S_FALSE;
    });
}

HRESULT PopupAccessible::get_accRole(VARIANT child, VARIANT* role) {
    if (!role) return E_POINTER;
    VariantInit(role);
    return Answer(child, [&](const AccessibleView& view, long id) {
        const AccessibleChild* label = ChildOf(view, id);
        Put(role, label ? RoleOf(label->role) : kRoleAlert);
        return S_OK;
    });
}

HRESULT PopupAccessible::get_accState(VARIANT child, VARIANT* state) {
    if (!state) return E_POINTER;
    VariantInit(state);
    return Answer(child, [&](const AccessibleView& view, long id) {
        Put(state, StateOf(view, id));
        return S_OK;
    });
}

HRESULT PopupAccessible::get_accHelp(VARIANT, BSTR* help) {
    if (!help) return E_POINTER;
    *help = nullptr;
    return host_ ? DISP_E_MEMBERNOTFOUND : CO_E_OBJNOTCONNECTED;
}

HRESULT PopupAccessible::get_accHelpTopic(BSTR* file, VARIANT, long* topic) {
    if (!file || !topic) return E_POINTER;
    *file = nullptr;
    *topic = 0;
    return host_ ? DISP_E_MEMBERNOTFOUND : CO_E_OBJNOTCONNECTED;
}

HRESULT PopupAccessible::get_accKeyboardShortcut(VARIANT, BSTR* shortcut) {
    if (!shortcut) return E_POINTER;
    *shortcut = nullptr;
    return host_ ? DISP_E_MEMBERNOTFOUND : CO_E_OBJNOTCONNECTED;
}

// The pop-up never has the focus, nor anything in it.
HRESULT PopupAccessible::get_accFocus(VARIANT* focused) {
    if (!focused) return E_POINTER;
    VariantInit(focused);
    return host_ ? S_FALSE : CO_E_OBJNOTCONNECTED;
}

HRESULT PopupAccessible::get_accSelection(VARIANT* selected) {
    if (!selected) return E_POINTER;
    VariantInit(selected);
    return host_ ? S_FALSE : CO_E_OBJNOTCONNECTED;
}

HRESULT PopupAccessible::get_accDefaultAction(VARIANT child, BSTR* action) {
    if (!action) return E_POINTER;
    *action = nullptr;
    return Answer(child, [&](const AccessibleView& view, long id) {
        const AccessibleChild* label = ChildOf(view, id);
        return label ? Out(action, DefaultActionOf(label->role)) : S_FALSE;
    });
}

// Selecting or focusing would take the focus from the user's window.
HRESULT PopupAccessible::accSelect(long, VARIANT) {
    return host_ ? DISP_E_MEMBERNOTFOUND : CO_E_OBJNOTCONNECTED;
}

HRESULT PopupAccessible::accLocation(long* left, long* top, long* width, long* height, VARIANT child) {
    if (!left || !top || !width || !height) return E_POINTER;
    *left = *top = *width = *height = 0;
    return Answer(child, [&](const AccessibleView& view, long id) {
        const AccessibleChild* label = ChildOf(view, id);
        const PixelRect r = label ? label->screen : view.window;
        *left = r.left;
        *top = r.top;
        *width = r.right - r.left;
        *height = r.bottom - r.top;
        return S_OK;
    });
}

HRESULT PopupAccessible::accNavigate(long direction, VARIANT start, VARIANT* end) {
    if (!end) return E_POINTER;
    VariantInit(end);
    return Answer(start, [&](const AccessibleView& view, long id) {
        const std::optional<long> found = Navigate(view, id, direction);
        if (!found) return S_FALSE;
        Put(end, *found);
        return S_OK;
    });
}

HRESULT PopupAccessible::accHitTest(long x, long y, VARIANT* child) {
    if (!child) return E_POINTER;
    VariantInit(child);
    if (!host_) return CO_E_OBJNOTCONNECTED;
    const std::optional<long> found = HitTest(host_->View(), x, y);
    if (!found) return S_FALSE;
    Put(child, *found);
    return S_OK;
}

HRESULT PopupAccessible::accDoDefaultAction(VARIANT child) {
    return Answer(child, [&](const AccessibleView& view, long id) {
        const AccessibleChild* label = ChildOf(view, id);
        if (!label || DefaultActionOf(label->role).empty()) return DISP_E_MEMBERNOTFOUND;
        host_->InvokeLater(label->id);
        return S_OK;
    });
}

HRESULT PopupAccessible::put_accName(VARIANT, BSTR) {
    return host_ ? E_NOTIMPL : CO_E_OBJNOTCONNECTED;
}

HRESULT PopupAccessible::put_accValue(VARIANT, BSTR) {
    return host_ ? E_NOTIMPL : CO_E_OBJNOTCONNECTED;
}

}  // namespace velmora::win32
