#include "cardobj/VKCardCertificateStore.h"

#include "cardobj/FailureMap.h"
#include "cardobj/LayerResult.h"
#include "cardobj/VKReaderList.h"
#include "carddata/CGctlvException.h"
#include "carddata/PKCSTLVBuffer.h"
#include "base/ExceptionBarrier.h"
#include "base/Log.h"

#include "CConverter.h"
#include "CertificateProperties.h"
#include "SMMWController.h"

#include <ctime>
#include <memory>
#include <mutex>
#include <new>

namespace {

constexpr const wchar_t* kLoad = L"VKCardCertificateStore::LoadFromPhysicalStore";
// No certificate or attribute record of a card comes near this; a larger
// value is not read as one.
constexpr size_t kMaxCardValueBytes = 64 * 1024;
constexpr uint32_t kTlvCertificate = 3;
constexpr uint32_t kTlvAttributes = 17;
constexpr int kStopped = kLayerNoCardOrCancelled;
constexpr int kNoDefaultCredential = 4;

// Guards the stop flag of every store; made on first use.
std::mutex& StopLock()
{
    static std::mutex lock;
    return lock;
}

// Disconnects the reader copy when the operation ends, however it ends.
class ConnectedReader {
public:
    explicit ConnectedReader(VKReader& reader) : m_reader(reader) {}
    ~ConnectedReader() { m_reader.Disconnect(); }
    ConnectedReader(const ConnectedReader&) = delete;
    ConnectedReader& operator=(const ConnectedReader&) = delete;

private:
    VKReader& m_reader;
};

bool IsEmptyValue(const VKData& value)
{
    return value.IsEmpty() || (value.GetKind() == VKData::Kind::Bytes && value.GetBytes().empty()) ||
           (value.GetKind() == VKData::Kind::String && value.GetString().IsEmpty());
}

// The bytes of a card value, or false (logged) when it is of another kind
// or larger than any certificate record.
bool CardBytes(const VKData& value, const wchar_t* what, WipingBytes& bytes)
{
    if (value.GetKind() != VKData::Kind::Bytes || value.GetBytes().size() > kMaxCardValueBytes) {
        vklogLog(kLayerTag, VKLOG_ERROR,
                 L"VKCardCertificateStore::LoadFromPhysicalStore : the %s is not a byte array of at most %u bytes, "
                 L"the credential is left out",
                 what, static_cast<unsigned>(kMaxCardValueBytes));
        return false;
    }
    bytes = value.GetBytes();
    return true;
}

// The certificate and attribute record of a certificate data object: its
// value is either the DER certificate itself (a SEQUENCE, 0x30) or a PKCS
// TLV buffer as SaveOneCertificateInPhysicalStore writes it.
bool UnpackDataObject(const WipingBytes& value, WipingBytes& der, WipingBytes& attributes)
{
    if (value.front() == 0x30) {
        der = value;
        return true;
    }
    try {
        const PKCSTLVBuffer buffer(value.data(), value.size());
        if (!buffer.GetValue(kTlvCertificate, der)) {
            vklogLog(kLayerTag, VKLOG_ERROR, L"%s : the data object holds no certificate", kLoad);
            return false;
        }
        buffer.GetValue(kTlvAttributes, attributes);
        return true;
    } catch (CGctlvException* failure) {
        std::unique_ptr<CGctlvException> owned(failure);
        vklogLog(kLayerTag, VKLOG_ERROR, L"%s : the data object is not a certificate: %s %s", kLoad,
                 failure->ToString().c_str(), failure->getMessage());
        return false;
    }
}

bool MayDelete(ISMMWCredential* credential)
{
    ISMMWAccessControlList* rights = credential->GetAccessControlList(L"ActionDeleteCredential");
    return rights && rights->IsAuthenticable();
}

} // namespace

VKCardCertificateStore::VKCardCertificateStore(const VKReader& reader) : m_reader(reader)
{
    vklogLog(kLayerTag, VKLOG_ENTRY, L"VKCardCertificateStore::VKCardCertificateStore : this=%#x", HandleBits(this));
    vklogLog(kLayerTag, VKLOG_EXIT, L"VKCardCertificateStore::VKCardCertificateStore");
}

