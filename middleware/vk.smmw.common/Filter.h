#pragma once
// Filter: criteria of a credential search; a credential must meet all.
#include "VKData.h"

#include <utility>
#include <vector>

class Filter {
public:
    void AddCredentialType(int type) { m_types.push_back(type); }
    void AddDataCredentialType(int dataType) { m_dataTypes.push_back(dataType); }
    void AddCredentialAttribute(int attribute, const VKData& value) { m_attributes.emplace_back(attribute, value); }

    const std::vector<int>& CredentialTypes() const { return m_types; }
    const std::vector<int>& DataCredentialTypes() const { return m_dataTypes; }
    const std::vector<std::pair<int, VKData>>& Attributes() const { return m_attributes; }

private:
    std::vector<int> m_types;
    std::vector<int> m_dataTypes;
    std::vector<std::pair<int, VKData>> m_attributes;
};

using SMMWDataCredentialType = int;

class ISMMWCredential;

// An access-control right given to a new credential for one action: always
// (0, 0), or the user PIN (0, 2, the PIN credential).
class CSMMWAccessControlRight {
public:
    CSMMWAccessControlRight(int aclType, int acrType, ISMMWCredential* credential = nullptr)
        : m_nACLType(aclType), m_nACRType(acrType), m_pCredential(credential)
    {
    }
    int ACLType() const { return m_nACLType; }
    int ACRType() const { return m_nACRType; }
    ISMMWCredential* Credential() const { return m_pCredential; }

private:
    int m_nACLType;
    int m_nACRType;
    ISMMWCredential* m_pCredential;
};

// The context's data map; silent, it lets the middleware prompt nobody.
class MWDataMap {
public:
    virtual ~MWDataMap() = default;
    virtual void AddSilentContext(bool silent) = 0;
};
