#include "cardobj/VKCardProperties.h"

#include "base/ExceptionBarrier.h"
#include "base/Log.h"
#include "cardobj/FailureMap.h"
#include "cardobj/LayerResult.h"
#include "cardobj/VKByteArray.h"

#include "CConverter.h"
#include "SMMWController.h"

VKCardProperties::VKCardProperties(const VKReader& reader) : m_propertiesReader(reader)
{
    vklogLog(kLayerTag, VKLOG_ENTRY, L"VKCardProperties::VKCardProperties : this=%#x", HandleBits(this));
    vklogLog(kLayerTag, VKLOG_EXIT, L"VKCardProperties::VKCardProperties");
}

VKCardProperties::~VKCardProperties()
{
    vklogLog(kLayerTag, VKLOG_ENTRY, L"VKCardProperties::~VKCardProperties : this=%#x", HandleBits(this));
    vklogLog(kLayerTag, VKLOG_EXIT, L"VKCardProperties::~VKCardProperties");
}

int VKCardProperties::GetSerialNumber(CSecStr& serial)
try {
    vklogLog(kLayerTag, VKLOG_ENTRY, L"VKCardProperties::GetSerialNumber");
    serial.Empty();
    VKConnection connection;
    int result = m_propertiesReader.Connect(connection);
    if (result != kLayerOk) {
        vklogLog(kLayerTag, VKLOG_ERROR, L"VKCardProperties::GetSerialNumber : Unable to connect. Error is (%d)",
                 result);
        return result;
    }
    if (!connection.m_pContext) {
        // No controller: there is no card to read, and no serial number.
        vklogLog(kLayerTag, VKLOG_ERROR, L"VKCardProperties::GetSerialNumber : no card context, no serial number");
        result = kLayerNotConnected;
    } else {
        try {
            VKData value;
            connection.m_pContext->GetCardObject()->GetProperty(kCardPropertyIdentifier, value);
            const VKByteArray identifier(value);
            if (identifier.IsEmpty()) {
                vklogLog(kLayerTag, VKLOG_ERROR, L"VKCardProperties::GetSerialNumber : the card has no usable identifier");
                result = kLayerInvalidParameter;
            } else {
                serial = CConverter::BinToHex(identifier.Bytes());
                m_sSerialNumber = serial;
            }
        } catch (...) {
            result = TakeFailure(L"VKCardProperties::GetSerialNumber : Error while trying to read Identifier: %s.");
        }
    }
    m_propertiesReader.Disconnect();
    vklogLog(kLayerTag, VKLOG_EXIT, L"VKCardProperties::GetSerialNumber : ret=(%#x)", result);
    return result;
} catch (...) {
    return ExceptionFailure(kLayerTag, L"VKCardProperties::GetSerialNumber", static_cast<int>(kLayerNotConnected));
}