VKCardCertificateStore::~VKCardCertificateStore()
{
    vklogLog(kLayerTag, VKLOG_ENTRY, L"VKCardCertificateStore::~VKCardCertificateStore : this=%#x", HandleBits(this));
    vklogLog(kLayerTag, VKLOG_EXIT, L"VKCardCertificateStore::~VKCardCertificateStore");
}

void VKCardCertificateStore::Stop()
{
    vklogLog(kLayerTag, VKLOG_ENTRY, L"VKCardCertificateStore::Stop");
    std::lock_guard<std::mutex> hold(StopLock());
    m_bStop = true;
}

bool VKCardCertificateStore::TakeStop()
{
    std::lock_guard<std::mutex> hold(StopLock());
    const bool stop = m_bStop;
    m_bStop = false;
    if (stop)
        vklogLog(kLayerTag, VKLOG_INFO, L"VKCardCertificateStore : stopped");
    return stop;
}

int VKCardCertificateStore::ConnectToReader(VKConnection& connection)
{
    vklogLog(kLayerTag, VKLOG_ENTRY, L"VKCardCertificateStore::ConnectToReader");
    if (m_reader.GetName().IsEmpty() && !m_cardIdentifier.IsEmpty()) {
        VKReaderList readers;
        VKReader* holder = readers.GetReaderFromCUID(m_cardIdentifier);
        if (!holder) {
            vklogLog(kLayerTag, VKLOG_ERROR, L"VKCardCertificateStore::ConnectToReader : no reader holds the card");
            return kLayerNoCardOrCancelled;
        }
        m_reader = *holder;
    }
    const int result = m_reader.Connect(connection);
    vklogLog(kLayerTag, VKLOG_EXIT, L"VKCardCertificateStore::ConnectToReader : ret=(%#x)", result);
    return result;
}

int VKCardCertificateStore::LoadFromPhysicalStore()
try {
    vklogLog(kLayerTag, VKLOG_ENTRY, kLoad);
    Reset();
    VKConnection connection;
    int result = ConnectToReader(connection);
    if (result != kLayerOk) {
        vklogLog(kLayerTag, VKLOG_ERROR, L"%s : Unable to connect. Error is (%d)", kLoad, result);
        return result;
    }
    {
        ConnectedReader connected(m_reader);
        if (!connection.m_pContext) {
            vklogLog(kLayerTag, VKLOG_ERROR, L"%s : no card context", kLoad);
            result = kLayerNotConnected;
        } else {
            result = LoadCertificates(connection);
        }
    }
    vklogLog(kLayerTag, VKLOG_EXIT, L"VKCardCertificateStore::LoadFromPhysicalStore : ret=(%#x)", result);
    return result;
} catch (...) {
    Reset();
    return ExceptionFailure(kLayerTag, kLoad, static_cast<int>(kLayerNotConnected));
}

void VKCardCertificateStore::KeepOnCard(VKCertificate* certificate)
{
    if (!certificate) {
        vklogLog(kLayerTag, VKLOG_ERROR, L"%s : Error while allocating memory for pCertificate", kLoad);
        return;
    }
    certificate->bOnCard = true;
    m_certificates.push_back(certificate);
}

