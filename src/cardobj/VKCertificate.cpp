#include "cardobj/VKCertificate.h"

#include "cardobj/FailureMap.h"
#include "base/Log.h"

VKCertificate::VKCertificate(const VKCertificateBlob& certificate, const VKCertificateAttributes& attributes,
                             const VKPublicKeyAttributes& publicKeyAttributes, const CSecStr& containerGuid,
                             const WipingBytes& containerInfo, bool bPrivateKeyPresentIn, bool bDefaultIn,
                             bool bDeleteIn, int eCertificateTypeIn, bool bKeyImported)
    : m_certificate(certificate), m_attributes(attributes), m_publicKeyAttributes(publicKeyAttributes),
      m_sContainerGuid(containerGuid), m_containerInfo(containerInfo), bPrivateKeyPresent(bPrivateKeyPresentIn),
      bDefault(bDefaultIn), bDelete(bDeleteIn), eCertificateType(eCertificateTypeIn)
{
    vklogLog(kLayerTag, VKLOG_ENTRY, L"VKCertificate::VKCertificate : this=%#x", HandleBits(this));
    vklogLog(kLayerTag, VKLOG_INFO, L"VKCertificate::VKCertificate : bPrivateKeyPresent=%u", bPrivateKeyPresent ? 1u : 0u);
    vklogLog(kLayerTag, VKLOG_INFO, L"VKCertificate::VKCertificate : bDefault=%u", bDefault ? 1u : 0u);
    vklogLog(kLayerTag, VKLOG_INFO, L"VKCertificate::VKCertificate : bDelete=%u", bDelete ? 1u : 0u);
    if (eCertificateType != USER_CERTIFICATE && eCertificateType != ROOT_CA_CERTIFICATE &&
        eCertificateType != INTERMEDIATE_CA_CERTIFICATE)
        vklogLog(kLayerTag, VKLOG_ERROR, L"VKCertificate::VKCertificate : eCertificateType is unknown");
    bSkip = bPrivateKeyPresent && !bKeyImported && m_containerInfo.empty();
    vklogLog(kLayerTag, VKLOG_EXIT, L"VKCertificate::VKCertificate");
}
