#pragma once
// The middleware's exception: an identifier (3000 to 3028 for the
// controller's failures), a message, where it was raised and the failure
// that caused it, if any. Thrown as a pointer; the catcher deletes it, and
// with it the inner failure. Plain C++, so that the card data parsers that
// raise it build anywhere.
#include <string>

class CException {
public:
    CException(int id, const wchar_t* message, const wchar_t* sourceFile = nullptr, int sourceLine = 0,
               CException* inner = nullptr)
        : m_nID(id), m_sMessage(message ? message : L""), m_sSourceFile(sourceFile ? sourceFile : L""),
          m_nSourceLine(sourceLine), m_pInner(inner)
    {
    }
    virtual ~CException() { delete m_pInner; }
    CException(const CException&) = delete;
    CException& operator=(const CException&) = delete;

    int getID() const { return m_nID; }
    const wchar_t* getMessage() const { return m_sMessage.c_str(); }
    const wchar_t* getSourceFile() const { return m_sSourceFile.c_str(); }
    int getSourceLine() const { return m_nSourceLine; }
    // The failure that caused this one, or null; it belongs to this one.
    const CException* getInnerException() const { return m_pInner; }

private:
    int m_nID;
    std::wstring m_sMessage;
    std::wstring m_sSourceFile;
    int m_nSourceLine;
    CException* m_pInner;
};