int VKCardCertificateStore::LoadCertificates(VKConnection& connection)
{
    bool leftOut = false;
    connection.GetUserPinCredential();
    std::vector<ISMMWCredential*> credentials;
    connection.ListPKICredentials(credentials, false);
    const wchar_t* failureLine = L"";
    // A failure of the card ends the walk; nothing half read stays.
    auto failed = [this, &failureLine]() {
        const int code = TakeFailure(failureLine);
        if (code == LayerResultOfFailure(3007))
            vklogLog(kLayerTag, VKLOG_INFO, L"%s : Card discovery may be incorrect: refresh it", kLoad);
        Reset();
        return code;
    };
    try {
        for (ISMMWCredential* credential : credentials) {
            // The three records in this order; a credential without one of
            // them holds no certificate the store can show.
            VKData certificate, attributes, publicKey;
            const struct {
                int property;
                VKData& value;
                const wchar_t* failure;
                const wchar_t* missing;
            } records[] = {
                {kPropertyCertificate, certificate,
                 L"VKCardCertificateStore::LoadFromPhysicalStore : Error while trying to retrieve certificate: %s.",
                 L"There is no certificate"},
                {kPropertyCertificateAttributes, attributes,
                 L"VKCardCertificateStore::LoadFromPhysicalStore : Error while trying to retrieve certificate "
                 L"attributes: %s.",
                 L"There is no certificate attributes"},
                {kPropertyPublicKeyAttributes, publicKey,
                 L"VKCardCertificateStore::LoadFromPhysicalStore : Error while trying to retrieve public key "
                 L"attributes: %s.",
                 L"There is no public key attributes"},
            };
            bool complete = true;
            for (const auto& record : records) {
                failureLine = record.failure;
                credential->GetProperty(record.property, record.value);
                if (IsEmptyValue(record.value)) {
                    vklogLog(kLayerTag, VKLOG_INFO, L"%s : %s", kLoad, record.missing);
                    complete = false;
                    break;
                }
            }
            if (!complete)
                continue;
            WipingBytes der, attributeRecord, publicKeyRecord;
            if (!CardBytes(certificate, L"certificate", der) || !CardBytes(attributes, L"certificate attributes", attributeRecord) ||
                !CardBytes(publicKey, L"public key attributes", publicKeyRecord)) {
                leftOut = true;
                continue;
            }
            ISMMWCredential* container = connection.GetAssociatedKCCredential(credential);
            CSecStr guid;
            WipingBytes containerInfo;
            if (container) {
                VKData value;
                failureLine = L"VKCardCertificateStore::LoadFromPhysicalStore : Error while trying to retrieve container "
                              L"GUID: %s.";
                container->GetProperty(kPropertyContainerGuid, value);
                if (IsEmptyValue(value))
                    vklogLog(kLayerTag, VKLOG_INFO, L"%s : There is no associated container GUID", kLoad);
                else if (value.GetKind() == VKData::Kind::String)
                    guid = value.GetString();
                else if (value.GetKind() == VKData::Kind::Bytes && value.GetBytes().size() <= kMaxCardValueBytes)
                    guid = CConverter::BinToHex(value.GetBytes());
                failureLine = L"VKCardCertificateStore::LoadFromPhysicalStore : Error while trying to retrieve container "
                              L"info: %s.";
                value.Clear();
                container->GetProperty(kPropertyContainerInfo, value);
                if (IsEmptyValue(value))
                    vklogLog(kLayerTag, VKLOG_INFO, L"%s : There is no container info", kLoad);
                else if (value.GetKind() == VKData::Kind::Bytes && value.GetBytes().size() <= kMaxCardValueBytes)
                    containerInfo = value.GetBytes();
            }
            if (TakeStop())
                return kStopped;
            failureLine = L"VKCardCertificateStore::LoadFromPhysicalStore : Error while trying to retrieve default flag: %s.";
            VKData primary;
            credential->GetProperty(kAttributePrimary, primary);
            failureLine = L"VKCardCertificateStore::LoadFromPhysicalStore : Error while trying to retrieve delete right: %s.";
            const bool deletable = MayDelete(credential);
            if (TakeStop())
                return kStopped;
            const VKCertificateBlob blob(der);
            if (!blob.IsParsed()) {
                vklogLog(kLayerTag, VKLOG_ERROR, L"%s : the certificate of %u bytes cannot be parsed, it is left out",
                         kLoad, static_cast<unsigned>(der.size()));
                leftOut = true;
                continue;
            }
            const int type = container                ? VKCertificate::USER_CERTIFICATE
                             : blob.IsSelfIssued()    ? VKCertificate::ROOT_CA_CERTIFICATE
                                                      : VKCertificate::INTERMEDIATE_CA_CERTIFICATE;
            std::unique_ptr<VKCertificate> loaded(new (std::nothrow) VKCertificate(
                blob, VKCertificateAttributes(attributeRecord), VKPublicKeyAttributes(publicKeyRecord), guid,
                containerInfo, container != nullptr, primary.GetBool(), deletable, type));
            KeepOnCard(loaded.release());
        }
    } catch (...) {
        return failed();
    }

    std::vector<ISMMWCredential*> authorities;
    connection.ListDataCredentials(kDataCredentialCertificate, authorities);
    failureLine = L"VKCardCertificateStore::LoadFromPhysicalStore : Error while trying to retrieve CA certificate: %s.";
    try {
        for (ISMMWCredential* credential : authorities) {
            VKData value;
            credential->GetProperty(kPropertyCertificate, value);
            if (IsEmptyValue(value)) {
                vklogLog(kLayerTag, VKLOG_INFO, L"%s : There is no certificate", kLoad);
                continue;
            }
            WipingBytes bytes, der, attributeRecord;
            if (!CardBytes(value, L"CA certificate", bytes) || !UnpackDataObject(bytes, der, attributeRecord)) {
                leftOut = true;
                continue;
            }
            if (TakeStop())
                return kStopped;
            const bool deletable = MayDelete(credential);
            const VKCertificateBlob blob(der);
            if (!blob.IsParsed()) {
                vklogLog(kLayerTag, VKLOG_ERROR, L"%s : the CA certificate of %u bytes cannot be parsed, it is left out",
                         kLoad, static_cast<unsigned>(der.size()));
                leftOut = true;
                continue;
            }
            std::unique_ptr<VKCertificate> loaded(new (std::nothrow) VKCertificate(
                blob, VKCertificateAttributes(attributeRecord), VKPublicKeyAttributes(), CSecStr(), WipingBytes(), false,
                false, deletable,
                blob.IsSelfIssued() ? VKCertificate::ROOT_CA_CERTIFICATE : VKCertificate::INTERMEDIATE_CA_CERTIFICATE));
            KeepOnCard(loaded.release());
        }
    } catch (...) {
        return failed();
    }
    return leftOut ? kLayerInvalidParameter : kLayerOk;
}

