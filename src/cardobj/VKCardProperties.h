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
    // Never 0 with an empty serial: without a controller the result is 3,
    // and 13 when the card's identifier is empty or not hexadecimal.
    int GetSerialNumber(CSecStr& serial);

protected:
    VKReader m_propertiesReader;
    CSecStr m_sSerialNumber;
};
