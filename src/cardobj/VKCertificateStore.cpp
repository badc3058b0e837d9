#include "cardobj/VKCertificateStore.h"

#include "cardobj/FailureMap.h"
#include "cardobj/LayerResult.h"
#include "base/Log.h"

#include <new>

VKCertificateStore::VKCertificateStore()
{
    vklogLog(kLayerTag, VKLOG_ENTRY, L"VKCertificateStore::VKCertificateStore : this=%#x", HandleBits(this));
    vklogLog(kLayerTag, VKLOG_EXIT, L"VKCertificateStore::VKCertificateStore");
}

VKCertificateStore::~VKCertificateStore()
{
    vklogLog(kLayerTag, VKLOG_ENTRY, L"VKCertificateStore::~VKCertificateStore : this=%#x", HandleBits(this));
    Reset();
    vklogLog(kLayerTag, VKLOG_EXIT, L"VKCertificateStore::~VKCertificateStore");
}

int VKCertificateStore::Reset()
{
    for (VKCertificate* certificate : m_certificates)
        delete certificate;
    m_certificates.clear();
    vklogLog(kLayerTag, VKLOG_EXIT, L"VKCertificateStore::Reset : ret=(%#x)", kLayerOk);
    return kLayerOk;
}

std::list<VKCertificate*>::iterator VKCertificateStore::Find(Position position)
{
    for (auto it = m_certificates.begin(); it != m_certificates.end(); ++it)
        if (position && &*it == position)
            return it;
    return m_certificates.end();
}

int VKCertificateStore::AddCertificate(const VKCertificate& certificate)
{
    VKCertificate* copy = new (std::nothrow) VKCertificate(certificate);
    if (!copy) {
        vklogLog(kLayerTag, VKLOG_ERROR, L"VKCertificateStore::AddCertificate : Error while allocating memory");
        return kLayerNotConnected;
    }
    m_certificates.push_back(copy);
    return kLayerOk;
}

int VKCertificateStore::DeleteCertificate(Position position)
{
    auto found = Find(position);
    if (found == m_certificates.end()) {
        vklogLog(kLayerTag, VKLOG_ERROR, L"VKCertificateStore::DeleteCertificate : pos=null pointer!");
        return kLayerInvalidParameter;
    }
    delete *found;
    m_certificates.erase(found);
    return kLayerOk;
}

VKCertificateStore::Position VKCertificateStore::GetDefaultCertificatePosition()
{
    for (auto& slot : m_certificates)
        if (slot->bDefault)
            return &slot;
    return nullptr;
}

int VKCertificateStore::SetDefaultCertificate(Position position)
{
    auto found = Find(position);
    if (found == m_certificates.end()) {
        vklogLog(kLayerTag, VKLOG_ERROR, L"VKCertificateStore::SetDefaultCertificate : pos=null pointer!");
        return kLayerInvalidParameter;
    }
    for (VKCertificate* certificate : m_certificates)
        certificate->bDefault = certificate == *found;
    return kLayerOk;
}

int VKCertificateStore::UnSetDefaultCertificate()
{
    for (VKCertificate* certificate : m_certificates)
        certificate->bDefault = false;
    return kLayerOk;
}

VKCertificateStore::Position VKCertificateStore::GetDefaultEFSCertificate()
{
    Position best = nullptr;
    unsigned bestRank = 0;
    for (auto& slot : m_certificates) {
        const unsigned rank = slot->m_attributes.GetEncryptionRank();
        if (rank != 0 && (!best || rank < bestRank)) {
            best = &slot;
            bestRank = rank;
        }
    }
    for (auto& slot : m_certificates)
        slot->bEncryptionDefault = &slot == best;
    vklogLog(kLayerTag, VKLOG_INFO, L"VKCertificateStore::GetDefaultEFSCertificate : Best certificate position=(%#x)",
             HandleBits(best));
    return best;
}

VKCertificateStore::Position VKCertificateStore::GetFirstCertificatePosition()
{
    return m_certificates.empty() ? nullptr : &m_certificates.front();
}

VKCertificate* VKCertificateStore::GetNextCertificate(Position& position)
{
    auto found = Find(position);
    if (found == m_certificates.end()) {
        position = nullptr;
        return nullptr;
    }
    auto next = std::next(found);
    position = next == m_certificates.end() ? nullptr : &*next;
    return *found;
}
