// What screen readers are told of the controls. A control answers
// WM_GETOBJECT with the system's own accessible object for it, wrapped so
// that its name says what the control is (a list by its label, the log and
// the progress bar by what they are) and its keyboard shortcut is the access
// key that reaches it ("Alt+C"): the captions carry no "&" (accesskeys.cpp),
// so the system's object would find none. Everything else (role, state,
// value, location) is the system's.
#include "window/window.h"
// These need windows.h first.
#include <oleacc.h>

#include "app/mnemonics.h"
#include "app/utf16.h"

namespace {

std::wstring TextOf(HWND hwnd)
{
    std::wstring text(size_t(GetWindowTextLengthW(hwnd)) + 1, L'\0');
    text.resize(size_t(GetWindowTextW(hwnd, &text[0], int(text.size()))));
    return text;
}

struct Description {
    std::wstring name;  // empty: the caption as shown
    HWND keyOwner;      // whose caption carries the access key; null: none
};

bool IsSelf(const VARIANT &child)
{
    return child.vt == VT_I4 && child.lVal == CHILDID_SELF;
}

HRESULT Give(const std::wstring &text, BSTR *out)
{
    if (!out)
        return E_POINTER;
    *out = nullptr;
    if (text.empty())
        return S_FALSE;
    *out = SysAllocString(text.c_str());
    return *out ? S_OK : E_OUTOFMEMORY;
}

// The system's object with the name and shortcut of `control`.
class ControlAccessible final : public IAccessible {
public:
    ControlAccessible(HWND control, const Description &description, IAccessible *system)
        : control_(control), description_(description), system_(system)
    {
    }
    ControlAccessible(const ControlAccessible &) = delete;
    ControlAccessible &operator=(const ControlAccessible &) = delete;

    // IUnknown
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void **out) override
    {
        if (!out)
            return E_POINTER;
        if (riid == IID_IUnknown || riid == IID_IDispatch || riid == IID_IAccessible) {
            *out = static_cast<IAccessible *>(this);
            AddRef();
            return S_OK;
        }
        *out = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ULONG(InterlockedIncrement(&refs_)); }
    ULONG STDMETHODCALLTYPE Release() override
    {
        const LONG left = InterlockedDecrement(&refs_);
        if (left == 0)
            delete this;
        return ULONG(left);
    }