int VKCardCertificateStore::UnsetCardDefaults(VKConnection& connection)
{
    std::vector<ISMMWCredential*> defaults;
    connection.ListPKICredentials(defaults, true);
    for (ISMMWCredential* credential : defaults)
        if (int result = connection.UpdateCredential(credential, kAttributePrimary, VKData(false)))
            return result;
    return kLayerOk;
}

ISMMWCredential* VKCardCertificateStore::FindCardCredential(VKConnection& connection, const WipingBytes& der)
{
    std::vector<ISMMWCredential*> credentials;
    connection.ListPKICredentials(credentials, false);
    connection.ListDataCredentials(kDataCredentialCertificate, credentials);
    for (ISMMWCredential* credential : credentials) {
        VKData value;
        credential->GetProperty(kPropertyCertificate, value);
        WipingBytes held, attributes;
        if (value.GetKind() != VKData::Kind::Bytes || value.GetBytes().empty())
            continue;
        if (value.GetBytes() == der ||
            (value.GetBytes().front() != 0x30 && UnpackDataObject(value.GetBytes(), held, attributes) && held == der))
            return credential;
    }
    return nullptr;
}

int VKCardCertificateStore::SaveOneCertificateInPhysicalStore(const VKCertificate& certificate)
try {
    ScopedFunctionLog log(L"VKCardCertificateStore::SaveOneCertificateInPhysicalStore", kLayerTag);
    if (certificate.m_certificate.GetBytes().empty())
        return kLayerInvalidParameter;
    PKCSTLVBuffer buffer;
    buffer.AddTLV(kTlvCertificate, certificate.m_certificate.GetBytes());
    buffer.AddTLV(kTlvAttributes, certificate.m_attributes.GetBytes());
    VKConnection connection;
    int result = ConnectToReader(connection);
    if (result != kLayerOk)
        return result;
    ConnectedReader connected(m_reader);
    ISMMWCredential* created = nullptr;
    result = connection.CreateDataCredential(VKData(buffer.Bytes()), &created);
    std::unique_ptr<ISMMWCredential> owned(created);
    const ICertificateProperties* properties = certificate.m_certificate.GetProperties();
    if (result == kLayerOk && created && properties &&
        properties->vkIsCertOKForSetAsDefault(static_cast<int64_t>(std::time(nullptr)))) {
        result = UnsetCardDefaults(connection);
        if (result == kLayerOk)
            result = connection.UpdateCredential(created, kAttributePrimary, VKData(true));
    }
    vklogLog(kLayerTag, VKLOG_INFO, L"VKCardCertificateStore::SaveOneCertificateInPhysicalStore : ret=(%#x)", result);
    return result;
} catch (...) {
    return ExceptionFailure(kLayerTag, L"VKCardCertificateStore::SaveOneCertificateInPhysicalStore",
                            static_cast<int>(kLayerNotConnected));
}

