#include "carddata/CGctlvException.h"

CGctlvException::CGctlvException(int id, const wchar_t* message, const wchar_t* sourceFile, int sourceLine,
                                 CException* inner)
    : CException(id, message, sourceFile, sourceLine, inner)
{
}

std::wstring CGctlvException::ToString() const
{
    return L"ID:" + std::to_wstring(getID()) +
           (getID() == GCTLV_INVALID_BUFFER_FORMAT ? L" (GCTLV_INVALID_BUFFER_FORMAT)" : L" (Unknown Exception Id)");
}
