#include "TripleDes.h"

#include <windows.h>
#include <wincrypt.h>

#include <vector>

namespace {

// The provider and key are released however the work ends.
class CryptoSession {
public:
    ~CryptoSession()
    {
        if (m_hKey)
            CryptDestroyKey(m_hKey);
        if (m_hProvider)
            CryptReleaseContext(m_hProvider, 0);
    }
    HCRYPTPROV m_hProvider = 0;
    HCRYPTKEY m_hKey = 0;
};

} // namespace

bool TripleDesEncryptEcb(const WipingBytes& key, const WipingBytes& data, WipingBytes& out)
{
    out.clear();
    if (key.size() != 24 || data.empty() || data.size() % 8 != 0)
        return false;
    CryptoSession session;
    // The enhanced provider has 3DES; a verify-only context needs no key store.
    if (!CryptAcquireContextW(&session.m_hProvider, nullptr, MS_ENHANCED_PROV_W, PROV_RSA_FULL, CRYPT_VERIFYCONTEXT))
        return false;
    struct {
        BLOBHEADER header;
        DWORD size;
        BYTE key[24];
    } blob = {};
    blob.header.bType = PLAINTEXTKEYBLOB;
    blob.header.bVersion = CUR_BLOB_VERSION;
    blob.header.aiKeyAlg = CALG_3DES;
    blob.size = 24;
    memcpy(blob.key, key.data(), 24);
    BOOL imported = CryptImportKey(session.m_hProvider, reinterpret_cast<BYTE*>(&blob), sizeof(blob), 0, 0,
                                   &session.m_hKey);
    SecureWipe(&blob, sizeof(blob));
    if (!imported)
        return false;
    DWORD mode = CRYPT_MODE_ECB;
    if (!CryptSetKeyParam(session.m_hKey, KP_MODE, reinterpret_cast<BYTE*>(&mode), 0))
        return false;
    // No padding: the data are whole blocks, so "not final" keeps it off.
    WipingBytes buffer(data);
    DWORD length = static_cast<DWORD>(buffer.size());
    if (!CryptEncrypt(session.m_hKey, 0, FALSE, 0, buffer.data(), &length, static_cast<DWORD>(buffer.size())))
        return false;
    buffer.resize(length);
    out.swap(buffer);
    return true;
}
