#include "carddata/CardDataSupport.h"

#include "cardobj/CobApi.h"
#include "cardobj/FailureMap.h"
#include "base/ExceptionBarrier.h"

#include "CException.h"
#include "SMMWController.h"
#include "vklogu.h"

CSecStr LayerString(unsigned id)
{
    CSecStr text;
    if (HMODULE module = vkCobAPI_StringResources())
        text.LoadStringW(module, id);
    return text;
}

CSecStr TextOf(const VKData& value)
{
    switch (value.GetKind()) {
    case VKData::Kind::String:
        return value.GetString();
    case VKData::Kind::Bytes: {
        const WipingBytes& bytes = value.GetBytes();
        CSecStr text;
        wchar_t* buffer = text.GetBuffer(static_cast<int>(bytes.size()));
        for (size_t i = 0; i < bytes.size(); ++i)
            buffer[i] = static_cast<wchar_t>(bytes[i]);
        text.ReleaseBuffer(static_cast<int>(bytes.size()));
        return text;
    }
    case VKData::Kind::Byte:
    case VKData::Kind::UInt:
    case VKData::Kind::Bool:
        return CSecStr(std::to_wstring(value.GetUInt()).c_str());
    case VKData::Kind::Empty:
        break;
    }
    return CSecStr();
}

int TakeFieldFailure(const wchar_t* format, int level) noexcept
{
    try {
        throw;
    } catch (CException* failure) {
        const int id = failure ? failure->getID() : 0;
        try {
            vklogLog(kLayerTag, level, format, failure ? failure->getMessage() : L"(unknown failure)");
        } catch (...) {
            // The log failed; the identifier still goes back.
        }
        delete failure;
        return id;
    } catch (...) {
        wchar_t text[256] = L"";
        DescribeCurrentException(text, sizeof(text) / sizeof(text[0]));
        try {
            vklogLog(kLayerTag, level, format, text);
        } catch (...) {
        }
        return 0;
    }
}

void SetSilent(ISMMWContext* context, bool silent, const wchar_t* owner)
{
    if (!context)
        return;
    try {
        context->GetDataMap()->AddSilentContext(silent);
    } catch (...) {
        wchar_t text[256] = L"";
        DescribeCurrentException(text, sizeof(text) / sizeof(text[0]));
        vklogLog(kLayerTag, VKLOG_INFO, L"%s : the silent mode could not be set: %s.", owner, text);
    }
}
