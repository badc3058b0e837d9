#include "cardobj/VKCertificateAttributes.h"

#include <windows.h>

#include <climits>

VKCertificateAttributes::VKCertificateAttributes(const WipingBytes& record) : m_record(record)
{
    if (m_record.size() < 2 || m_record.size() - 1 > static_cast<size_t>(INT_MAX))
        return;
    const char* label = reinterpret_cast<const char*>(m_record.data() + 1);
    const int bytes = static_cast<int>(m_record.size() - 1);
    // Sized from the conversion's own answer, then filled.
    const int chars = MultiByteToWideChar(CP_UTF8, 0, label, bytes, nullptr, 0);
    if (chars <= 0)
        return;
    WipingWString text(static_cast<size_t>(chars), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, label, bytes, text.data(), chars);
    m_sLabel = CSecStr(text.c_str());
}
