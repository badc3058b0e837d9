#include "carddata/VKDemographicInfoList.h"

#include "carddata/CardDataSupport.h"
#include "carddata/CodeTables.h"
#include "carddata/DemographicRules.h"
#include "cardobj/FailureMap.h"
#include "cardobj/LayerResult.h"
#include "base/ExceptionBarrier.h"
#include "base/Log.h"

#include "SMMWController.h"

#include <memory>
#include <mutex>

namespace {

constexpr unsigned kUnreadableString = 10113;

std::mutex& StopLock()
{
    static std::mutex lock;
    return lock;
}

std::wstring_view View(const CSecStr& text)
{
    return std::wstring_view(text.GetString(), static_cast<size_t>(text.GetLength()));
}

} // namespace

VKDemographicInfoList::VKDemographicInfoList(const VKReader& reader, ISMMWCredential* credential)
    : m_reader(reader), m_pCredential(credential)
{
    vklogLog(kLayerTag, VKLOG_ENTRY, L"VKDemographicInfoList::VKDemographicInfoList : this=%#x", HandleBits(this));
    vklogLog(kLayerTag, VKLOG_EXIT, L"VKDemographicInfoList::VKDemographicInfoList");
}

VKDemographicInfoList::~VKDemographicInfoList()
{
    for (VKDemographicInfo* item : m_items)
        delete item;
    vklogLog(kLayerTag, VKLOG_ENTRY, L"VKDemographicInfoList::~VKDemographicInfoList : this=%#x", HandleBits(this));
}

void VKDemographicInfoList::Stop()
try {
    vklogLog(kLayerTag, VKLOG_ENTRY, L"VKDemographicInfoList::Stop");
    std::lock_guard<std::mutex> hold(StopLock());
    m_bStop = true;
} catch (...) {
    LogEscapingException(kLayerTag, L"VKDemographicInfoList::Stop");
}

bool VKDemographicInfoList::TakeStop()
{
    std::lock_guard<std::mutex> hold(StopLock());
    return std::exchange(m_bStop, false);
}

void VKDemographicInfoList::AddDemographicInfo(const VKDemographicInfo& info)
{
    auto copy = std::make_unique<VKDemographicInfo>(info);
    m_items.push_back(copy.get());
    copy.release();
}

const VKDemographicInfo* VKDemographicInfoList::GetDemographicInfoWithLabelPosition(const CSecStr& label) const
{
    for (const VKDemographicInfo* item : m_items)
        if (item->m_sLabel.Compare(label) == 0)
            return item;
    return nullptr;
}

CSecStr VKDemographicInfoList::GetTagLabel(int tag)
{
    vklogLog(kLayerTag, VKLOG_DETAIL, L"VKDemographicInfoList::GetTagLabel GetTagLabel begins...");
    const unsigned id = DemographicLabelString(tag);
    CSecStr label = id ? LayerString(id) : CSecStr();
    vklogLog(kLayerTag, VKLOG_DETAIL, L"VKDemographicInfoList::GetTagLabel GetTagLabel returns (%s)", label.GetString());
    return label;
}

CSecStr VKDemographicInfoList::GetCodeDescription(int tag, const CSecStr& value)
{
    const DescriptionRule rule = DescriptionRuleOf(tag);
    switch (rule.kind) {
    case DescriptionRule::Raw:
        return value;
    case DescriptionRule::Empty:
        return CSecStr();
    case DescriptionRule::Date: {
        std::wstring date;
        const DateResult result = FormatCardDate(View(value), date);
        if (result == DateResult::Formatted)
            return CSecStr(date.c_str());
        if (result == DateResult::Invalid)
            vklogLog(kLayerTag, VKLOG_DETAIL, L"VKDemographicInfoList::GetCodeDescription Invalid date!");
        return value;
    }
    case DescriptionRule::Table: {
        const unsigned id = DemographicCodeString(rule.table, L"", View(value));
        return id ? LayerString(id) : CSecStr();
    }
    case DescriptionRule::PayGrade: {
        const CSecStr branchLabel = GetTagLabel(kBranchOfServiceTag);
        const VKDemographicInfo* branch = branchLabel.IsEmpty() ? nullptr
                                                                : GetDemographicInfoWithLabelPosition(branchLabel);
        if (!branch)
            return CSecStr();
        const unsigned id = DemographicCodeString(rule.table, View(branch->m_sValue), View(value));
        return id ? LayerString(id) : CSecStr();
    }
    }
    return value;
}

VKDemographicInfo* VKDemographicInfoList::GetDemographicInfo(bool& silent, int tag)
try {
    vklogLog(kLayerTag, VKLOG_ENTRY, L"VKDemographicInfoList::GetDemographicInfo");
    VKConnection connection;
    if (m_reader.Connect(connection) != kLayerOk || !connection.m_pContext || !m_pCredential) {
        vklogLog(kLayerTag, VKLOG_ERROR, L"VKDemographicInfoList::GetDemographicInfo : no connection or no credential");
        m_reader.Disconnect();
        vklogLog(kLayerTag, VKLOG_EXIT, L"VKDemographicInfoList::GetDemographicInfo (%p)", nullptr);
        return nullptr;
    }
    SetSilent(connection.m_pContext, silent, L"VKDemographicInfoList::GetDemographicInfo");
    std::unique_ptr<VKDemographicInfo> info;
    if (TakeStop()) {
        vklogLog(kLayerTag, VKLOG_INFO, L"VKDemographicInfoList::GetDemographicInfo : stopped");
    } else {
        CSecStr raw;
        CSecStr description;
        bool cancelled = false;
        try {
            VKData value;
            m_pCredential->GetProperty(tag, value);
            raw = TextOf(value);
            if (!raw.IsEmpty())
                description = GetCodeDescription(tag, raw);
        } catch (...) {
            switch (TakeFieldFailure(L"VKDemographicInfoList::GetDemographicInfo Error while retrieving FASC-N "
                                     L"Individual Credential Issue : %s (ignore)")) {
            case kFieldCancelled:
                cancelled = true;
                break;
            case kFieldNeedsPin:
            case kFieldNeedsPinToo:
                silent = true;
                SetSilent(connection.m_pContext, true, L"VKDemographicInfoList::GetDemographicInfo");
                [[fallthrough]];
            case kFieldNeedsSecurityState:
                raw.Empty();
                description = LayerString(kUnreadableString);
                break;
            default:
                raw.Empty();
                description.Empty();
            }
        }
        if (!cancelled)
            info = std::make_unique<VKDemographicInfo>(GetTagLabel(tag), description, raw);
    }
    SetSilent(connection.m_pContext, false, L"VKDemographicInfoList::GetDemographicInfo");
    m_reader.Disconnect();
    vklogLog(kLayerTag, VKLOG_EXIT, L"VKDemographicInfoList::GetDemographicInfo (%p)", info.get());
    return info.release();
} catch (...) {
    m_reader.Disconnect();
    return ExceptionFailure(kLayerTag, L"VKDemographicInfoList::GetDemographicInfo",
                            static_cast<VKDemographicInfo*>(nullptr));
}
