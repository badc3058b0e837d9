#include "base/AccessibleOverlay.h"

#include "base/Log.h"

#include <new>

namespace {

// The interface id as the compiler knows it from the interface's
// declaration: mingw-w64's oleacc import library resolves IID_IAccessible to
// an export of oleacc.dll that under Wine is no such id.
const IID& kIidAccessible = __uuidof(IAccessible);

// The standard client object of a window with some answers replaced. Every
// call it does not answer goes to the standard object, which it holds.
class AccessibleOverlay final : public IAccessible {
public:
    AccessibleOverlay(HWND window, IAccessible* standard, const AccessibleFacts& facts)
        : m_hWnd(window), m_pStandard(standard), m_facts(facts)
    {
    }
    AccessibleOverlay(const AccessibleOverlay&) = delete;
    AccessibleOverlay& operator=(const AccessibleOverlay&) = delete;

    // IUnknown
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override
    {
        if (!object)
            return E_POINTER;
        if (iid == __uuidof(IUnknown) || iid == __uuidof(IDispatch) || iid == kIidAccessible) {
            *object = static_cast<IAccessible*>(this);
            AddRef();
            return S_OK;
        }
        *object = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return static_cast<ULONG>(InterlockedIncrement(&m_nRefs)); }
    ULONG STDMETHODCALLTYPE Release() override
    {
        const LONG left = InterlockedDecrement(&m_nRefs);
        if (left == 0)
            delete this;
        return static_cast<ULONG>(left);
    }

    // IDispatch: screen readers call IAccessible directly.
    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override
    {
        if (count)
            *count = 0;
        return count ? S_OK : E_POINTER;
    }
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*, UINT*) override
    {
        return E_NOTIMPL;
    }

    // IAccessible: the control itself is CHILDID_SELF; its children, if
    // any, are the standard object's.
    HRESULT STDMETHODCALLTYPE get_accName(VARIANT child, BSTR* name) override
    {
        if (IsSelf(child) && !m_facts.m_sName.empty())
            return Text(m_facts.m_sName, name);
        // A secret's field without a label has no name: the standard one
        // could be read from its text.
        if (IsSelf(child) && m_facts.m_bProtected) {
            if (name)
                *name = nullptr;
            return name ? S_FALSE : E_POINTER;
        }
        return m_pStandard->get_accName(child, name);
    }
    HRESULT STDMETHODCALLTYPE get_accValue(VARIANT child, BSTR* value) override
    {
        if (IsSelf(child) && m_facts.m_bProtected) {
            if (value)
                *value = nullptr;
            return E_ACCESSDENIED;
        }
        if (IsSelf(child) && m_facts.m_bHasValue)
            return Text(m_facts.m_sValue, value);
        return m_pStandard->get_accValue(child, value);
    }
    HRESULT STDMETHODCALLTYPE get_accRole(VARIANT child, VARIANT* role) override
    {
        if (IsSelf(child) && m_facts.m_nRole != 0 && role) {
            VariantInit(role);
            role->vt = VT_I4;
            role->lVal = m_facts.m_nRole;
            return S_OK;
        }
        return m_pStandard->get_accRole(child, role);
    }
    HRESULT STDMETHODCALLTYPE get_accState(VARIANT child, VARIANT* state) override
    {
        HRESULT result = m_pStandard->get_accState(child, state);
        if (IsSelf(child) && state && SUCCEEDED(result) && state->vt == VT_I4)
            state->lVal |= m_facts.m_nStateAdded | (m_facts.m_bProtected ? STATE_SYSTEM_PROTECTED : 0);
        return result;
    }
    HRESULT STDMETHODCALLTYPE put_accValue(VARIANT child, BSTR value) override
    {
        if (IsSelf(child) && m_facts.m_bProtected)
            return E_ACCESSDENIED;
        return m_pStandard->put_accValue(child, value);
    }

