#pragma once
// The middleware's exception: an identifier (3000 to 3028 for the
// controller's failures) and a message. Thrown as a pointer; the catcher
// deletes it.
#include <string>

class CException {
public:
    CException(int id, const wchar_t* message) : m_nID(id), m_sMessage(message ? message : L"") {}
    int getID() const { return m_nID; }
    const wchar_t* getMessage() const { return m_sMessage.c_str(); }

private:
    int m_nID;
    std::wstring m_sMessage;
};