int VKCardCertificateStore::SaveToPhysicalStore()
{
    for (VKCertificate* certificate : m_certificates) {
        if (certificate->bOnCard)
            continue;
        if (int result = SaveOneCertificateInPhysicalStore(*certificate))
            return result;
        certificate->bOnCard = true;
    }
    return kLayerOk;
}

int VKCardCertificateStore::AddCertificateInPhysicalStore(const VKCertificate& certificate)
{
    int result = SaveOneCertificateInPhysicalStore(certificate);
    if (result == kLayerOk && (result = AddCertificate(certificate)) == kLayerOk)
        m_certificates.back()->bOnCard = true;
    return result;
}

int VKCardCertificateStore::DeleteCertificateInPhysicalStore(Position position)
try {
    ScopedFunctionLog log(L"VKCardCertificateStore::DeleteCertificateInPhysicalStore", kLayerTag);
    auto found = Find(position);
    if (found == m_certificates.end()) {
        vklogLog(kLayerTag, VKLOG_ERROR, L"VKCardCertificateStore::DeleteCertificateInPhysicalStore : pos=null pointer!");
        return kLayerInvalidParameter;
    }
    if (!(*found)->bDelete) {
        vklogLog(kLayerTag, VKLOG_ERROR,
                 L"VKCardCertificateStore::DeleteCertificateInPhysicalStore : the card does not let this certificate go");
        return kLayerInvalidParameter;
    }
    VKConnection connection;
    int result = ConnectToReader(connection);
    if (result != kLayerOk)
        return result;
    ConnectedReader connected(m_reader);
    if (!connection.m_pContext)
        return kLayerNotConnected;
    try {
        ISMMWCredential* credential = FindCardCredential(connection, (*found)->m_certificate.GetBytes());
        if (!credential)
            return kLayerNotFound;
        connection.m_pContext->DeleteCredential(credential);
    } catch (...) {
        return TakeFailure(L"VKCardCertificateStore::DeleteCertificateInPhysicalStore : Error while trying to delete "
                           L"certificate: %s.");
    }
    return DeleteCertificate(position);
} catch (...) {
    return ExceptionFailure(kLayerTag, L"VKCardCertificateStore::DeleteCertificateInPhysicalStore",
                            static_cast<int>(kLayerNotConnected));
}

int VKCardCertificateStore::RemoveFromPhysicalStore()
{
    for (Position position = GetFirstCertificatePosition(); position;) {
        Position current = position;
        VKCertificate* certificate = GetNextCertificate(position);
        if (certificate && certificate->bDelete)
            if (int result = DeleteCertificateInPhysicalStore(current))
                return result;
    }
    return kLayerOk;
}

