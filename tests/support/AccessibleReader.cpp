#include "AccessibleReader.h"

namespace {

std::wstring Take(BSTR text)
{
    std::wstring copy = text ? std::wstring(text, SysStringLen(text)) : std::wstring();
    SysFreeString(text);
    return copy;
}

AccessibleView ReadObject(HWND window, bool act)
{
    AccessibleView view;
    IAccessible* object = nullptr;
    // __uuidof: the import library's IID_IAccessible is no such id under Wine.
    if (FAILED(AccessibleObjectFromWindow(window, static_cast<DWORD>(OBJID_CLIENT), __uuidof(IAccessible),
                                          reinterpret_cast<void**>(&object))) ||
        !object)
        return view;
    view.found = true;
    VARIANT self;
    VariantInit(&self);
    self.vt = VT_I4;
    self.lVal = CHILDID_SELF;
    BSTR text = nullptr;
    if (SUCCEEDED(object->get_accName(self, &text)))
        view.name = Take(text);
    VARIANT answer;
    VariantInit(&answer);
    if (SUCCEEDED(object->get_accRole(self, &answer)) && answer.vt == VT_I4)
        view.role = answer.lVal;
    VariantClear(&answer);
    if (SUCCEEDED(object->get_accState(self, &answer)) && answer.vt == VT_I4)
        view.state = answer.lVal;
    VariantClear(&answer);
    text = nullptr;
    view.valueResult = object->get_accValue(self, &text);
    view.value = Take(text);
    text = nullptr;
    if (SUCCEEDED(object->get_accDefaultAction(self, &text)))
        view.defaultAction = Take(text);
    if (act)
        view.actionResult = object->accDoDefaultAction(self);
    object->Release();
    return view;
}

} // namespace

AccessibleView ReadAccessible(HWND window, bool act)
{
    // A screen reader is a COM client; the object comes across apartments.
    const HRESULT com = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    const AccessibleView view = ReadObject(window, act);
    if (SUCCEEDED(com))
        CoUninitialize();
    return view;
}
