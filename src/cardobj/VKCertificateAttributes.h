#pragma once
// VKCertificateAttributes: the attribute record the card keeps with a
// certificate: one byte of encryption rank (0: not for encryption; the
// smallest other rank is the preferred encryption certificate), then the
// certificate's label in UTF-8.
#include "SecStr.h"
#include "WipingAllocator.h"
#include "base/VelkorExports.h"

class VKGUI_CLASS VKCertificateAttributes {
public:
    VKCertificateAttributes() = default;
    explicit VKCertificateAttributes(const WipingBytes& record);

    const WipingBytes& GetBytes() const { return m_record; }
    // The label as text, for display (any invalid UTF-8 sequence becomes
    // U+FFFD, as the system converts it).
    const CSecStr& GetLabel() const { return m_sLabel; }
    unsigned GetEncryptionRank() const { return m_record.empty() ? 0 : m_record[0]; }

private:
    WipingBytes m_record;
    CSecStr m_sLabel;
};
