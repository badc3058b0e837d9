#include "carddata/VKDemographicDataList.h"

#include "carddata/CardDataSupport.h"
#include "carddata/VKDemographicInfoList.h"
#include "cardobj/FailureMap.h"
#include "cardobj/LayerResult.h"
#include "base/ExceptionBarrier.h"
#include "base/Log.h"

#include "SMMWController.h"

#include <mutex>
#include <vector>

namespace {

constexpr SMMWDataCredentialType kDemographicDataType = 10;
constexpr int kLabelProperty = 48;

std::mutex& StopLock()
{
    static std::mutex lock;
    return lock;
}

} // namespace

VKDemographicDataList::VKDemographicDataList(const VKReader& reader) : m_reader(reader)
{
    vklogLog(kLayerTag, VKLOG_INFO, L"VKDemographicDataList::VKDemographicDataList new VKDemographicDataList=%#x",
             HandleBits(this));
}

void VKDemographicDataList::Stop()
try {
    vklogLog(kLayerTag, VKLOG_ENTRY, L"VKDemographicDataList::Stop");
    std::lock_guard<std::mutex> hold(StopLock());
    m_bStop = true;
} catch (...) {
    LogEscapingException(kLayerTag, L"VKDemographicDataList::Stop");
}

bool VKDemographicDataList::TakeStop()
{
    std::lock_guard<std::mutex> hold(StopLock());
    return std::exchange(m_bStop, false);
}

VKDemographicInfo* VKDemographicDataList::GetDemographicInfo(bool& silent, const CSecStr& label, int tag)
try {
    vklogLog(kLayerTag, VKLOG_ENTRY, L"VKDemographicDataList::GetDemographicInfo");
    VKConnection connection;
    if (m_reader.Connect(connection) != kLayerOk) {
        vklogLog(kLayerTag, VKLOG_EXIT, L"VKDemographicDataList::GetDemographicInfo (%p)", nullptr);
        return nullptr;
    }
    VKDemographicInfo* info = nullptr;
    std::vector<ISMMWCredential*> credentials;
    connection.ListDataCredentials(kDemographicDataType, credentials);
    for (ISMMWCredential* credential : credentials) {
        if (TakeStop()) {
            vklogLog(kLayerTag, VKLOG_INFO, L"VKDemographicDataList::GetDemographicInfo : stopped");
            break;
        }
        vklogLog(kLayerTag, VKLOG_DETAIL,
                 L"VKDemographicDataList::GetDemographicInfo Retrieve the Demographic credential label");
        CSecStr credentialLabel;
        try {
            VKData value;
            credential->GetProperty(kLabelProperty, value);
            credentialLabel = TextOf(value);
        } catch (...) {
            TakeFieldFailure(L"VKDemographicDataList::GetDemographicInfo : Error while retrieving demographic "
                             L"credential label: %s.",
                             VKLOG_INFO);
            break;
        }
        if (credentialLabel.Compare(label) == 0) {
            VKDemographicInfoList list(m_reader, credential);
            info = list.GetDemographicInfo(silent, tag);
            break;
        }
    }
    m_reader.Disconnect();
    vklogLog(kLayerTag, VKLOG_EXIT, L"VKDemographicDataList::GetDemographicInfo (%p)", info);
    return info;
} catch (...) {
    m_reader.Disconnect();
    return ExceptionFailure(kLayerTag, L"VKDemographicDataList::GetDemographicInfo",
                            static_cast<VKDemographicInfo*>(nullptr));
}
