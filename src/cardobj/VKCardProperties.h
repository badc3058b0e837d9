#pragma once
// VKCardProperties: reads properties of the card in one reader; the base of
// VKCardManagement. It holds its own copy of the reader.
#include "cardobj/VKReader.h"

class VKGUI_CLASS VKCardProperties {
public:
    explicit VKCardProperties(const VKReader& reader);
    virtual ~VKCardProperties();
    VKCardProperties(const VKCardProperties&) = delete;
    VKCardProperties& operator=(const VKCardProperties&) = delete;

    // The card identifier as uppercase hexadecimal, two digits per byte.
    int GetSerialNumber(CSecStr& serial);

protected:
    VKReader m_propertiesReader;
    CSecStr m_sSerialNumber;
};
