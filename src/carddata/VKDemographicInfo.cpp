#include "carddata/VKDemographicInfo.h"

VKDemographicInfo::VKDemographicInfo(const CSecStr& label, const CSecStr& description, const CSecStr& value)
    : m_sLabel(label), m_sDescription(description), m_sValue(value)
{
}