    HRESULT STDMETHODCALLTYPE get_accParent(IDispatch** parent) override { return m_pStandard->get_accParent(parent); }
    HRESULT STDMETHODCALLTYPE get_accChildCount(long* count) override { return m_pStandard->get_accChildCount(count); }
    HRESULT STDMETHODCALLTYPE get_accChild(VARIANT child, IDispatch** object) override
    {
        return m_pStandard->get_accChild(child, object);
    }
    HRESULT STDMETHODCALLTYPE get_accDescription(VARIANT child, BSTR* text) override
    {
        return m_pStandard->get_accDescription(child, text);
    }
    HRESULT STDMETHODCALLTYPE get_accHelp(VARIANT child, BSTR* text) override
    {
        return m_pStandard->get_accHelp(child, text);
    }
    HRESULT STDMETHODCALLTYPE get_accHelpTopic(BSTR* file, VARIANT child, long* topic) override
    {
        return m_pStandard->get_accHelpTopic(file, child, topic);
    }
    HRESULT STDMETHODCALLTYPE get_accKeyboardShortcut(VARIANT child, BSTR* text) override
    {
        return m_pStandard->get_accKeyboardShortcut(child, text);
    }
    HRESULT STDMETHODCALLTYPE get_accFocus(VARIANT* child) override { return m_pStandard->get_accFocus(child); }
    HRESULT STDMETHODCALLTYPE get_accSelection(VARIANT* children) override
    {
        return m_pStandard->get_accSelection(children);
    }
    HRESULT STDMETHODCALLTYPE get_accDefaultAction(VARIANT child, BSTR* text) override
    {
        if (IsSelf(child) && !m_facts.m_sDefaultAction.empty())
            return Text(m_facts.m_sDefaultAction, text);
        return m_pStandard->get_accDefaultAction(child, text);
    }
    HRESULT STDMETHODCALLTYPE accSelect(long flags, VARIANT child) override { return m_pStandard->accSelect(flags, child); }
    HRESULT STDMETHODCALLTYPE accLocation(long* x, long* y, long* width, long* height, VARIANT child) override
    {
        return m_pStandard->accLocation(x, y, width, height, child);
    }
    HRESULT STDMETHODCALLTYPE accNavigate(long direction, VARIANT start, VARIANT* end) override
    {
        return m_pStandard->accNavigate(direction, start, end);
    }
    HRESULT STDMETHODCALLTYPE accHitTest(long x, long y, VARIANT* child) override
    {
        return m_pStandard->accHitTest(x, y, child);
    }
    HRESULT STDMETHODCALLTYPE accDoDefaultAction(VARIANT child) override
    {
        if (!IsSelf(child) || m_facts.m_sDefaultAction.empty())
            return m_pStandard->accDoDefaultAction(child);
        // The click a sighted holder would give, posted: the control's answer
        // may close its window, and the screen reader is not kept waiting.
        // A grey or hidden control takes no click, from anyone.
        if (!::IsWindow(m_hWnd) || !::IsWindowEnabled(m_hWnd) || !::IsWindowVisible(m_hWnd))
            return E_FAIL;
        const LPARAM at = MAKELPARAM(m_facts.m_ptAction.x, m_facts.m_ptAction.y);
        ::PostMessageW(m_hWnd, WM_LBUTTONDOWN, MK_LBUTTON, at);
        ::PostMessageW(m_hWnd, WM_LBUTTONUP, 0, at);
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE put_accName(VARIANT child, BSTR name) override { return m_pStandard->put_accName(child, name); }

private:
    ~AccessibleOverlay() { m_pStandard->Release(); }

    static bool IsSelf(const VARIANT& child) { return child.vt == VT_I4 && child.lVal == CHILDID_SELF; }
    static HRESULT Text(const std::wstring& text, BSTR* out)
    {
        if (!out)
            return E_POINTER;
        *out = SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
        return *out ? S_OK : E_OUTOFMEMORY;
    }

    LONG m_nRefs = 1;
    // The window may be gone by the time a screen reader calls.
    HWND m_hWnd;
    IAccessible* m_pStandard;
    AccessibleFacts m_facts;
};

} // namespace

LRESULT AnswerGetObject(HWND window, WPARAM wParam, LPARAM lParam, const AccessibleFacts& facts)
{
    // lParam is a 32-bit object id, sign-extended or not by whoever sent it.
    if (static_cast<LONG>(lParam) != OBJID_CLIENT || !::IsWindow(window))
        return 0;
    IAccessible* standard = nullptr;
    if (FAILED(CreateStdAccessibleObject(window, OBJID_CLIENT, kIidAccessible, reinterpret_cast<void**>(&standard))) ||
        !standard) {
        vklogLog(kGuiTag, VKLOG_ERROR, L"AnswerGetObject: no standard accessible object for window %x", HandleBits(window));
        return 0;
    }
    auto* overlay = new (std::nothrow) AccessibleOverlay(window, standard, facts);
    if (!overlay) {
        standard->Release();
        return 0;
    }
    const LRESULT result = LresultFromObject(kIidAccessible, wParam, overlay);
    overlay->Release();
    if (FAILED(static_cast<HRESULT>(result)))
        vklogLog(kGuiTag, VKLOG_ERROR, L"AnswerGetObject: LresultFromObject failed with 0x%x",
                 static_cast<unsigned>(result));
    return SUCCEEDED(static_cast<HRESULT>(result)) ? result : 0;
}
