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
// Card object property 0 is the card identifier, as hexadecimal text.
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
    // A fresh unblock challenge of the PIN credential.
    virtual void GetUnblockChallenge(WipingBytes& challenge) = 0;
    // Answers the last challenge; true when the card took the response and
    // the new PIN.
    virtual bool Unblock(const WipingBytes& response, const WipingBytes& newPin, int flags) = 0;
    // The rights of `action`, or null; the credential keeps it.
    virtual ISMMWAccessControlList* GetAccessControlList(const wchar_t* action) = 0;
    virtual void GetProperty(int id, VKData& value) = 0;
    virtual void SetAttribute(int id, const VKData& value) = 0;
    // Gives `action` these rights (copied), with an access mode.
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
    // when it was made (then in *created), another status when refused.
    virtual int CreateCredential(ISMMWCredential* credentialTemplate, ISMMWCredential** created) = 0;
};

class ISMMWContext {
public:
    virtual ~ISMMWContext() = default;
    virtual ISMMWCardObject* GetCardObject() = 0;
    virtual void FindCredentials(const Filter& filter, std::vector<ISMMWCredential*>& found) = 0;
    virtual void ExecuteAction(const wchar_t* name, const ParameterMap& in, ParameterMap& out) = 0;
    virtual ISMMWCredentialFactory* GetCredentialFactory() = 0;
    virtual MWDataMap* GetDataMap() = 0;
    virtual void BeginTransaction() = 0;
    virtual void EndTransaction() = 0;
    virtual void ResetTransactionTimeout() = 0;
};

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
