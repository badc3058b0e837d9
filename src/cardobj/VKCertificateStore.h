#pragma once
// VKCertificateStore: certificates in memory, in order, owned by the store,
// with at most one marked default (after SetDefaultCertificate) and one
// marked as the preferred encryption certificate. Positions handed out are
// checked against the list on every use.
#include "cardobj/VKCertificate.h"

#include <list>

class VKGUI_CLASS VKCertificateStore {
public:
    // The address of a list slot; null past the end.
    using Position = void*;

    VKCertificateStore();
    virtual ~VKCertificateStore();
    VKCertificateStore(const VKCertificateStore&) = delete;
    VKCertificateStore& operator=(const VKCertificateStore&) = delete;

    // Deletes every certificate.
    int Reset();
    // Appends a copy; 0, or 3 when it cannot be allocated.
    virtual int AddCertificate(const VKCertificate& certificate);
    // 13 for a null or unknown position, else 0.
    virtual int DeleteCertificate(Position position);
    virtual int SetDefaultCertificate(Position position);
    int UnSetDefaultCertificate();
    // The certificate with the smallest non-zero encryption rank, now marked
    // as the encryption default (the others unmarked); null when none.
    virtual Position GetDefaultEFSCertificate();

    Position GetDefaultCertificatePosition();
    Position GetFirstCertificatePosition();
    // The certificate at `position`, which moves on (null at the end); null
    // for an unknown position.
    VKCertificate* GetNextCertificate(Position& position);
    size_t GetCount() const { return m_certificates.size(); }

protected:
    std::list<VKCertificate*>::iterator Find(Position position);
    std::list<VKCertificate*> m_certificates;
};
