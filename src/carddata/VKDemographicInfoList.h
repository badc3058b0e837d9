#pragma once
// VKDemographicInfoList: reads tags of one demographic credential (data
// type 10) of a CAC card and turns each into a record. It keeps records
// handed to it, so that a tag decoded by another (the rank by the branch
// of service) finds that other's value; it deletes them when destroyed.
// The credential belongs to the middleware and to the connection of whoever
// found it, which must stay open while this list reads.
#include "carddata/VKDemographicInfo.h"
#include "cardobj/VKReader.h"

#include <vector>

class ISMMWCredential;

class VKGUI_CLASS VKDemographicInfoList {
public:
    VKDemographicInfoList(const VKReader& reader, ISMMWCredential* credential);
    virtual ~VKDemographicInfoList();
    VKDemographicInfoList(const VKDemographicInfoList&) = delete;
    VKDemographicInfoList& operator=(const VKDemographicInfoList&) = delete;

    // A new record of `tag`, which the caller deletes; it is not kept in the
    // list. Null when the read was cancelled or stopped, or no connection
    // could be had. A tag that could not be read gives a record with empty
    // texts (or the "could not be read" text when the card wants an
    // authentication; `silent` is then set).
    VKDemographicInfo* GetDemographicInfo(bool& silent, int tag);
    // Keeps a copy of `info` in the list.
    void AddDemographicInfo(const VKDemographicInfo& info);
    // The first record kept whose label is `label`, or null.
    const VKDemographicInfo* GetDemographicInfoWithLabelPosition(const CSecStr& label) const;
    // The label of `tag`: a text for tags 49 to 82, else empty.
    CSecStr GetTagLabel(int tag);
    // The readable description of `value` under `tag`: a date, a name from
    // a code table (empty when the table lacks the code), or the value.
    CSecStr GetCodeDescription(int tag, const CSecStr& value);
    void Stop();

private:
    bool TakeStop();

    VKReader m_reader;
    bool m_bStop = false;
    ISMMWCredential* m_pCredential;
    std::vector<VKDemographicInfo*> m_items;
};
