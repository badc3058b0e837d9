#pragma once
// VKCardCertificateStore: the certificates of the card in one reader, read
// from the card (PKI credentials with their key containers, then the CA
// certificates kept as certificate data objects) and written back: saving,
// deleting and marking the default certificate on the card. Each operation
// connects its own copy of the reader and disconnects before it returns.
// Stop() may come from any thread; a process-wide lock guards the flag.
#include "cardobj/VKByteArray.h"
#include "cardobj/VKCertificateStore.h"
#include "cardobj/VKReader.h"

class ISMMWCredential;

class VKGUI_CLASS VKCardCertificateStore : public VKCertificateStore {
public:
    explicit VKCardCertificateStore(const VKReader& reader);
    ~VKCardCertificateStore() override;

    // The card to look for when the reader has no name.
    void SetCardIdentifier(const VKByteArray& cardIdentifier) { m_cardIdentifier = cardIdentifier; }
    // Connects the reader, first found by the card identifier when it has no
    // name (8 when no reader holds that card).
    int ConnectToReader(VKConnection& connection);

    // Reads the card's certificates into the store (emptied first). 0; 8
    // when stopped (the certificates read so far stay); 13 when some
    // credential held data that is not a certificate, of the wrong kind or
    // oversized (it is left out and logged, the others load); else the
    // layer result code of the failure, with the store empty.
    virtual int LoadFromPhysicalStore();
    // Saves every certificate of the store that did not come from the card.
    virtual int SaveToPhysicalStore();
    // Deletes from the card, and the store, every certificate that may be
    // deleted.
    virtual int RemoveFromPhysicalStore();
    // Saves the certificate on the card, then adds it to the store.
    virtual int AddCertificateInPhysicalStore(const VKCertificate& certificate);
    // 13 for an unknown position or a certificate that may not be deleted.
    virtual int DeleteCertificateInPhysicalStore(Position position);
    // Marks the certificate as the card's one default (22 when the card no
    // longer holds it), in the store as well.
    virtual int SetDefaultCertificateInPhysicalStore(Position position);
    virtual int UnSetDefaultCertificateInPhysicalStore();
    virtual bool IsSupportImportCertificate();
    virtual void Stop();
    // As the in-memory store's, but only while the card can be reached.
    Position GetDefaultEFSCertificate() override;

    // Writes the certificate and its attribute record as one certificate
    // data object (a PKCS TLV buffer: tag 3 the DER certificate, tag 17 the
    // attribute record) and, when the certificate is fit to be the default,
    // makes it the card's one default.
    int SaveOneCertificateInPhysicalStore(const VKCertificate& certificate);
    // Marks the certificate with this label as the encryption default; 22
    // when no certificate has it.
    int SetDefaultEFSCertificateByLabel(const CSecStr& label);
    // The card's first default PKI credential in *out: 0; 4 when none; 13
    // for a null `out`; 8 when stopped.
    int GetDefaultCertificateCredentialId(VKConnection& connection, ISMMWCredential** out);

private:
    // Tests the stop flag under the lock, clearing it when set.
    bool TakeStop();
    int LoadCertificates(VKConnection& connection);
    // Adds a certificate read from the card; a failed allocation (null) is
    // logged and left out.
    void KeepOnCard(VKCertificate* certificate);
    // Writes attribute 38 = false on every default PKI credential of the card.
    int UnsetCardDefaults(VKConnection& connection);
    // The card credential holding this DER certificate, or null.
    ISMMWCredential* FindCardCredential(VKConnection& connection, const WipingBytes& der);

    VKReader m_reader;
    VKByteArray m_cardIdentifier;
    bool m_bStop = false;
};
