#pragma once
// The interfaces of the security-module middleware controller, as the card
// object layer uses them. The controller lives in "vk.smmw.mwctl.dll",
// whose export GetSMMWController hands out the one controller; readers,
// contexts and card objects belong to it. Every failure is thrown as a
// CException* that the caller deletes.
#include "Filter.h"
#include "ParameterMap.h"
#include "VKData.h"

#include <vector>

// Reader property 0 is the reader's name.
inline constexpr int kReaderPropertyName = 0;
// Card object property 0 is the card identifier: its bytes, or their
// hexadecimal text, as the card's middleware serves it.
inline constexpr int kCardPropertyIdentifier = 0;

// What ISMMWReader::GetState reports.
enum SMMWReaderState : int {
    kReaderCardPresent = 0,
    kReaderEmpty = 1,
    kReaderUnavailable = 2,
};

class ISMMWReader {
public:
    virtual ~ISMMWReader() = default;
    virtual void GetProperty(int id, VKData& value) = 0;
    // An SMMWReaderState.
    virtual int GetState() = 0;
};

// Credential types, data credential types and attributes the layer uses.
enum SMMWCredentialType : int {
    kCredentialPKI = 0,
    kCredentialNewPKI = 1,
    kCredentialPIN = 4,
    kCredentialData = 5,
    kCredentialKeyContainer = 6,
};
enum SMMWCredentialAttribute : int {
    kAttributeKeySize = 11,
    kAttributePrimary = 38,
    kAttributeKeyContainerLink = 41,
    kAttributeNotPrimaryFallback = 138,
};
// Properties of PKI credentials, their key containers and certificate data
// credentials (data credential type 5, whose property 3 is their value).
enum SMMWCertificateProperty : int {
    kPropertyPublicKeyAttributes = 2,
    kPropertyCertificate = 3,
    kPropertyCertificateAttributes = 4,
    kPropertyContainerInfo = 12,
    kPropertyContainerGuid = 42,
};
inline constexpr int kDataCredentialCertificate = 5;

// The creation status of a credential that was made.
inline constexpr int kCredentialCreated = 4;

class ISMMWSecurityModuleCapabilities {
public:
    virtual ~ISMMWSecurityModuleCapabilities() = default;
    virtual void GetCapability(const wchar_t* name, VKData& value) = 0;
};

class ISMMWCardObject {
public:
    virtual ~ISMMWCardObject() = default;
    virtual void GetProperty(int id, VKData& value) = 0;
    virtual ISMMWSecurityModuleCapabilities* GetSecurityModuleCapabilities() = 0;
};

// The rights of one action of a credential.
class ISMMWAccessControlList {
public:
    virtual ~ISMMWAccessControlList() = default;
    // True when the holder can be authenticated for the action.
    virtual bool IsAuthenticable() = 0;
};

// PIN credential properties.
enum SMMWPinProperty : int {
    kPinPropertyMinLength = 25,
    kPinPropertyMaxLength = 26,
    kPinPropertyWeakCheck = 30,
    kPinPropertyUnlockCode = 33,
};
// Card object properties.
enum SMMWCardProperty : int {
    kCardPropertyIsCAC = 3,
    kCardPropertyIsPIV = 4,
    kCardPropertyTransactionTimeout = 18,
};

class ISMMWCredential {
public:
    virtual ~ISMMWCredential() = default;
    virtual void GetProperty(int id, VKData& value) = 0;
    virtual void SetAttribute(int id, const VKData& value) = 0;
    // The rights of `action`, or null; the credential keeps it.
    virtual ISMMWAccessControlList* GetAccessControlList(const wchar_t* action) = 0;
    // A fresh unblock challenge of the PIN credential.
    virtual void GetUnblockChallenge(WipingBytes& challenge) = 0;
    // Answers the last challenge; true when the card took the response and
    // the new PIN.
    virtual bool Unblock(const WipingBytes& response, const WipingBytes& newPin, int flags) = 0;
    // Gives `action` these rights, with an access mode. The template keeps
    // the pointers and reads the rights when the credential is created: the
    // caller deletes them only after CreateCredential.
    virtual void SetAccessRights(const wchar_t* action, const std::vector<CSMMWAccessControlRight*>& rights,
                                 int accessMode) = 0;
    virtual void ImportKey(const VKData& key, const ParameterMap& parameters, int flags) = 0;
    virtual void SetValue(const VKData& value) = 0;
};

class ISMMWCredentialFactory {
public:
    virtual ~ISMMWCredentialFactory() = default;
    // A template the caller deletes.
    virtual ISMMWCredential* NewCredentialTemplate(int type) = 0;
    virtual ISMMWCredential* NewDataCredentialTemplate(int dataType) = 0;
    // Makes a credential on the card from a template; `kCredentialCreated`
    // when it was made, another status when refused. The object put in
    // *created is the caller's to delete; deleting it leaves the credential
    // on the card.
    virtual int CreateCredential(ISMMWCredential* credentialTemplate, ISMMWCredential** created) = 0;
};

// A context holds the card of one reader. Card transactions are exclusive:
// while one context's transaction is open, BeginTransaction on another
// context of the same card is refused (kFailureCardInTransaction) rather
// than waited for. An open transaction ends by itself once the card's
// time-out (card property 18, milliseconds) passes without
// ResetTransactionTimeout; ending or resetting it then fails with
// kFailureNoTransaction.
class ISMMWContext {
public:
    virtual ~ISMMWContext() = default;
    virtual void FindCredentials(const Filter& filter, std::vector<ISMMWCredential*>& found) = 0;
    virtual void ExecuteAction(const wchar_t* name, const ParameterMap& in, ParameterMap& out) = 0;
    virtual ISMMWCardObject* GetCardObject() = 0;
    virtual ISMMWCredentialFactory* GetCredentialFactory() = 0;
    virtual void BeginTransaction() = 0;
    virtual void EndTransaction() = 0;
    virtual void ResetTransactionTimeout() = 0;
    virtual MWDataMap* GetDataMap() = 0;
    // Removes a credential from the card: one made through this context
    // (such as one whose key could not be imported; the object stays the
    // caller's) or one the context found, such as a certificate.
    virtual void DeleteCredential(ISMMWCredential* credential) = 0;
};

// Failure identifiers of transaction control.
inline constexpr int kFailureCardInTransaction = 3025;
inline constexpr int kFailureNoTransaction = 3026;

class ISMMWController {
public:
    virtual ~ISMMWController() = default;
    virtual int Initialize() = 0;
    // A context on the card of the reader named "ReaderName".
    virtual ISMMWContext* EstablishContext(const ParameterMap& parameters) = 0;
    virtual void ReleaseContext(ISMMWContext* context) = 0;
    virtual void ListReaders(std::vector<ISMMWReader*>& readers) = 0;
};

// The controller module's one export.
using GetSMMWControllerFunction = ISMMWController* (*)();