int VKCardCertificateStore::SetDefaultCertificateInPhysicalStore(Position position)
try {
    ScopedFunctionLog log(L"VKCardCertificateStore::SetDefaultCertificateInPhysicalStore", kLayerTag);
    auto found = Find(position);
    if (found == m_certificates.end())
        return kLayerInvalidParameter;
    VKConnection connection;
    int result = ConnectToReader(connection);
    if (result != kLayerOk)
        return result;
    ConnectedReader connected(m_reader);
    if (!connection.m_pContext)
        return kLayerNotConnected;
    ISMMWCredential* credential = nullptr;
    try {
        credential = FindCardCredential(connection, (*found)->m_certificate.GetBytes());
    } catch (...) {
        return TakeFailure(L"VKCardCertificateStore::SetDefaultCertificateInPhysicalStore : Error while trying to find "
                           L"certificate: %s.");
    }
    if (!credential)
        return kLayerNotFound;
    if ((result = UnsetCardDefaults(connection)) != kLayerOk ||
        (result = connection.UpdateCredential(credential, kAttributePrimary, VKData(true))) != kLayerOk)
        return result;
    return SetDefaultCertificate(position);
} catch (...) {
    return ExceptionFailure(kLayerTag, L"VKCardCertificateStore::SetDefaultCertificateInPhysicalStore",
                            static_cast<int>(kLayerNotConnected));
}

int VKCardCertificateStore::UnSetDefaultCertificateInPhysicalStore()
try {
    ScopedFunctionLog log(L"VKCardCertificateStore::UnSetDefaultCertificateInPhysicalStore", kLayerTag);
    VKConnection connection;
    int result = ConnectToReader(connection);
    if (result != kLayerOk)
        return result;
    ConnectedReader connected(m_reader);
    if (!connection.m_pContext)
        return kLayerNotConnected;
    if ((result = UnsetCardDefaults(connection)) == kLayerOk)
        UnSetDefaultCertificate();
    return result;
} catch (...) {
    return ExceptionFailure(kLayerTag, L"VKCardCertificateStore::UnSetDefaultCertificateInPhysicalStore",
                            static_cast<int>(kLayerNotConnected));
}

bool VKCardCertificateStore::IsSupportImportCertificate()
try {
    ScopedFunctionLog log(L"VKCardCertificateStore::IsSupportImportCertificate", kLayerTag);
    VKConnection connection;
    if (ConnectToReader(connection) != kLayerOk)
        return false;
    ConnectedReader connected(m_reader);
    return connection.IsCardSupportImportCertificate();
} catch (...) {
    return ExceptionFailure(kLayerTag, L"VKCardCertificateStore::IsSupportImportCertificate", false);
}

VKCertificateStore::Position VKCardCertificateStore::GetDefaultEFSCertificate()
try {
    VKConnection connection;
    if (ConnectToReader(connection) != kLayerOk) {
        vklogLog(kLayerTag, VKLOG_ERROR, L"VKCardCertificateStore::GetDefaultEFSCertificate : no connection, no default");
        return nullptr;
    }
    ConnectedReader connected(m_reader);
    return connection.m_pContext ? VKCertificateStore::GetDefaultEFSCertificate() : nullptr;
} catch (...) {
    return ExceptionFailure(kLayerTag, L"VKCardCertificateStore::GetDefaultEFSCertificate", static_cast<Position>(nullptr));
}

int VKCardCertificateStore::SetDefaultEFSCertificateByLabel(const CSecStr& label)
{
    VKCertificate* chosen = nullptr;
    for (VKCertificate* certificate : m_certificates)
        if (!chosen && certificate->GetLabel() == label)
            chosen = certificate;
    if (!chosen)
        return kLayerNotFound;
    for (VKCertificate* certificate : m_certificates)
        certificate->bEncryptionDefault = certificate == chosen;
    return kLayerOk;
}

int VKCardCertificateStore::GetDefaultCertificateCredentialId(VKConnection& connection, ISMMWCredential** out)
try {
    ScopedFunctionLog log(L"VKCardCertificateStore::GetDefaultCertificateCredentialId", kLayerTag);
    if (!out)
        return kLayerInvalidParameter;
    if (TakeStop())
        return kStopped;
    std::vector<ISMMWCredential*> defaults;
    connection.ListPKICredentials(defaults, true);
    if (TakeStop())
        return kStopped;
    if (defaults.empty())
        return kNoDefaultCredential;
    *out = defaults.front();
    return kLayerOk;
} catch (...) {
    return ExceptionFailure(kLayerTag, L"VKCardCertificateStore::GetDefaultCertificateCredentialId",
                            static_cast<int>(kLayerNotConnected));
}
