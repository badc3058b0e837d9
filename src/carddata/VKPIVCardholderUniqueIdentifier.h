#pragma once
// VKPIVCardholderUniqueIdentifier: the cardholder unique identifier (CHUID)
// of a PIV or CAC card, read field by field from the middleware, which
// decodes the container and its FASC-N. Each field is kept twice: the raw
// text and a display text in which coded fields read as names. It holds its
// own copy of the reader and is connected only while Load runs.
#include "cardobj/VKReader.h"

#include <map>

class VKGUI_CLASS VKPIVCardholderUniqueIdentifier {
public:
    // Field keys.
    enum Field : int {
        kFascnAgencyCode = 1,
        kFascnSystemCode = 2,
        kFascnCredentialNumber = 3,
        kFascnCredentialSeries = 4,
        kFascnIndividualCredentialIssue = 5,
        kFascnPersonIdentifier = 6,
        kFascnOrganizationalCategory = 7,
        kFascnOrganizationalIdentifier = 8,
        kFascnAssociationCategory = 9,
        kChuidGuid = 10,
        kChuidExpirationDate = 11,
        kChuidAgencyCode = 12,
        kChuidOrganizationIdentifier = 13,
        kChuidDuns = 14,
    };

    explicit VKPIVCardholderUniqueIdentifier(const VKReader& reader);
    virtual ~VKPIVCardholderUniqueIdentifier();
    VKPIVCardholderUniqueIdentifier(const VKPIVCardholderUniqueIdentifier&) = delete;
    VKPIVCardholderUniqueIdentifier& operator=(const VKPIVCardholderUniqueIdentifier&) = delete;

    // Reads every field. `silent` on entry: true when the middleware may not
    // prompt the holder; on return true when a field needed an
    // authentication that was not given. 0, also when fields could not be
    // read (they are empty, or show the "could not be read" text); 22 when
    // the card has no CHUID; 8 when cancelled; else the connection's result.
    int Load(bool& silent);
    // Has a Load running on another thread end before its next field; a
    // Stop before Load makes the next Load end at once.
    void Stop();

    // A field's raw and display text; empty when it was not read.
    CSecStr GetRawValue(int key) const;
    CSecStr GetDisplayValue(int key) const;
    // The issuer signature's status: 0, 2 or 3 as the middleware reports
    // it, 1 for any other value or when it could not be read.
    int GetSignatureStatus() const { return m_nSignatureStatus; }

private:
    // Reads one field; false when the read was cancelled.
    bool LoadField(ISMMWCredential* chuid, int key, int property, const wchar_t* label, VKConnection& connection,
                   bool& silent);
    CSecStr DisplayValue(int key, const CSecStr& raw) const;
    bool TakeStop();

    VKReader m_reader;
    bool m_bStop = false;
    std::map<int, CSecStr> m_rawValues;
    std::map<int, CSecStr> m_displayValues;
    int m_nSignatureStatus = 1;
};
