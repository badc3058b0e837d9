#pragma once
// VKDemographicInfo: one demographic record of a CAC card: the tag's label,
// a readable description and the raw value.
#include "SecStr.h"
#include "base/VelkorExports.h"

class VKGUI_CLASS VKDemographicInfo {
public:
    VKDemographicInfo() = default;
    VKDemographicInfo(const CSecStr& label, const CSecStr& description, const CSecStr& value);
    virtual ~VKDemographicInfo() = default;

    CSecStr GetLabel() const { return m_sLabel; }
    CSecStr GetDescription() const { return m_sDescription; }
    CSecStr GetValue() const { return m_sValue; }

    CSecStr m_sLabel;
    CSecStr m_sDescription;
    CSecStr m_sValue;
};
