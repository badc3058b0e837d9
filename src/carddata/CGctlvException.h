#pragma once
// CGctlvException: a PKCS TLV buffer that cannot be parsed. Raised by
// PKCSTLVBuffer with id GCTLV_INVALID_BUFFER_FORMAT, thrown as a pointer
// that the catcher deletes, like every middleware failure.
#include "CException.h"

#include <string>

class CGctlvException : public CException {
public:
    enum : int { GCTLV_INVALID_BUFFER_FORMAT = 1000 };

    CGctlvException(int id, const wchar_t* message, const wchar_t* sourceFile, int sourceLine,
                    CException* inner = nullptr);
    // "ID:" and the id in decimal, a blank, then the id's name in brackets.
    virtual std::wstring ToString() const;
};
