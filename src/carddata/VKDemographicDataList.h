#pragma once
// VKDemographicDataList: finds a CAC card's demographic credential by its
// label and reads one tag of it. It holds its own copy of the reader and
// is connected only while a read runs.
#include "carddata/VKDemographicInfo.h"
#include "cardobj/VKReader.h"

class VKGUI_CLASS VKDemographicDataList {
public:
    explicit VKDemographicDataList(const VKReader& reader);
    virtual ~VKDemographicDataList() = default;
    VKDemographicDataList(const VKDemographicDataList&) = delete;
    VKDemographicDataList& operator=(const VKDemographicDataList&) = delete;

    // The record of `tag` in the demographic credential labelled `label`,
    // which the caller deletes; null when no credential has that label, a
    // label could not be read, or the walk was stopped or cancelled.
    VKDemographicInfo* GetDemographicInfo(bool& silent, const CSecStr& label, int tag);
    // Has a walk running on another thread end before its next credential.
    void Stop();

private:
    bool TakeStop();

    VKReader m_reader;
    bool m_bStop = false;
};
