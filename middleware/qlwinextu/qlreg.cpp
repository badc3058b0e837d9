#include "qlreg.h"

namespace {

class ScopedKey {
public:
    ~ScopedKey()
    {
        if (m_hKey)
            RegCloseKey(m_hKey);
    }
    HKEY* operator&() { return &m_hKey; }
    operator HKEY() const { return m_hKey; }

private:
    HKEY m_hKey = nullptr;
};

} // namespace

LONG qlRegReadStringValueEx(HKEY root, const wchar_t* subKey, const wchar_t* valueName,
                            wchar_t* buffer, DWORD* sizeBytes, REGSAM access)
{
    if (!root || !subKey || !sizeBytes)
        return ERROR_INVALID_PARAMETER;
    if (!buffer) {
        ScopedKey key;
        LONG status = RegOpenKeyExW(root, subKey, 0, KEY_QUERY_VALUE | access, &key);
        DWORD type = 0;
        DWORD size = 0;
        if (status == ERROR_SUCCESS)
            status = RegQueryValueExW(key, valueName, nullptr, &type, nullptr, &size);
        if (status == ERROR_SUCCESS && type != REG_SZ && type != REG_EXPAND_SZ)
            status = ERROR_INVALID_DATATYPE;
        if (status == ERROR_SUCCESS)
            *sizeBytes = size;
        return status;
    }
    if (*sizeBytes < sizeof(wchar_t))
        return ERROR_INVALID_PARAMETER;
    const DWORD capacity = *sizeBytes;
    buffer[0] = L'\0';
    ScopedKey key;
    LONG status = RegOpenKeyExW(root, subKey, 0, KEY_QUERY_VALUE | access, &key);
    if (status != ERROR_SUCCESS)
        return status;
    DWORD type = 0;
    DWORD size = capacity;
    status = RegQueryValueExW(key, valueName, nullptr, &type, reinterpret_cast<BYTE*>(buffer), &size);
    if (status == ERROR_SUCCESS && type != REG_SZ && type != REG_EXPAND_SZ)
        status = ERROR_INVALID_DATATYPE;
    if (status == ERROR_SUCCESS) {
        // Stored data need not end with a terminator; when it does not and
        // fills the buffer, the text does not fit.
        size_t chars = size / sizeof(wchar_t);
        if (chars > 0 && buffer[chars - 1] == L'\0')
            --chars;
        if (chars >= capacity / sizeof(wchar_t))
            status = ERROR_MORE_DATA;
        else
            buffer[chars] = L'\0';
    }
    if (status != ERROR_SUCCESS) {
        buffer[0] = L'\0';
        return status;
    }
    *sizeBytes = size;
    return ERROR_SUCCESS;
}

LONG qlRegReadDWORDValueEx(HKEY root, const wchar_t* subKey, const wchar_t* valueName,
                           DWORD* value, REGSAM access)
{
    if (!root || !subKey || !value)
        return ERROR_INVALID_PARAMETER;
    ScopedKey key;
    LONG status = RegOpenKeyExW(root, subKey, 0, KEY_QUERY_VALUE | access, &key);
    if (status != ERROR_SUCCESS)
        return status;
    DWORD type = 0;
    DWORD data = 0;
    DWORD size = sizeof(data);
    status = RegQueryValueExW(key, valueName, nullptr, &type, reinterpret_cast<BYTE*>(&data), &size);
    if (status != ERROR_SUCCESS)
        return status;
    if (type != REG_DWORD || size != sizeof(DWORD))
        return ERROR_INVALID_DATATYPE;
    *value = data;
    return ERROR_SUCCESS;
}
