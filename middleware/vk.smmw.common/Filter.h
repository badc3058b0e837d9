#pragma once
// Filter: criteria of a credential search; a credential must meet all.
#include "VKData.h"

#include <cstddef>
#include <cstring>
#include <mutex>
#include <new>
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
// (0, 0), or the user PIN (0, 2, the PIN credential). The controller reads
// a right when the credential is created, not when it is handed over, so a
// right deleted too early must be recognisable: a deleted right is marked
// and its memory held back for a while (the last kQuarantine of them)
// instead of being reused at once.
class CSMMWAccessControlRight {
public:
    CSMMWAccessControlRight(int aclType, int acrType, ISMMWCredential* credential = nullptr)
        : m_nACLType(aclType), m_nACRType(acrType), m_pCredential(credential)
    {
    }
    int ACLType() const { return m_nACLType; }
    int ACRType() const { return m_nACRType; }
    ISMMWCredential* Credential() const { return m_pCredential; }
    // False once the right was deleted (while its memory is held back).
    bool IsLive() const
    {
        unsigned tag = 0;
        std::memcpy(&tag, reinterpret_cast<const char*>(this) + offsetof(CSMMWAccessControlRight, m_nTag), sizeof(tag));
        return tag == kLiveTag;
    }

    // Out of line: the quarantine frees another block than the one it is
    // handed, which GCC would take for a mismatched delete if it saw both.
    static void* operator new(size_t size);
    static void operator delete(void* memory);

private:
    static constexpr unsigned kLiveTag = 0x52434156; // "VACR"
    static constexpr unsigned kDeadTag = 0xDEADAC12;
    static constexpr size_t kQuarantine = 64;
    unsigned m_nTag = kLiveTag;
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
