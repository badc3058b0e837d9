#pragma once
// VKCertificate: one certificate of the card with its parts: the DER
// certificate, its attribute record, its key attribute records, its key
// container (GUID and information) and the flags the store keeps for it.
#include "cardobj/VKCertificateAttributes.h"
#include "cardobj/VKCertificateBlob.h"
#include "cardobj/VKKeyAttributes.h"

class VKGUI_CLASS VKCertificate {
public:
    enum CertificateType : int {
        USER_CERTIFICATE = 1,
        ROOT_CA_CERTIFICATE = 2,
        INTERMEDIATE_CA_CERTIFICATE = 3,
    };

    // `bKeyImported`: the key was put on the card with the certificate by
    // this library (an import), so an empty container information is
    // expected. A certificate with a key whose container information is
    // empty otherwise is skipped by the validity check (bSkip).
    VKCertificate(const VKCertificateBlob& certificate, const VKCertificateAttributes& attributes,
                  const VKPublicKeyAttributes& publicKeyAttributes, const CSecStr& containerGuid,
                  const WipingBytes& containerInfo, bool bPrivateKeyPresent, bool bDefault, bool bDelete,
                  int eCertificateType, bool bKeyImported = false);
    VKCertificate(const VKCertificate&) = default;
    VKCertificate& operator=(const VKCertificate&) = default;
    virtual ~VKCertificate() = default;

    const CSecStr& GetLabel() const { return m_attributes.GetLabel(); }
    int64_t GetExpirationTime() const { return m_certificate.GetExpirationTime(); }

    VKCertificateBlob m_certificate;
    VKCertificateAttributes m_attributes;
    VKPublicKeyAttributes m_publicKeyAttributes;
    VKPrivateKeyAttributes m_privateKeyAttributes;
    VKPrivateKeyBlob m_privateKeyBlob;
    CSecStr m_sContainerGuid;
    WipingBytes m_containerInfo;

    bool bPrivateKeyPresent;
    bool bDefault;
    bool bDelete;
    bool bEncryptionDefault = false;
    bool bSkip = false;
    int eCertificateType;
    // It came from the card (as opposed to added to the store to be saved).
    bool bOnCard = false;
};
