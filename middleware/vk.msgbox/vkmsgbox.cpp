#include "vkmsgbox.h"

#include <cwchar>
#include <string>

namespace {

constexpr DWORD kNoErrorNumber = 0xFFFFFFFF;
constexpr const wchar_t* kProduct = L"Velkor";

std::wstring Compose(DWORD code, const wchar_t* text)
{
    std::wstring message = text ? text : L"";
    if (code != kNoErrorNumber) {
        wchar_t number[32];
        _snwprintf(number, 31, L"\r\n\r\n(Error 0x%08X)", code);
        number[31] = L'\0';
        message += number;
    }
    return message;
}

int Show(HWND parent, DWORD code, const wchar_t* text, const wchar_t* reader, UINT style, DWORD helpTopic)
{
    std::wstring caption = kProduct;
    if (reader && *reader) {
        caption += L" - ";
        caption += reader;
    }
    std::wstring message = Compose(code, text);
    if ((style & MB_ICONMASK) == 0)
        style |= (style & MB_TYPEMASK) == MB_OK ? MB_ICONERROR : MB_ICONWARNING;
    MSGBOXPARAMSW params = {};
    params.cbSize = sizeof(params);
    params.hwndOwner = parent && IsWindow(parent) ? parent : nullptr;
    params.lpszText = message.c_str();
    params.lpszCaption = caption.c_str();
    params.dwStyle = style | MB_SETFOREGROUND | (params.hwndOwner ? 0 : MB_TOPMOST);
    params.dwContextHelpId = helpTopic;
    return MessageBoxIndirectW(&params);
}

} // namespace

int VKErrMesDisplayEx(DWORD code, const wchar_t* text, DWORD_PTR, DWORD_PTR, DWORD_PTR)
{
    return Show(nullptr, code, text, nullptr, MB_OK, 0);
}

int VKErrMesDisplayExWithParentParamAndReaderAndHelp(HWND parent, DWORD code, const wchar_t* text,
                                                     DWORD_PTR, DWORD_PTR, DWORD_PTR, DWORD_PTR,
                                                     const wchar_t* reader, UINT style, DWORD helpTopic)
{
    return Show(parent, code, text, reader, style, helpTopic);
}