    // IDispatch
    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT *n) override { return system_->GetTypeInfoCount(n); }
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT i, LCID lcid, ITypeInfo **info) override
    {
        return system_->GetTypeInfo(i, lcid, info);
    }
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID riid, LPOLESTR *names, UINT n, LCID lcid, DISPID *ids) override
    {
        return system_->GetIDsOfNames(riid, names, n, lcid, ids);
    }
    HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID riid, LCID lcid, WORD flags, DISPPARAMS *params,
                                     VARIANT *result, EXCEPINFO *exception, UINT *argError) override
    {
        return system_->Invoke(id, riid, lcid, flags, params, result, exception, argError);
    }

    // IAccessible: the name and the shortcut are this window's.
    HRESULT STDMETHODCALLTYPE get_accName(VARIANT child, BSTR *name) override
    {
        if (!IsSelf(child))
            return system_->get_accName(child, name);
        return Give(description_.name.empty() ? TextOf(control_) : description_.name, name);
    }
    HRESULT STDMETHODCALLTYPE get_accKeyboardShortcut(VARIANT child, BSTR *shortcut) override
    {
        if (!IsSelf(child))
            return system_->get_accKeyboardShortcut(child, shortcut);
        const std::string key =
            description_.keyOwner ? AccessKeyShortcut(Utf8FromWide(TextOf(description_.keyOwner))) : std::string();
        return Give(WideFromUtf8(key), shortcut);
    }
    HRESULT STDMETHODCALLTYPE get_accParent(IDispatch **parent) override { return system_->get_accParent(parent); }
    HRESULT STDMETHODCALLTYPE get_accChildCount(LONG *n) override { return system_->get_accChildCount(n); }
    HRESULT STDMETHODCALLTYPE get_accChild(VARIANT child, IDispatch **out) override
    {
        return system_->get_accChild(child, out);
    }
    HRESULT STDMETHODCALLTYPE get_accValue(VARIANT child, BSTR *value) override
    {
        return system_->get_accValue(child, value);
    }
    HRESULT STDMETHODCALLTYPE get_accDescription(VARIANT child, BSTR *text) override
    {
        return system_->get_accDescription(child, text);
    }
    HRESULT STDMETHODCALLTYPE get_accRole(VARIANT child, VARIANT *role) override
    {
        return system_->get_accRole(child, role);
    }
    HRESULT STDMETHODCALLTYPE get_accState(VARIANT child, VARIANT *state) override
    {
        return system_->get_accState(child, state);
    }
    HRESULT STDMETHODCALLTYPE get_accHelp(VARIANT child, BSTR *help) override
    {
        return system_->get_accHelp(child, help);
    }
    HRESULT STDMETHODCALLTYPE get_accHelpTopic(BSTR *file, VARIANT child, LONG *topic) override
    {
        return system_->get_accHelpTopic(file, child, topic);
    }
    HRESULT STDMETHODCALLTYPE get_accFocus(VARIANT *child) override { return system_->get_accFocus(child); }
    HRESULT STDMETHODCALLTYPE get_accSelection(VARIANT *children) override
    {
        return system_->get_accSelection(children);
    }
    HRESULT STDMETHODCALLTYPE get_accDefaultAction(VARIANT child, BSTR *action) override
    {
        return system_->get_accDefaultAction(child, action);
    }
    HRESULT STDMETHODCALLTYPE accSelect(LONG flags, VARIANT child) override
    {
        return system_->accSelect(flags, child);
    }
    HRESULT STDMETHODCALLTYPE accLocation(LONG *x, LONG *y, LONG *w, LONG *h, VARIANT child) override
    {
        return system_->accLocation(x, y, w, h, child);
    }
    HRESULT STDMETHODCALLTYPE accNavigate(LONG dir, VARIANT start, VARIANT *end) override
    {
        return system_->accNavigate(dir, start, end);
    }
    HRESULT STDMETHODCALLTYPE accHitTest(LONG x, LONG y, VARIANT *child) override
    {
        return system_->accHitTest(x, y, child);
    }
    HRESULT STDMETHODCALLTYPE accDoDefaultAction(VARIANT child) override
    {
        return system_->accDoDefaultAction(child);
    }
    HRESULT STDMETHODCALLTYPE put_accName(VARIANT, BSTR) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE put_accValue(VARIANT child, BSTR value) override
    {
        return system_->put_accValue(child, value);
    }

private:
    ~ControlAccessible() { system_->Release(); }

    LONG refs_ = 1;
    HWND control_;
    Description description_;
    IAccessible *system_;
};

LRESULT CALLBACK DescribedProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam, UINT_PTR id, DWORD_PTR data)
{
    const Description &description = *reinterpret_cast<const Description *>(data);
    switch (msg) {
    case WM_GETOBJECT: {
        if (LONG(lParam) != OBJID_CLIENT)
            break;
        IAccessible *system = nullptr;
        if (FAILED(CreateStdAccessibleObject(hwnd, OBJID_CLIENT, IID_IAccessible,
                                             reinterpret_cast<void **>(&system))))
            break;
        ControlAccessible *object = new ControlAccessible(hwnd, description, system);
        const LRESULT result = LresultFromObject(IID_IAccessible, wParam, object);
        object->Release();  // LresultFromObject holds its own reference
        return result;
    }
    case WM_NCDESTROY:
        RemoveWindowSubclass(hwnd, DescribedProc, id);
        delete &description;
        break;
    }
    return DefSubclassProc(hwnd, msg, wParam, lParam);
}

}  // namespace

void DescribeForAccessibility(HWND control, const char *name, HWND keyOwner)
{
    auto *description = new Description{WideFromUtf8(name ? name : ""), keyOwner};
    if (!SetWindowSubclass(control, DescribedProc, 2, DWORD_PTR(description)))
        delete description;
}
