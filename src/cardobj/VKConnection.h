#pragma once
// VKConnection: the handle of one open card connection, filled by
// VKReader::Connect. It must not outlive the reader that filled it. Through
// it the layer finds, creates and updates the card's credentials and
// controls card transactions. Credentials belong to the middleware, except
// those the two create operations hand out: the caller deletes them.
#include "base/VelkorExports.h"

#include "Filter.h"
#include "VKData.h"

#include <vector>

class ISMMWContext;
class ISMMWCredential;

class VKGUI_CLASS VKConnection {
public:
    VKConnection();

    // The user PIN: the one primary PIN credential, else the one that is
    // flagged not primary; null when there is none or more than one.
    ISMMWCredential* GetUserPinCredential();
    // The one data credential of this type, or null.
    ISMMWCredential* GetDataCredential(const SMMWDataCredentialType& type);
    bool IsCardSupportImportCertificate();
    // The key container of a PKI credential, or null.
    ISMMWCredential* GetAssociatedKCCredential(ISMMWCredential* pPKICredential);
    void ListDataCredentials(const SMMWDataCredentialType& type, std::vector<ISMMWCredential*>& out);
    void ListPKICredentials(std::vector<ISMMWCredential*>& out, bool primaryOnly);
    // A new credential in *out, which the caller deletes; a credential whose
    // key or value could not be stored is removed from the card again.
    int CreatePKICredential(const VKData& keyData, ISMMWCredential** out, unsigned keySizeBits);
    int CreateDataCredential(const VKData& valueBytes, ISMMWCredential** out);
    int UpdateCredential(ISMMWCredential* credential, int attribute, VKData value);
    int BeginTransaction();
    int EndTransaction();
    int ResetTransactionTimeout();

    ISMMWContext* m_pContext;

private:
    // The one credential the filter finds, or null (logging `several`).
    ISMMWCredential* FindOne(const Filter& filter, const wchar_t* several, int typeForLog);
    // A new credential from `credentialTemplate` (not taken over), its
    // rights already given; `store` writes the value once it exists. The
    // rights must live until this returns.
    int CreateCredential(const wchar_t* name, ISMMWCredential* credentialTemplate, ISMMWCredential** out,
                         const wchar_t* importFailure, void (*store)(ISMMWCredential*, const VKData&, unsigned),
                         const VKData& value, unsigned keySizeBits);
    int Transaction(const wchar_t* name, void (ISMMWContext::*operation)());
};
